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
    WirelessGroupRecord r{1, 7, 2, 0x0012ABCDu, 1};
    std::memcpy(r.groupPassword, "ab 12   ", 8);
    std::memcpy(r.encryptionPassword, "Secret9                         ", 32);
    return r;
}

std::string Image(const WirelessGroupRecord& r) {
    unsigned char img[60];
    RecordToImage(r, img);
    return std::string(reinterpret_cast<char*>(img), 60);
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
    Bytes Saved(const WirelessGroupRecord& rec, CGroupFileCipher* with) {
        EXPECT_TRUE(SaveWirelessGroupFile(Path("s.krz"), rec, with).ok);
        std::ifstream in(Path("s.krz"), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    // A file made by hand: version, encrypted length text, record block.
    Bytes Compose(const std::string& version, const std::string& digits, const std::string& image) {
        Bytes f(version.begin(), version.end());
        for (const std::string& plain : {digits, image}) {
            unsigned char out[128];
            const int n = cipher.EncryptBlock(reinterpret_cast<const unsigned char*>(plain.data()),
                                              static_cast<int>(plain.size()), out, sizeof out);
            EXPECT_GT(n, 0);
            f.insert(f.end(), out, out + n);
        }
        return f;
    }
    // Loads file into a copy of the sentinel.
    GroupFileResult Load(const Bytes& file, WirelessGroupRecord* rec) {
        std::ofstream(Path("f.krz"), std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
        *rec = sentinel;
        return LoadWirelessGroupFile(Path("f.krz"), rec, &cipher);
    }

    CGroupFileCipher cipher;
    const WirelessGroupRecord sentinel{77, 0, 0, 0x77777777u};  // no load may produce it
    std::string dir;
};

TEST_F(GroupFileTest, SavedFileIs83BytesAndLoadsBackInAnyInstallation) {
    WirelessGroupRecord neverSet = Sample();  // after "GJ": the key is 32 zero bytes
    std::memset(neverSet.encryptionPassword, 0, 32);
    for (const WirelessGroupRecord& rec : {Sample(), neverSet}) {
        const Bytes file = Saved(rec, &cipher);
        ASSERT_EQ(file.size(), 83u);
        EXPECT_EQ(std::string(file.begin(), file.begin() + 3), "001");
        unsigned char digits[32];
        ASSERT_EQ(cipher.DecryptBlock(file.data() + 3, 16, digits, 16), 0);  // no room for the cipher's work
        ASSERT_EQ(cipher.DecryptBlock(file.data() + 3, 16, digits, sizeof digits), 5);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(digits), 5), "00064");
        CGroupFileCipher elsewhere;  // same key and IV, built anew
        WirelessGroupRecord back;
        ASSERT_TRUE(LoadWirelessGroupFile(Path("s.krz"), &back, &elsewhere).ok);
        EXPECT_EQ(Image(back), Image(rec));
    }
}

// Any version text and any width of the length digits load; damage is refused
// with its code and leaves the record as it was.
TEST_F(GroupFileTest, LoadAcceptsOrRefusesWithTheCode) {
    const Bytes good = Saved(Sample(), &cipher);
    auto cut = [](Bytes b, std::size_t n) { b.resize(n); return b; };
    auto flipped = [&](std::size_t at) { Bytes b = good; b[at] ^= 0x5A; return b; };
    const std::string img = Image(Sample());
    const struct { const char* name; Bytes file; const char* code; /* empty: loads */ } cases[] = {
        {"other version text", Compose("XYZ", "00064", img), ""},
        {"short length text", Compose("001", "64", img), ""},
        {"empty", {}, "V-0"},
        {"version only", cut(good, 3), "D-1"},
        {"4 bytes", cut(good, 4), "D-2"},
        {"record block cut short", cut(Compose("001", "00064", img), 19 + 40), "D-2"},
        {"length block damaged", flipped(17), "D-3"},
        {"record values out of range", Compose("001", "00064", std::string(60, 'x')), "D-3"},
        {"length beyond the buffer", Compose("001", "00065", img), "D-3"},
        {"non-numeric length", Compose("001", "0x040", img), "D-3"},
        {"record of 40 bytes", Compose("001", "00048", img.substr(0, 40)), "D-3"},
    };
    for (const auto& c : cases) {
        WirelessGroupRecord rec;
        const GroupFileResult r = Load(c.file, &rec);
        const bool loads = *c.code == '\0';
        EXPECT_EQ(r.ok, loads) << c.name;
        EXPECT_EQ(r.message, loads ? "" : std::string("ファイル読込エラー:") + c.code) << c.name;
        EXPECT_EQ(Image(rec), Image(loads ? Sample() : sentinel)) << c.name;
    }
}

TEST_F(GroupFileTest, SaveFailuresAreReportedNeverAsSuccess) {
    EXPECT_EQ(SaveWirelessGroupFile(Path("no/folder/x.krz"), Sample(), &cipher).message, "ファイルを開けませんでした。");
    WirelessGroupRecord rec;
    EXPECT_EQ(LoadWirelessGroupFile(Path("missing.krz"), &rec, &cipher).message, "ファイルを開けませんでした。");
    // Writes are buffered: a full disk shows only at the flush or close.
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(SaveWirelessGroupFile("/dev/full", Sample(), &cipher).message, "ファイル保存エラー:E-2");
    }
    EXPECT_EQ(SaveWirelessGroupFile(Path("n.krz"), Sample(), nullptr).message, "ファイル保存エラー:E-3");
}

TEST_F(GroupFileTest, GroupFileShowPrintsTheSettingsButNoPassword) {
    Saved(Sample(), &cipher);
    std::ostringstream out, err;
    EXPECT_EQ(RunGroupFileShow(Path("s.krz"), out, err), 0);
    EXPECT_EQ(out.str(), "group: 0012ABCD\nchannel: 7\nmode: 長距離\nnode: 1\nencryption: on\n");
    EXPECT_EQ(err.str(), "");
    std::ofstream(Path("s.krz"), std::ios::binary) << "001";
    EXPECT_EQ(RunGroupFileShow(Path("s.krz"), out, err), 1);
    EXPECT_EQ(err.str(), "ファイル読込エラー:D-1\n");
}

}  // namespace
