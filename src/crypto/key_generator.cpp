#include "crypto/key_generator.h"

#include "util/folder_paths.h"
#include "util/key_guid.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/rsa.h>

namespace {

constexpr int kKeyBits = 2048;
constexpr BN_ULONG kPublicExponent = 65537;

struct BignumFree {
    void operator()(BIGNUM* number) const { BN_free(number); }
};

// A new RSA key; null when OpenSSL (or its random generator) fails.
UniqueEvpPkey GenerateRsaKey()
{
    UniqueEvpPkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    std::unique_ptr<BIGNUM, BignumFree> exponent(BN_new());
    EVP_PKEY* key = nullptr;
    if (!ctx || !exponent || BN_set_word(exponent.get(), kPublicExponent) != 1 ||
        EVP_PKEY_keygen_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), kKeyBits) != 1 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), exponent.get()) != 1 ||
        EVP_PKEY_keygen(ctx.get(), &key) != 1) {
        ERR_clear_error();
        EVP_PKEY_free(key);
        return {};
    }
    return UniqueEvpPkey(key);
}

} // namespace

bool CKeyGenerator::Generate()
{
    m_pKeyPair.reset();
    UniqueEvpPkey key = GenerateRsaKey();
    std::string guid;
    if (!key || !MakeKeyGuid(guid))
        return false;

    auto pair = std::make_unique<CKeyPair>();
    pair->SetKey(std::move(key));
    pair->SetGuid(guid);
    // Fixed now, from the keys folder of this moment.
    pair->SetKeyFilePath(g_szKeysFolder + guid + ".key");
    m_pKeyPair = std::move(pair);
    return true;
}
