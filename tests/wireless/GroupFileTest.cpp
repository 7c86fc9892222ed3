#include "tools/rzctl/GroupFileCommand.h"
#include "wireless/GroupFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

WirelessGroupRecord SampleRecord() {
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

// A record no load may produce: shows whether a failed load touched it.
WirelessGroupRecord Sentinel() {
    WirelessGroupRecord r;
    r.nodeNumber = 77;
    r.channel = 77;
    r.groupNumber = 0x77777777u;
    return r;
}

bool SameRecord(const WirelessGroupRecord& a, const WirelessGroupRecord& b) {
    return a.nodeNumber == b.nodeNumber && a.channel == b.channel && a.commMode == b.commMode &&
           a.groupNumber == b.groupNumber && a.encryptionEnabled == b.encryptionEnabled &&
           std::memcmp(a.groupPassword, b.groupPassword, 8) == 0 &&
           std::memcmp(a.encryptionPassword, b.encryptionPassword, 32) == 0;
}

class GroupFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/rzwireless-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const char* name) const { return (fs::path(dir) / name).string(); }

    Bytes Read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void Write(const std::string& path, const Bytes& bytes) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    Bytes Encrypt(const Bytes& plain) {
        unsigned char out[256];
        const int n = cipher.EncryptBlock(plain.data(), static_cast<int>(plain.size()), out, sizeof out);
        EXPECT_GT(n, 0);
        return Bytes(out, out + n);
    }
    // A file made by hand: version, encrypted length digits, record block.
    Bytes Compose(const std::string& version, const std::string& digits, const Bytes& recordBlock) {
        Bytes file(version.begin(), version.end());
        const Bytes len = Encrypt(Bytes(digits.begin(), digits.end()));
        file.insert(file.end(), len.begin(), len.end());
        file.insert(file.end(), recordBlock.begin(), recordBlock.end());
        return file;
    }
    Bytes RecordBlock(const WirelessGroupRecord& rec) {
        Bytes image(WIRELESS_RECORD_IMAGE_SIZE);
        RecordToImage(rec, image.data());
        return Encrypt(image);
    }

    CGroupFileCipher cipher;
    std::string dir;
};

TEST_F(GroupFileTest, SavedFileIs83BytesWithPlainVersionAndLoadsBack) {
    const std::string path = Path("KORZ_0012ABCD.krz");
    const GroupFileResult saved = SaveWirelessGroupFile(path, SampleRecord(), &cipher);
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_TRUE(saved.message.empty());

    const Bytes file = Read(path);
    ASSERT_EQ(file.size(), 83u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 3), "001");

    // The length block decrypts to "00064".
    unsigned char plain[32];
    const int n = cipher.DecryptBlock(file.data() + 3, 16, plain, sizeof plain);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(plain), 5), "00064");

    WirelessGroupRecord loaded = Sentinel();
    const GroupFileResult r = LoadWirelessGroupFile(path, &loaded, &cipher);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(SameRecord(loaded, SampleRecord()));
}

TEST_F(GroupFileTest, EveryKindOfRecordTheSystemWritesLoads) {
    WirelessGroupRecord neverSetPasswords = SampleRecord();  // after "GJ": encryption password all zero
    std::memset(neverSetPasswords.encryptionPassword, 0, 32);
    neverSetPasswords.encryptionEnabled = 0;
    WirelessGroupRecord extremes;
    extremes.nodeNumber = 254;
    extremes.channel = 15;
    extremes.groupNumber = 0xFFFFFFFEu;
    std::memset(extremes.groupPassword, 'z', 8);
    std::memset(extremes.encryptionPassword, '9', 32);
    for (const WirelessGroupRecord& rec : {SampleRecord(), neverSetPasswords, extremes, WirelessGroupRecord{}}) {
        const std::string path = Path("r.krz");
        ASSERT_TRUE(SaveWirelessGroupFile(path, rec, &cipher).ok);
        WirelessGroupRecord loaded = Sentinel();
        ASSERT_TRUE(LoadWirelessGroupFile(path, &loaded, &cipher).ok);
        EXPECT_TRUE(SameRecord(loaded, rec)) << rec.nodeNumber;
    }
}

TEST_F(GroupFileTest, DamagedFilesAreRefusedWithTheirCodeAndLeaveTheRecord) {
    const WirelessGroupRecord rec = SampleRecord();
    const Bytes good = [&] {
        const std::string p = Path("good.krz");
        EXPECT_TRUE(SaveWirelessGroupFile(p, rec, &cipher).ok);
        return Read(p);
    }();
    ASSERT_EQ(good.size(), 83u);
    auto prefix = [&](std::size_t n) { return Bytes(good.begin(), good.begin() + n); };
    auto flipped = [&](std::size_t at) {
        Bytes b = good;
        b[at] ^= 0x5A;
        return b;
    };
    Bytes shortRecord = Compose("001", "00064", RecordBlock(rec));
    shortRecord.resize(19 + 40);
    // Record block of a valid 48-byte ciphertext: decrypts, but not to 60 bytes.
    const Bytes fortyByteImage(40, 'x');

    const struct {
        const char* name;
        Bytes file;
        const char* message;
    } cases[] = {
        {"empty", {}, "ファイル読込エラー:V-0"},
        {"1 byte", prefix(1), "ファイル読込エラー:V-0"},
        {"2 bytes", prefix(2), "ファイル読込エラー:V-0"},
        {"version only", prefix(3), "ファイル読込エラー:D-1"},
        {"4 bytes", prefix(4), "ファイル読込エラー:D-2"},
        {"18 bytes", prefix(18), "ファイル読込エラー:D-2"},
        {"length block, no record", prefix(19), "ファイル読込エラー:D-2"},
        {"record block cut short", shortRecord, "ファイル読込エラー:D-2"},
        {"last record byte missing", prefix(82), "ファイル読込エラー:D-2"},
        {"length block damaged", flipped(17), "ファイル読込エラー:D-3"},
        {"record block damaged", flipped(81), "ファイル読込エラー:D-3"},
        {"enormous length", Compose("001", "99999", RecordBlock(rec)), "ファイル読込エラー:D-3"},
        {"length beyond the buffer", Compose("001", "00065", RecordBlock(rec)), "ファイル読込エラー:D-3"},
        {"zero length", Compose("001", "00000", RecordBlock(rec)), "ファイル読込エラー:D-3"},
        {"non-numeric length", Compose("001", "0x040", RecordBlock(rec)), "ファイル読込エラー:D-3"},
        {"signed length", Compose("001", "+0064", RecordBlock(rec)), "ファイル読込エラー:D-3"},
        {"empty length text", Compose("001", "", RecordBlock(rec)), "ファイル読込エラー:D-3"},
        {"length not a block multiple", Compose("001", "00060", RecordBlock(rec)), "ファイル読込エラー:D-3"},
        {"record of 40 bytes", Compose("001", "00048", Encrypt(fortyByteImage)), "ファイル読込エラー:D-3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path("bad.krz");
        Write(path, c.file);
        WirelessGroupRecord loaded = Sentinel();
        const GroupFileResult r = LoadWirelessGroupFile(path, &loaded, &cipher);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, c.message);
        EXPECT_TRUE(SameRecord(loaded, Sentinel()));
    }
}

TEST_F(GroupFileTest, AnyVersionTextLoadsAndShortLengthTextsStillRead) {
    const WirelessGroupRecord rec = SampleRecord();
    for (const char* digits : {"00064", "64", "000000000000064"}) {
        const std::string path = Path("v.krz");
        Write(path, Compose("XYZ", digits, RecordBlock(rec)));
        WirelessGroupRecord loaded = Sentinel();
        const GroupFileResult r = LoadWirelessGroupFile(path, &loaded, &cipher);
        ASSERT_TRUE(r.ok) << digits << ": " << r.message;
        EXPECT_TRUE(SameRecord(loaded, rec));
    }
}

TEST_F(GroupFileTest, FileOfAnotherKeyOrIvIsRefused) {
    unsigned char key[GROUP_FILE_KEY_SIZE];
    unsigned char iv[GROUP_FILE_IV_SIZE];
    std::memset(key, 'K', sizeof key);
    std::memset(iv, 'V', sizeof iv);
    CGroupFileCipher other(key, iv);
    const std::string path = Path("other.krz");
    ASSERT_TRUE(SaveWirelessGroupFile(path, SampleRecord(), &other).ok);
    ASSERT_EQ(Read(path).size(), 83u);

    WirelessGroupRecord loaded = Sentinel();
    const GroupFileResult r = LoadWirelessGroupFile(path, &loaded, &cipher);
    EXPECT_EQ(r.message, "ファイル読込エラー:D-3");
    EXPECT_TRUE(SameRecord(loaded, Sentinel()));
}

TEST_F(GroupFileTest, KeyAndIvAreTheSameInEveryInstance) {
    // Files move between installations: a second cipher built the same way
    // reads what the first wrote.
    const std::string path = Path("shared.krz");
    ASSERT_TRUE(SaveWirelessGroupFile(path, SampleRecord(), &cipher).ok);
    CGroupFileCipher second;
    WirelessGroupRecord loaded;
    EXPECT_TRUE(LoadWirelessGroupFile(path, &loaded, &second).ok);
    EXPECT_TRUE(SameRecord(loaded, SampleRecord()));
}

TEST_F(GroupFileTest, SaveFailuresAreReportedNeverAsSuccess) {
    EXPECT_EQ(SaveWirelessGroupFile(Path("no/such/folder/x.krz"), SampleRecord(), &cipher).message,
              "ファイルを開けませんでした。");
    WirelessGroupRecord loaded = Sentinel();
    EXPECT_EQ(LoadWirelessGroupFile(Path("missing.krz"), &loaded, &cipher).message, "ファイルを開けませんでした。");
    EXPECT_TRUE(SameRecord(loaded, Sentinel()));
    // The device refuses every write: the data never reaches it.
    if (fs::exists("/dev/full")) {
        const GroupFileResult r = SaveWirelessGroupFile("/dev/full", SampleRecord(), &cipher);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, "ファイル保存エラー:E-2");
    }
    // Without a cipher nothing can be encrypted.
    const GroupFileResult r = SaveWirelessGroupFile(Path("nocipher.krz"), SampleRecord(), nullptr);
    EXPECT_EQ(r.message, "ファイル保存エラー:E-3");
}

TEST_F(GroupFileTest, BlockCiphersRefuseBuffersTooSmall) {
    const unsigned char in[60] = {};
    unsigned char out[128];
    EXPECT_EQ(cipher.EncryptBlock(in, 60, out, 76), 0);  // needs 64 + the zero byte
    const int n = cipher.EncryptBlock(in, 60, out, 77);
    ASSERT_EQ(n, 64);
    EXPECT_EQ(out[64], 0);
    unsigned char plain[64];
    EXPECT_EQ(cipher.DecryptBlock(out, 64, plain, 63), 0);
    EXPECT_EQ(cipher.DecryptBlock(out, 64, plain, 64), 60);
}

TEST_F(GroupFileTest, ProcessWideCipherFollowsTheFirstLiveInstance) {
    EXPECT_EQ(GroupFileCipher(), &cipher);
    {
        CGroupFileCipher second;
        EXPECT_EQ(GroupFileCipher(), &cipher);
    }
    EXPECT_EQ(GroupFileCipher(), &cipher);
}

TEST_F(GroupFileTest, GroupFileShowPrintsTheSettingsButNoPassword) {
    const std::string path = Path("show.krz");
    ASSERT_TRUE(SaveWirelessGroupFile(path, SampleRecord(), &cipher).ok);
    std::ostringstream out, err;
    EXPECT_EQ(RunGroupFileShow(path, out, err), 0);
    EXPECT_EQ(out.str(), "group: 0012ABCD\nchannel: 7\nmode: 長距離\nnode: 1\nencryption: on\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str().find("Secret9"), std::string::npos);

    Bytes damaged = Read(path);
    damaged[10] ^= 1;
    Write(path, damaged);
    std::ostringstream out2, err2;
    EXPECT_EQ(RunGroupFileShow(path, out2, err2), 1);
    EXPECT_EQ(out2.str(), "");
    EXPECT_EQ(err2.str(), "ファイル読込エラー:D-3\n");
}

}  // namespace
