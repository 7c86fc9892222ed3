#include "tools/rzctl/GroupFileCommand.h"
#include "wireless/GroupFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
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
    unsigned char img[WIRELESS_RECORD_IMAGE_SIZE];
    RecordToImage(r, img);
    return std::string(reinterpret_cast<char*>(img), sizeof img);
}

Bytes FromHex(const std::string& hex) {
    Bytes b;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

class GroupFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("rzwireless-" + std::to_string(std::random_device{}()));
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const char* name) const { return (dir / name).string(); }
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

    CGroupFileCipher cipher;
    fs::path dir;
};

// The same bytes from every platform's cipher library: the AES-256-CBC
// vector of NIST SP 800-38A (F.2.5) with its PKCS#7 block, and the file this
// program writes for the sample record with its own key and IV (which pins
// the record's image too). Decryption wants room for the cipher's work.
TEST_F(GroupFileTest, KnownAnswersOfTheCipherAndTheFile) {
    const Bytes key = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const Bytes iv = FromHex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = FromHex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const Bytes expected = FromHex(
        "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
        "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"
        "3f461796d6b0d6b2e0c2a72b4d80e644");
    CGroupFileCipher nist(key.data(), iv.data());
    unsigned char out[128];
    const int n = nist.EncryptBlock(plain.data(), static_cast<int>(plain.size()), out, sizeof out);
    EXPECT_EQ(Bytes(out, out + (n > 0 ? n : 0)), expected);
    unsigned char back[128];
    const int m = nist.DecryptBlock(expected.data(), static_cast<int>(expected.size()), back, sizeof back);
    EXPECT_EQ(Bytes(back, back + (m > 0 ? m : 0)), plain);

    const Bytes file = Saved(Sample(), &cipher);
    EXPECT_EQ(file, FromHex("30303124dd97b2f8f421922ec8b0ec6a6686ccdcbac81fe98d475a49c368f418c5ac11f8775292db21be6c37beb9a9"
                            "a13b8b8ad063f475bc7deaba82cdfb52de9cd403aaf2aaf17ba5f794da9de9a567ac4135"));
    ASSERT_EQ(file.size(), 83u);
    EXPECT_EQ(cipher.DecryptBlock(file.data() + 3, 16, back, 16), 0);
    EXPECT_EQ(cipher.DecryptBlock(file.data() + 3, 16, back, sizeof back), 5);
}

// Saved records, a key never set (32 zero bytes, after "GJ") among them, any
// version text and any width of the length digits load through a cipher
// built anew (another installation); damage, another key and values out of
// range are refused with the code, and leave the record as it was.
TEST_F(GroupFileTest, LoadAcceptsOrRefusesWithTheCode) {
    const unsigned char otherKey[GROUP_FILE_KEY_SIZE] = {1}, otherIv[GROUP_FILE_IV_SIZE] = {};
    CGroupFileCipher other(otherKey, otherIv), elsewhere;
    WirelessGroupRecord neverSet = Sample();
    std::memset(neverSet.encryptionPassword, 0, 32);
    const Bytes good = Saved(Sample(), &cipher);
    auto cut = [](Bytes b, std::size_t n) { b.resize(n); return b; };
    auto flipped = [&](std::size_t at) { Bytes b = good; b[at] ^= 0x5A; return b; };
    const std::string img = Image(Sample());
    const WirelessGroupRecord sample = Sample(), sentinel{77, 0, 0, 0x77777777u};  // no load may produce it
    const struct { const char* name; Bytes file; const char* code; /* empty: loads */ WirelessGroupRecord result; } cases[] = {
        {"saved", good, "", sample},
        {"saved with a key never set", Saved(neverSet, &cipher), "", neverSet},
        {"other version text", Compose("XYZ", "00064", img), "", sample},
        {"short length text", Compose("001", "64", img), "", sample},
        {"empty", {}, "V-0", sentinel},
        {"version only", cut(good, 3), "D-1", sentinel},
        {"4 bytes", cut(good, 4), "D-2", sentinel},
        {"record block cut short", cut(Compose("001", "00064", img), 19 + 40), "D-2", sentinel},
        {"length block damaged", flipped(17), "D-3", sentinel},
        {"written with another key", Saved(Sample(), &other), "D-3", sentinel},
        {"record values out of range", Compose("001", "00064", std::string(60, 'x')), "D-3", sentinel},
        {"length beyond the buffer", Compose("001", "00065", img), "D-3", sentinel},
        {"non-numeric length", Compose("001", "0x040", img), "D-3", sentinel},
        {"record of 40 bytes", Compose("001", "00048", img.substr(0, 40)), "D-3", sentinel},
    };
    for (const auto& c : cases) {
        std::ofstream(Path("f.krz"), std::ios::binary).write(reinterpret_cast<const char*>(c.file.data()), c.file.size());
        WirelessGroupRecord rec = sentinel;
        const GroupFileResult r = LoadWirelessGroupFile(Path("f.krz"), &rec, &elsewhere);
        const bool loads = *c.code == '\0';
        EXPECT_EQ(r.ok, loads) << c.name;
        EXPECT_EQ(r.message, loads ? "" : std::string("ファイル読込エラー:") + c.code) << c.name;
        EXPECT_EQ(Image(rec), Image(c.result)) << c.name;
    }
}

// (A file that does not open for loading: the panel's test.)
TEST_F(GroupFileTest, SaveFailuresAreReportedNeverAsSuccess) {
    EXPECT_EQ(SaveWirelessGroupFile(Path("no/folder/x.krz"), Sample(), &cipher).message, "ファイルを開けませんでした。");
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
