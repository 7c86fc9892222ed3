// The encrypted wireless settings file (*.krz): 83 bytes
//   [0..2]   "001", the format version, plain
//   [3..18]  AES-256-CBC/PKCS#7 of 5 decimal digits: the record block length
//   [19..82] AES-256-CBC/PKCS#7 of the 60-byte WirelessGroupRecord image
// Both blocks are encrypted independently with the same key and IV, so that
// files move between installations. Toolkit-free: save and load return the
// exact message for the operator, the GUI shows it.
#pragma once

#include "wireless/WirelessGroup.h"

#include <mutex>
#include <string>

struct AesCbcState;

constexpr int GROUP_FILE_VERSION_SIZE = 3;
constexpr int GROUP_FILE_LENGTH_BLOCK_SIZE = 16;
constexpr int GROUP_FILE_RECORD_BLOCK_SIZE = 64;
constexpr int GROUP_FILE_SIZE =
    GROUP_FILE_VERSION_SIZE + GROUP_FILE_LENGTH_BLOCK_SIZE + GROUP_FILE_RECORD_BLOCK_SIZE;  // 83
constexpr const char* GROUP_FILE_VERSION = "001";
// The largest record block a reader accepts: every file the system writes has 64.
constexpr int GROUP_FILE_MAX_RECORD_BLOCK = 64;

constexpr int GROUP_FILE_KEY_SIZE = 32;
constexpr int GROUP_FILE_IV_SIZE = 16;

// Key, IV and cipher context of the settings file. The main window builds one
// for the whole run; while it exists it is the process-wide cipher
// (GroupFileCipher()). Calls are serialised internally.
class CGroupFileCipher {
public:
    // The program's own key and IV, built from the constants in the program.
    CGroupFileCipher();
    // Another key and IV (a file written by another installation, in tests).
    CGroupFileCipher(const unsigned char key[GROUP_FILE_KEY_SIZE], const unsigned char iv[GROUP_FILE_IV_SIZE]);
    ~CGroupFileCipher();
    CGroupFileCipher(const CGroupFileCipher&) = delete;
    CGroupFileCipher& operator=(const CGroupFileCipher&) = delete;

    // Encrypts len bytes into out (capacity outCapacity, at least len + 17:
    // the ciphertext is followed by a zero byte). Returns the ciphertext
    // length, or 0 on any failure.
    int EncryptBlock(const unsigned char* in, int len, unsigned char* out, int outCapacity);
    // Decrypts len bytes into out (capacity at least len). Returns the
    // plaintext length, or 0 on any failure (wrong key, damaged data).
    int DecryptBlock(const unsigned char* in, int len, unsigned char* out, int outCapacity);

private:
    void Register();
    unsigned char m_key[GROUP_FILE_KEY_SIZE] = {};
    unsigned char m_iv[GROUP_FILE_IV_SIZE] = {};
    AesCbcState* m_ctx = nullptr;
    std::mutex m_mutex;
};

// The process-wide cipher, or null while none exists.
CGroupFileCipher* GroupFileCipher();

// Through the process-wide cipher; 0 when there is none.
int EncryptBlock(const unsigned char* in, int len, unsigned char* out, int outCapacity);
int DecryptBlock(const unsigned char* in, int len, unsigned char* out, int outCapacity);

struct GroupFileResult {
    bool ok = false;
    std::string message;  // UTF-8; empty on success
};

// Writes rec to path. Failures: "ファイルを開けませんでした。",
// "ファイル保存エラー:V-%d" (errno), "ファイル保存エラー:E-%d" (2 write or
// close failed, 3 cipher failed). A failed save may leave a partial file.
GroupFileResult SaveWirelessGroupFile(const std::string& path, const WirelessGroupRecord& rec,
                                      CGroupFileCipher* cipher = GroupFileCipher());

// Reads path into *rec; *rec is untouched on every failure. Failures:
// "ファイルを開けませんでした。", "ファイル読込エラー:V-%d" (errno of this
// read, 0 at end of file), "ファイル読込エラー:D-%d" (1 nothing after the
// version, 2 a block too short, 3 a block that does not decrypt or a length
// block that is not 1..64 in digits, or a record that is not 60 bytes or
// holds values no validated record has: damage CBC itself does not detect).
GroupFileResult LoadWirelessGroupFile(const std::string& path, WirelessGroupRecord* rec,
                                      CGroupFileCipher* cipher = GroupFileCipher());
