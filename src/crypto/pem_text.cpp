#include "crypto/pem_text.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/decoder.h>
#include <openssl/encoder.h>
#include <openssl/err.h>

namespace {

struct EncoderCtxFree {
    void operator()(OSSL_ENCODER_CTX* ctx) const { OSSL_ENCODER_CTX_free(ctx); }
};
struct DecoderCtxFree {
    void operator()(OSSL_DECODER_CTX* ctx) const { OSSL_DECODER_CTX_free(ctx); }
};

// "type-specific" is the PKCS#1 structure for RSA, in both halves.
constexpr const char* kPkcs1Structure = "type-specific";

// Writes key's selected parts as PEM into text; its bytes are wiped from OpenSSL's buffer.
bool EncodePem(EVP_PKEY* key, int selection, std::string& text)
{
    text.clear();
    if (key == nullptr)
        return false;
    std::unique_ptr<OSSL_ENCODER_CTX, EncoderCtxFree> ctx(
        OSSL_ENCODER_CTX_new_for_pkey(key, selection, "PEM", kPkcs1Structure, nullptr));
    if (!ctx || OSSL_ENCODER_CTX_get_num_encoders(ctx.get()) == 0)
        return false;
    unsigned char* data = nullptr;
    std::size_t size = 0;
    if (OSSL_ENCODER_to_data(ctx.get(), &data, &size) != 1) {
        ERR_clear_error();
        return false;
    }
    text.assign(reinterpret_cast<const char*>(data), size);
    OPENSSL_clear_free(data, size);
    return !text.empty();
}

// Refuses every request for a pass phrase: key texts here are stored unencrypted, and no one is
// there to type one (OpenSSL would otherwise prompt on the terminal).
int RefusePassphrase(char*, std::size_t, std::size_t*, const OSSL_PARAM*, void*)
{
    return 0;
}

UniqueEvpPkey DecodePem(std::string_view text, int selection)
{
    EVP_PKEY* key = nullptr;
    std::unique_ptr<OSSL_DECODER_CTX, DecoderCtxFree> ctx(
        OSSL_DECODER_CTX_new_for_pkey(&key, "PEM", nullptr, "RSA", selection, nullptr, nullptr));
    if (!ctx || OSSL_DECODER_CTX_set_passphrase_cb(ctx.get(), RefusePassphrase, nullptr) != 1)
        return {};
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t size = text.size();
    const bool decoded = OSSL_DECODER_from_data(ctx.get(), &data, &size) == 1;
    UniqueEvpPkey owned(key);
    // A failed attempt leaves its reasons queued; they must not be mistaken later for the
    // reasons of an unrelated failure.
    ERR_clear_error();
    if (!decoded || !owned || EVP_PKEY_is_a(owned.get(), "RSA") != 1)
        return {};
    return owned;
}

} // namespace

CSecretText::~CSecretText()
{
    OPENSSL_cleanse(m_text.data(), m_text.size());
}

bool EncodePublicPem(EVP_PKEY* key, std::string& text)
{
    return EncodePem(key, OSSL_KEYMGMT_SELECT_PUBLIC_KEY, text);
}

bool EncodePrivatePem(EVP_PKEY* key, CSecretText& text)
{
    return EncodePem(key, OSSL_KEYMGMT_SELECT_KEYPAIR, text.Get());
}

UniqueEvpPkey DecodePublicPem(std::string_view text)
{
    return DecodePem(text, OSSL_KEYMGMT_SELECT_PUBLIC_KEY);
}

UniqueEvpPkey DecodePrivatePem(std::string_view text)
{
    return DecodePem(text, OSSL_KEYMGMT_SELECT_KEYPAIR);
}
