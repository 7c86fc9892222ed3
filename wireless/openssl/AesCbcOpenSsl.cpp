// The settings file's cipher through OpenSSL's EVP interface.
#include "wireless/AesCbc.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

struct AesCbcState {
    EVP_CIPHER_CTX* ctx;
};

AesCbcState* AesCbcCreate() {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    return ctx ? new AesCbcState{ctx} : nullptr;
}

void AesCbcDestroy(AesCbcState* state) {
    if (!state) return;
    EVP_CIPHER_CTX_free(state->ctx);
    delete state;
}

int AesCbcEncrypt(AesCbcState* state, const unsigned char* key, const unsigned char* iv, const unsigned char* in,
                  int len, unsigned char* out) {
    int n = 0;
    int tail = 0;
    if (EVP_EncryptInit_ex(state->ctx, EVP_aes_256_cbc(), nullptr, key, iv) != 1) return -1;
    if (len > 0 && EVP_EncryptUpdate(state->ctx, out, &n, in, len) != 1) return -1;
    if (EVP_EncryptFinal_ex(state->ctx, out + n, &tail) != 1) return -1;
    return n + tail;
}

int AesCbcDecrypt(AesCbcState* state, const unsigned char* key, const unsigned char* iv, const unsigned char* in,
                  int len, unsigned char* out) {
    int n = 0;
    int tail = 0;
    if (EVP_DecryptInit_ex(state->ctx, EVP_aes_256_cbc(), nullptr, key, iv) != 1) return -1;
    if (EVP_DecryptUpdate(state->ctx, out, &n, in, len) != 1) return -1;
    if (EVP_DecryptFinal_ex(state->ctx, out + n, &tail) != 1) return -1;
    return n + tail;
}

void WipeSecret(void* p, std::size_t n) { OPENSSL_cleanse(p, n); }
