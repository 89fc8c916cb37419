#include "crypto/chunk_cipher.h"

#include <openssl/crypto.h>
#include <openssl/err.h>

#include <algorithm>
#include <climits>

CChunkCipher::CChunkCipher(std::span<const unsigned char, kKeySize> key,
                           std::span<const unsigned char, kIvSize> iv)
    // Fetched once: an implicit fetch on every chunk would look the cipher up again each time.
    : m_cipher(EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr)), m_ctx(EVP_CIPHER_CTX_new())
{
    std::copy(key.begin(), key.end(), m_key.begin());
    std::copy(iv.begin(), iv.end(), m_iv.begin());
}

CChunkCipher::~CChunkCipher()
{
    OPENSSL_cleanse(m_key.data(), m_key.size());
    OPENSSL_cleanse(m_iv.data(), m_iv.size());
}

bool CChunkCipher::Encrypt(std::span<const unsigned char> plain, std::vector<unsigned char>& out)
{
    return Run(true, plain, out);
}

bool CChunkCipher::Decrypt(std::span<const unsigned char> cipher, std::vector<unsigned char>& out)
{
    return Run(false, cipher, out);
}

bool CChunkCipher::Run(bool encrypt, std::span<const unsigned char> in,
                       std::vector<unsigned char>& out)
{
    if (!*this || in.size() > INT_MAX - kBlockSize)
        return false;
    const std::size_t start = out.size();
    out.resize(start + in.size() + kBlockSize);
    int updated = 0;
    int finished = 0;
    const bool done = EVP_CipherInit_ex2(m_ctx.get(), m_cipher.get(), m_key.data(), m_iv.data(),
                                         encrypt ? 1 : 0, nullptr) == 1 &&
                      EVP_CipherUpdate(m_ctx.get(), out.data() + start, &updated, in.data(),
                                       static_cast<int>(in.size())) == 1 &&
                      EVP_CipherFinal_ex(m_ctx.get(), out.data() + start + updated, &finished) == 1;
    if (!done) {
        // A wrong padding on decryption lands here; the queue must not leak into later calls.
        ERR_clear_error();
        out.resize(start);
        return false;
    }
    out.resize(start + static_cast<std::size_t>(updated) + static_cast<std::size_t>(finished));
    return true;
}
