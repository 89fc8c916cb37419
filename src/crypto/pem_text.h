#pragma once

#include "crypto/public_key.h"

#include <string>
#include <string_view>

// The PEM texts of RSA keys, through OpenSSL's encoder and decoder objects. Keys are written in
// their PKCS#1 forms ("RSA PUBLIC KEY", "RSA PRIVATE KEY", unencrypted); public keys are read in
// both PKCS#1 and SubjectPublicKeyInfo ("PUBLIC KEY") form, since a key made with other tools
// usually comes in the latter.

// A text that holds key material: its bytes are wiped before the memory goes back.
class CSecretText {
public:
    CSecretText() = default;
    ~CSecretText();
    CSecretText(const CSecretText&) = delete;
    CSecretText& operator=(const CSecretText&) = delete;

    std::string& Get() { return m_text; }
    const std::string& Get() const { return m_text; }

private:
    std::string m_text;
};

// The public half of key as PKCS#1 PEM; false (text empty) when it cannot be written.
[[nodiscard]] bool EncodePublicPem(EVP_PKEY* key, std::string& text);
// The whole of key as unencrypted PKCS#1 PEM; false when key has no private half.
[[nodiscard]] bool EncodePrivatePem(EVP_PKEY* key, CSecretText& text);

// The RSA public key of a PEM text; null when the text holds none.
UniqueEvpPkey DecodePublicPem(std::string_view text);
// The RSA key pair of an unencrypted private key PEM text; null when the text holds none. A
// text encrypted under a pass phrase is refused without asking for one.
UniqueEvpPkey DecodePrivatePem(std::string_view text);
