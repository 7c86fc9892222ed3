#include "tools/rzctl/GroupFileCommand.h"
#include "wireless/GroupFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

WirelessGroupRecord Sample() {
    WirelessGroupRecord r;
    r.nodeNumber = 1;
    r.channel = 7;
    r.commMode = 2;
    r.groupNumber = 0x0012ABCDu;
    r.encryptionEnabled = 1;
    std::memcpy(r.groupPassword, "ab 12   ", 8);
    std::memcpy(r.encryptionPassword, "Secret9                         ", 32);
    return r;
}

bool Same(const WirelessGroupRecord& a, const WirelessGroupRecord& b) {
    unsigned char x[60], y[60];
    RecordToImage(a, x);
    RecordToImage(b, y);
    return std::memcmp(x, y, 60) == 0;
}

class GroupFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/rzwireless-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        sentinel.nodeNumber = 77;  // no load may produce it
        sentinel.groupNumber = 0x77777777u;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const char* name) const { return (fs::path(dir) / name).string(); }
    Bytes Read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void Write(const std::string& path, const Bytes& b) const {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    }
    Bytes Encrypt(const std::string& plain) {
        unsigned char out[128];
        const int n = cipher.EncryptBlock(reinterpret_cast<const unsigned char*>(plain.data()),
                                          static_cast<int>(plain.size()), out, sizeof out);
        EXPECT_GT(n, 0);
        return Bytes(out, out + n);
    }
    // A file made by hand: version, encrypted length text, record block.
    Bytes Compose(const std::string& version, const std::string& digits, const std::string& image) {
        Bytes f(version.begin(), version.end());
        for (const Bytes& b : {Encrypt(digits), Encrypt(image)}) f.insert(f.end(), b.begin(), b.end());
        return f;
    }
    std::string Image(const WirelessGroupRecord& r) {
        unsigned char img[60];
        RecordToImage(r, img);
        return std::string(reinterpret_cast<char*>(img), 60);
    }
    GroupFileResult Load(const Bytes& file, WirelessGroupRecord* rec) {
        Write(Path("f.krz"), file);
        return LoadWirelessGroupFile(Path("f.krz"), rec, &cipher);
    }

    CGroupFileCipher cipher;
    WirelessGroupRecord sentinel;
    std::string dir;
};

TEST_F(GroupFileTest, SavedFileIs83BytesAndLoadsBackInAnyInstallation) {
    WirelessGroupRecord neverSet = Sample();  // after "GJ": the key is 32 zero bytes
    std::memset(neverSet.encryptionPassword, 0, 32);
    for (const WirelessGroupRecord& rec : {Sample(), neverSet}) {
        const std::string path = Path("KORZ_0012ABCD.krz");
        ASSERT_TRUE(SaveWirelessGroupFile(path, rec, &cipher).ok);
        const Bytes file = Read(path);
        ASSERT_EQ(file.size(), 83u);
        EXPECT_EQ(std::string(file.begin(), file.begin() + 3), "001");
        unsigned char digits[16];
        ASSERT_EQ(cipher.DecryptBlock(file.data() + 3, 16, digits, sizeof digits), 5);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(digits), 5), "00064");
        CGroupFileCipher elsewhere;  // same key and IV, built anew
        WirelessGroupRecord back = sentinel;
        ASSERT_TRUE(LoadWirelessGroupFile(path, &back, &elsewhere).ok);
        EXPECT_TRUE(Same(back, rec));
    }
}

TEST_F(GroupFileTest, DamagedFilesAreRefusedWithTheirCodeAndLeaveTheRecord) {
    ASSERT_TRUE(SaveWirelessGroupFile(Path("good.krz"), Sample(), &cipher).ok);
    const Bytes good = Read(Path("good.krz"));
    auto prefix = [&](std::size_t n) { return Bytes(good.begin(), good.begin() + n); };
    auto flipped = [&](std::size_t at) {
        Bytes b = good;
        b[at] ^= 0x5A;
        return b;
    };
    const std::string img = Image(Sample());
    Bytes cutRecord = Compose("001", "00064", img);
    cutRecord.resize(19 + 40);
    const struct {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"empty", {}, "ファイル読込エラー:V-0"},
        {"2 bytes", prefix(2), "ファイル読込エラー:V-0"},
        {"version only", prefix(3), "ファイル読込エラー:D-1"},
        {"4 bytes", prefix(4), "ファイル読込エラー:D-2"},
        {"18 bytes", prefix(18), "ファイル読込エラー:D-2"},
        {"length block, no record", prefix(19), "ファイル読込エラー:D-2"},
        {"record block cut short", cutRecord, "ファイル読込エラー:D-2"},
        {"length block damaged", flipped(17), "ファイル読込エラー:D-3"},
        {"record padding damaged", flipped(81), "ファイル読込エラー:D-3"},
        {"record middle damaged", flipped(40), "ファイル読込エラー:D-3"},
        {"record values out of range", Compose("001", "00064", std::string(60, 'x')), "ファイル読込エラー:D-3"},
        {"enormous length", Compose("001", "99999", img), "ファイル読込エラー:D-3"},
        {"length beyond the buffer", Compose("001", "00065", img), "ファイル読込エラー:D-3"},
        {"zero length", Compose("001", "00000", img), "ファイル読込エラー:D-3"},
        {"non-numeric length", Compose("001", "0x040", img), "ファイル読込エラー:D-3"},
        {"signed length", Compose("001", "+0064", img), "ファイル読込エラー:D-3"},
        {"empty length text", Compose("001", "", img), "ファイル読込エラー:D-3"},
        {"length not a block multiple", Compose("001", "00060", img), "ファイル読込エラー:D-3"},
        {"record of 40 bytes", Compose("001", "00048", img.substr(0, 40)), "ファイル読込エラー:D-3"},
    };
    for (const auto& c : cases) {
        WirelessGroupRecord rec = sentinel;
        const GroupFileResult r = Load(c.file, &rec);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.message, c.message) << c.name;
        EXPECT_TRUE(Same(rec, sentinel)) << c.name;
    }
}

TEST_F(GroupFileTest, OtherVersionTextsAndLengthWidthsLoad) {
    for (const char* digits : {"00064", "64", "000000000000064"}) {
        WirelessGroupRecord rec = sentinel;
        const GroupFileResult r = Load(Compose("XYZ", digits, Image(Sample())), &rec);
        EXPECT_TRUE(r.ok) << digits << r.message;
        EXPECT_TRUE(Same(rec, Sample())) << digits;
    }
}

TEST_F(GroupFileTest, FileOfAnotherKeyIsRefused) {
    unsigned char key[32], iv[16];
    std::memset(key, 'K', sizeof key);
    std::memset(iv, 'V', sizeof iv);
    CGroupFileCipher other(key, iv);
    ASSERT_TRUE(SaveWirelessGroupFile(Path("o.krz"), Sample(), &other).ok);
    WirelessGroupRecord rec = sentinel;
    EXPECT_EQ(LoadWirelessGroupFile(Path("o.krz"), &rec, &cipher).message, "ファイル読込エラー:D-3");
    EXPECT_TRUE(Same(rec, sentinel));
}

TEST_F(GroupFileTest, SaveFailuresAreReportedNeverAsSuccess) {
    EXPECT_EQ(SaveWirelessGroupFile(Path("no/folder/x.krz"), Sample(), &cipher).message,
              "ファイルを開けませんでした。");
    EXPECT_EQ(LoadWirelessGroupFile(Path("missing.krz"), &sentinel, &cipher).message,
              "ファイルを開けませんでした。");
    // Writes are buffered: a full disk shows only at the flush or close.
    if (fs::exists("/dev/full"))
        EXPECT_EQ(SaveWirelessGroupFile("/dev/full", Sample(), &cipher).message, "ファイル保存エラー:E-2");
    EXPECT_EQ(SaveWirelessGroupFile(Path("n.krz"), Sample(), nullptr).message, "ファイル保存エラー:E-3");
}

TEST_F(GroupFileTest, GroupFileShowPrintsTheSettingsButNoPassword) {
    ASSERT_TRUE(SaveWirelessGroupFile(Path("s.krz"), Sample(), &cipher).ok);
    std::ostringstream out, err;
    EXPECT_EQ(RunGroupFileShow(Path("s.krz"), out, err), 0);
    EXPECT_EQ(out.str(), "group: 0012ABCD\nchannel: 7\nmode: 長距離\nnode: 1\nencryption: on\n");
    EXPECT_EQ(err.str(), "");

    Write(Path("s.krz"), Bytes{0x30, 0x30, 0x31});
    std::ostringstream out2, err2;
    EXPECT_EQ(RunGroupFileShow(Path("s.krz"), out2, err2), 1);
    EXPECT_EQ(out2.str(), "");
    EXPECT_EQ(err2.str(), "ファイル読込エラー:D-1\n");
}

}  // namespace
