#pragma once

#include "crypto/key_pair.h"

#include <memory>

// Makes the user's new key pairs: RSA 2048 bits, public exponent 65537, a new key GUID, and the
// path of the pair's future key pair file in the keys folder. The generator keeps the pair it made
// last; callers use it in place and never take it over.
class CKeyGenerator {
public:
    CKeyGenerator() = default;
    virtual ~CKeyGenerator() = default;
    CKeyGenerator(const CKeyGenerator&) = delete;
    CKeyGenerator& operator=(const CKeyGenerator&) = delete;

    // Drops the previous pair, then makes a new one. False, holding no pair, when the key or its
    // GUID cannot be made. Nothing is written to disk.
    [[nodiscard]] bool Generate();

    // The pair of the last Generate; null before the first and after a failed one.
    CKeyPair* GetKeyPair() const { return m_pKeyPair.get(); }

private:
    std::unique_ptr<CKeyPair> m_pKeyPair;
};
