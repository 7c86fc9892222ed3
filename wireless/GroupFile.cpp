#include "wireless/GroupFile.h"

#include "forms/WirelessTexts.h"

#include "wireless/AesCbc.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

// The file's key and IV are handed to the cipher as they are.
static_assert(GROUP_FILE_KEY_SIZE == AES_CBC_KEY_SIZE && GROUP_FILE_IV_SIZE == AES_CBC_BLOCK_SIZE);

namespace {

std::atomic<CGroupFileCipher*> g_cipher{nullptr};

// The key is a run of 32 characters out of this table; the IV is put together
// from four 4-character pieces. Built at run time so that neither appears as
// one string in the program file.
constexpr char kKeyTable[] =
    "i3FSJb2w7vQZXdtbBtS4v8U3SItlSkcI51GxlBNgor028bXiigQa9aphjEhr9E1BJi9Ih0pgUioougwK";
static_assert(sizeof kKeyTable - 1 == 80);
constexpr int kKeyOffset = 23;
constexpr char kIvPart1[] = "Iunq";
constexpr char kIvPart2[] = "2xmH";
constexpr char kIvPart3[] = "RN0W";
constexpr char kIvPart4[] = "wJnu";

std::string Format(const char* format, int value) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

GroupFileResult Fail(std::string message) {
    return GroupFileResult{false, std::move(message)};
}

// Closes the file on every path.
struct FileCloser {
    std::FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
    // Closes now; false when the close reported an error.
    bool Close() {
        std::FILE* g = f;
        f = nullptr;
        return std::fclose(g) == 0;
    }
};

// CBC has no integrity check: damage inside the record block still decrypts,
// to garbage in the damaged 16-byte block. A record the panel could never
// have validated is refused instead of being shown.
bool IsPlausibleRecord(const WirelessGroupRecord& r) {
    const auto passwordByte = [](char c, bool zeroAllowed) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ' ||
               (zeroAllowed && c == 0);
    };
    if (r.nodeNumber < 1 || r.nodeNumber > 254 || r.channel < 1 || r.channel > 15 || r.commMode < 0 ||
        r.commMode > 2 || (r.encryptionEnabled != 0 && r.encryptionEnabled != 1)) {
        return false;
    }
    for (char c : r.groupPassword)
        if (!passwordByte(c, false)) return false;
    for (char c : r.encryptionPassword)
        if (!passwordByte(c, true)) return false;
    return true;
}

}  // namespace

CGroupFileCipher::CGroupFileCipher() {
    std::memcpy(m_key, kKeyTable + kKeyOffset, GROUP_FILE_KEY_SIZE);
    std::memcpy(m_iv + 0, kIvPart1, 4);
    std::memcpy(m_iv + 4, kIvPart2, 4);
    std::memcpy(m_iv + 8, kIvPart3, 4);
    std::memcpy(m_iv + 12, kIvPart4, 4);
    Register();
}

CGroupFileCipher::CGroupFileCipher(const unsigned char key[GROUP_FILE_KEY_SIZE],
                                   const unsigned char iv[GROUP_FILE_IV_SIZE]) {
    std::memcpy(m_key, key, GROUP_FILE_KEY_SIZE);
    std::memcpy(m_iv, iv, GROUP_FILE_IV_SIZE);
    Register();
}

void CGroupFileCipher::Register() {
    m_ctx = AesCbcCreate();
    CGroupFileCipher* expected = nullptr;
    g_cipher.compare_exchange_strong(expected, this);
}

CGroupFileCipher::~CGroupFileCipher() {
    CGroupFileCipher* self = this;
    g_cipher.compare_exchange_strong(self, nullptr);
    AesCbcDestroy(m_ctx);
    WipeSecret(m_key, sizeof m_key);
}

int CGroupFileCipher::EncryptBlock(const unsigned char* in, int len, unsigned char* out, int outCapacity) {
    if (!m_ctx || (!in && len > 0) || !out || len < 0) return 0;
    // PKCS#7 adds up to one block, plus the zero byte after the ciphertext.
    if (outCapacity < len + AES_CBC_BLOCK_SIZE + 1) return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int n = AesCbcEncrypt(m_ctx, m_key, m_iv, in, len, out);
    if (n <= 0) return 0;
    out[n] = 0;
    return n;
}

int CGroupFileCipher::DecryptBlock(const unsigned char* in, int len, unsigned char* out, int outCapacity) {
    if (!m_ctx || !in || !out || len <= 0) return 0;
    // The plaintext is never longer than the input, but the cipher may use
    // one block more of the buffer while it works.
    if (outCapacity < len + AES_CBC_BLOCK_SIZE) return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int n = AesCbcDecrypt(m_ctx, m_key, m_iv, in, len, out);
    return n > 0 ? n : 0;
}

CGroupFileCipher* GroupFileCipher() {
    return g_cipher.load();
}

int EncryptBlock(const unsigned char* in, int len, unsigned char* out, int outCapacity) {
    CGroupFileCipher* c = GroupFileCipher();
    return c ? c->EncryptBlock(in, len, out, outCapacity) : 0;
}

int DecryptBlock(const unsigned char* in, int len, unsigned char* out, int outCapacity) {
    CGroupFileCipher* c = GroupFileCipher();
    return c ? c->DecryptBlock(in, len, out, outCapacity) : 0;
}

GroupFileResult SaveWirelessGroupFile(const std::string& path, const WirelessGroupRecord& rec,
                                      CGroupFileCipher* cipher) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return Fail(MSG_WG_FILE_OPEN_FAILED);
    FileCloser file{f};

    errno = 0;
    if (std::fwrite(GROUP_FILE_VERSION, 1, GROUP_FILE_VERSION_SIZE, f) != GROUP_FILE_VERSION_SIZE) {
        return Fail(Format(MSG_WG_FILE_SAVE_VERSION, errno));
    }

    unsigned char image[WIRELESS_RECORD_IMAGE_SIZE];
    RecordToImage(rec, image);
    unsigned char record[GROUP_FILE_RECORD_BLOCK_SIZE + 17];
    const int recordLen = cipher ? cipher->EncryptBlock(image, WIRELESS_RECORD_IMAGE_SIZE, record, sizeof record) : 0;
    if (recordLen <= 0) return Fail(Format(MSG_WG_FILE_SAVE_ERROR, 3));

    char digits[16];
    std::snprintf(digits, sizeof digits, "%05d", recordLen);
    unsigned char length[GROUP_FILE_LENGTH_BLOCK_SIZE + 17];
    const int lengthLen = cipher->EncryptBlock(reinterpret_cast<const unsigned char*>(digits),
                                               static_cast<int>(std::strlen(digits)), length, sizeof length);
    if (lengthLen <= 0) return Fail(Format(MSG_WG_FILE_SAVE_ERROR, 3));

    // Any short write is a failed save, not only one that stored nothing.
    if (std::fwrite(length, 1, lengthLen, f) != static_cast<std::size_t>(lengthLen) ||
        std::fwrite(record, 1, recordLen, f) != static_cast<std::size_t>(recordLen)) {
        return Fail(Format(MSG_WG_FILE_SAVE_ERROR, 2));
    }
    // Buffered data reaches the disk only here: a failing flush or close
    // (disk full, quota) is a failed save as well.
    const bool flushed = std::fflush(f) == 0;
    const bool closed = file.Close();
    if (!flushed || !closed) return Fail(Format(MSG_WG_FILE_SAVE_ERROR, 2));
    return GroupFileResult{true, {}};
}

GroupFileResult LoadWirelessGroupFile(const std::string& path, WirelessGroupRecord* rec,
                                      CGroupFileCipher* cipher) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Fail(MSG_WG_FILE_OPEN_FAILED);
    FileCloser file{f};

    // The version is not compared: any three bytes are accepted.
    unsigned char version[GROUP_FILE_VERSION_SIZE];
    errno = 0;  // the number shown must be this read's, not an earlier one
    if (std::fread(version, 1, sizeof version, f) != sizeof version) {
        return Fail(Format(MSG_WG_FILE_LOAD_VERSION, errno));
    }

    const auto dataError = [](int code) { return Fail(Format(MSG_WG_FILE_LOAD_ERROR, code)); };

    unsigned char lengthBlock[GROUP_FILE_LENGTH_BLOCK_SIZE];
    const std::size_t got = std::fread(lengthBlock, 1, sizeof lengthBlock, f);
    if (got == 0) return dataError(1);
    if (got < sizeof lengthBlock) return dataError(2);

    unsigned char digits[GROUP_FILE_LENGTH_BLOCK_SIZE + 16];
    const int digitCount = cipher ? cipher->DecryptBlock(lengthBlock, sizeof lengthBlock, digits, sizeof digits) : 0;
    if (digitCount <= 0) return dataError(3);
    // The length comes only from the decrypted characters: all digits and
    // no more than the record block a reader holds.
    long length = 0;
    for (int i = 0; i < digitCount; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return dataError(3);
        length = length * 10 + (digits[i] - '0');
        if (length > GROUP_FILE_MAX_RECORD_BLOCK) return dataError(3);
    }
    if (length < 1) return dataError(3);

    unsigned char recordBlock[GROUP_FILE_MAX_RECORD_BLOCK];
    const std::size_t recordGot = std::fread(recordBlock, 1, static_cast<std::size_t>(length), f);
    if (recordGot < static_cast<std::size_t>(length)) return dataError(2);

    unsigned char image[GROUP_FILE_MAX_RECORD_BLOCK + 16];
    const int imageLen = cipher->DecryptBlock(recordBlock, static_cast<int>(length), image, sizeof image);
    if (imageLen != WIRELESS_RECORD_IMAGE_SIZE) return dataError(3);

    const WirelessGroupRecord loaded = RecordFromImage(image);
    if (!IsPlausibleRecord(loaded)) return dataError(3);
    *rec = loaded;
    return GroupFileResult{true, {}};
}
