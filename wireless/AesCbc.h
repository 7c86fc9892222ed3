// AES-256 in CBC mode with PKCS#7 padding over one whole message: the cipher
// of the settings file. Each platform provides it with its own library
// (OpenSSL's libcrypto on Linux, the system's CNG on Windows); both give the
// same bytes, so a file written on one opens on the other.
#pragma once

#include <cstddef>

constexpr int AES_CBC_KEY_SIZE = 32;
constexpr int AES_CBC_BLOCK_SIZE = 16;

struct AesCbcState;

// A cipher context; nullptr when the library cannot provide one.
AesCbcState* AesCbcCreate();
void AesCbcDestroy(AesCbcState* state);

// Encrypts len bytes (len >= 0) into out, which has room for len + 16 bytes.
// Returns the ciphertext length (a whole number of blocks), or -1.
int AesCbcEncrypt(AesCbcState* state, const unsigned char* key, const unsigned char* iv, const unsigned char* in,
                  int len, unsigned char* out);

// Decrypts len bytes into out, which has room for len + 16 bytes. Returns the
// plaintext length, or -1 (not whole blocks, wrong key, damaged padding).
int AesCbcDecrypt(AesCbcState* state, const unsigned char* key, const unsigned char* iv, const unsigned char* in,
                  int len, unsigned char* out);

// Overwrites a secret so that the compiler cannot leave the store out.
void WipeSecret(void* p, std::size_t n);
