#pragma once

#include "crypto/public_key.h"

#include <cstddef>
#include <span>
#include <vector>

// RSA-OAEP (SHA-1, MGF1-SHA-1, empty label) in one direction, set up once and used for many
// blocks by one thread at a time.
//
// Chunk workers each hold one: the context is not set up afresh for every chunk head, and the
// context works on its own copy of the key, so no two threads share the key's blinding state and
// wait on each other's lock around it. The copy of a private key is wiped when it goes.
class COaepContext {
public:
    enum class EDirection { Wrap, Unwrap };

    // key must hold the private half for Unwrap.
    COaepContext(EVP_PKEY* key, EDirection direction);
    COaepContext(const COaepContext&) = delete;
    COaepContext& operator=(const COaepContext&) = delete;

    // False when the key could not be copied or the context not set up.
    explicit operator bool() const { return m_ctx != nullptr; }

    // Wraps or unwraps input into output (resized to the result); on failure output is empty.
    [[nodiscard]] bool Run(std::span<const unsigned char> input,
                           std::vector<unsigned char>& output);

private:
    EDirection m_direction;
    UniqueEvpPkey m_key;
    UniqueEvpPkeyCtx m_ctx;
};
