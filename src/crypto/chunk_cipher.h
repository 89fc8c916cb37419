#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

// AES-256-CBC with PKCS#7 padding over one chunk at a time. Every chunk is encrypted afresh from
// the same key and IV, so chunks stand alone: a full 8192-byte chunk gives 8208 ciphertext bytes,
// and any chunk decrypts without its neighbours.
class CChunkCipher {
public:
    static constexpr std::size_t kKeySize = 32;
    static constexpr std::size_t kIvSize = 16;
    static constexpr std::size_t kBlockSize = 16;

    CChunkCipher(std::span<const unsigned char, kKeySize> key,
                 std::span<const unsigned char, kIvSize> iv);
    ~CChunkCipher();
    CChunkCipher(const CChunkCipher&) = delete;
    CChunkCipher& operator=(const CChunkCipher&) = delete;

    // False when the library offers no AES-256-CBC or no cipher context.
    explicit operator bool() const { return m_cipher && m_ctx; }

    // Append the result to out; on failure out is as it was.
    [[nodiscard]] bool Encrypt(std::span<const unsigned char> plain,
                               std::vector<unsigned char>& out);
    [[nodiscard]] bool Decrypt(std::span<const unsigned char> cipher,
                               std::vector<unsigned char>& out);

private:
    struct CipherFree {
        void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
    };
    struct CipherCtxFree {
        void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
    };

    [[nodiscard]] bool Run(bool encrypt, std::span<const unsigned char> in,
                           std::vector<unsigned char>& out);

    std::unique_ptr<EVP_CIPHER, CipherFree> m_cipher;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> m_ctx;
    std::array<unsigned char, kKeySize> m_key {};
    std::array<unsigned char, kIvSize> m_iv {};
};
