// The settings file's cipher through Windows' own CNG (bcrypt).
#include "wireless/AesCbc.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// One key object per call: the key is part of each call, as in the EVP
// interface, and the settings file encrypts only a few blocks.
class KeyHandle {
public:
    KeyHandle(BCRYPT_ALG_HANDLE alg, const unsigned char* key) {
        if (!Succeeded(BCryptGenerateSymmetricKey(alg, &m_key, nullptr, 0, const_cast<PUCHAR>(key),
                                                  AES_CBC_KEY_SIZE, 0)))
            m_key = nullptr;
    }
    ~KeyHandle() {
        if (m_key) BCryptDestroyKey(m_key);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    BCRYPT_KEY_HANDLE get() const { return m_key; }

private:
    BCRYPT_KEY_HANDLE m_key = nullptr;
};

}  // namespace

struct AesCbcState {
    BCRYPT_ALG_HANDLE alg;
};

AesCbcState* AesCbcCreate() {
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&alg, BCRYPT_AES_ALGORITHM, nullptr, 0))) return nullptr;
    if (!Succeeded(BCryptSetProperty(alg, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(
                                         const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                                     sizeof BCRYPT_CHAIN_MODE_CBC, 0))) {
        BCryptCloseAlgorithmProvider(alg, 0);
        return nullptr;
    }
    return new AesCbcState{alg};
}

void AesCbcDestroy(AesCbcState* state) {
    if (!state) return;
    BCryptCloseAlgorithmProvider(state->alg, 0);
    delete state;
}

// The padding is added and checked here rather than by CNG, so that a damaged
// file is refused by exactly the rule OpenSSL applies (every pad byte equal
// to the pad length, 1 to 16), whatever the system's implementation does.
int AesCbcEncrypt(AesCbcState* state, const unsigned char* key, const unsigned char* iv, const unsigned char* in,
                  int len, unsigned char* out) {
    KeyHandle k(state->alg, key);
    if (!k.get() || len < 0) return -1;
    const int pad = AES_CBC_BLOCK_SIZE - len % AES_CBC_BLOCK_SIZE;
    const int total = len + pad;
    if (len > 0) std::memmove(out, in, static_cast<std::size_t>(len));
    std::memset(out + len, pad, static_cast<std::size_t>(pad));
    // CNG updates the IV it is given: each call starts from a copy.
    unsigned char chain[AES_CBC_BLOCK_SIZE];
    std::memcpy(chain, iv, sizeof chain);
    ULONG written = 0;
    const NTSTATUS status = BCryptEncrypt(k.get(), out, static_cast<ULONG>(total), nullptr, chain, sizeof chain, out,
                                          static_cast<ULONG>(total), &written, 0);
    return Succeeded(status) && written == static_cast<ULONG>(total) ? total : -1;
}

int AesCbcDecrypt(AesCbcState* state, const unsigned char* key, const unsigned char* iv, const unsigned char* in,
                  int len, unsigned char* out) {
    KeyHandle k(state->alg, key);
    if (!k.get() || len <= 0 || len % AES_CBC_BLOCK_SIZE != 0) return -1;
    unsigned char chain[AES_CBC_BLOCK_SIZE];
    std::memcpy(chain, iv, sizeof chain);
    ULONG written = 0;
    const NTSTATUS status = BCryptDecrypt(k.get(), const_cast<PUCHAR>(in), static_cast<ULONG>(len), nullptr, chain,
                                          sizeof chain, out, static_cast<ULONG>(len), &written, 0);
    if (!Succeeded(status) || written != static_cast<ULONG>(len)) return -1;
    const int pad = out[len - 1];
    if (pad < 1 || pad > AES_CBC_BLOCK_SIZE) return -1;
    for (int i = len - pad; i < len; ++i)
        if (out[i] != pad) return -1;
    return len - pad;
}

void WipeSecret(void* p, std::size_t n) { SecureZeroMemory(p, n); }
