#include "crypto/oaep_context.h"

#include <openssl/err.h>
#include <openssl/rsa.h>

#include <algorithm>

COaepContext::COaepContext(EVP_PKEY* key, EDirection direction)
    : m_direction(direction), m_key(key != nullptr ? EVP_PKEY_dup(key) : nullptr)
{
    if (!m_key)
        return;
    UniqueEvpPkeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, m_key.get(), nullptr));
    const auto init = direction == EDirection::Wrap ? EVP_PKEY_encrypt_init : EVP_PKEY_decrypt_init;
    if (ctx && init(ctx.get()) == 1 &&
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) == 1)
        m_ctx = std::move(ctx);
    ERR_clear_error();
}

bool COaepContext::Run(std::span<const unsigned char> input, std::vector<unsigned char>& output)
{
    if (!m_ctx) {
        output.clear();
        return false;
    }
    const auto run = m_direction == EDirection::Wrap ? EVP_PKEY_encrypt : EVP_PKEY_decrypt;
    // A result is never longer than the key's block; the buffer keeps its room between calls.
    std::size_t size = static_cast<std::size_t>(std::max(EVP_PKEY_get_size(m_key.get()), 0));
    output.resize(size);
    if (run(m_ctx.get(), output.data(), &size, input.data(), input.size()) != 1) {
        // A wrong key or a damaged block lands here; the queue must not leak into later calls
        // on this thread.
        ERR_clear_error();
        output.clear();
        return false;
    }
    output.resize(size);
    return true;
}
