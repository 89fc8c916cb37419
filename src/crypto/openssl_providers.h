#pragma once

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>
#include <string>

// OpenSSL 3 keeps old ciphers such as Blowfish in its "legacy" provider, which nothing loads by
// default, and the stored FTP password is Blowfish-encrypted. The start-up code makes one
// COpenSslProviders before any configuration file is read and keeps it for the whole run; when it
// is not ready, start-up shows GetError() instead of letting every later password operation fail
// without a word.
//
// The providers go into a library context of the object's own, next to the "default" provider
// (MD5 for the key derivation), never into the process's default context: the rest of the
// program keeps OpenSSL's usual set-up, and loading and unloading stay symmetric. (Loading
// providers into the default context by hand turns off its automatic default provider for good,
// and unloading a hand-loaded default provider there corrupts the library's state in 3.0.)
//
// The newest live object is the one the password functions use; objects end in the reverse order
// of their making.
class COpenSslProviders {
public:
    COpenSslProviders();
    ~COpenSslProviders();
    COpenSslProviders(const COpenSslProviders&) = delete;
    COpenSslProviders& operator=(const COpenSslProviders&) = delete;

    // True when both providers are loaded.
    [[nodiscard]] bool IsReady() const { return m_pDefault && m_pLegacy; }
    // What is missing and how to get it, with OpenSSL's own reasons; empty when ready.
    const std::string& GetError() const { return m_error; }

private:
    friend OSSL_LIB_CTX* LegacyLibraryContext();

    struct LibCtxFree {
        void operator()(OSSL_LIB_CTX* libCtx) const { OSSL_LIB_CTX_free(libCtx); }
    };
    struct ProviderUnload {
        void operator()(OSSL_PROVIDER* provider) const { OSSL_PROVIDER_unload(provider); }
    };
    using UniqueProvider = std::unique_ptr<OSSL_PROVIDER, ProviderUnload>;

    // Declared in this order so the providers are unloaded, legacy first, before the context goes.
    std::unique_ptr<OSSL_LIB_CTX, LibCtxFree> m_pLibCtx;
    UniqueProvider m_pDefault;
    UniqueProvider m_pLegacy;
    std::string m_error;
    COpenSslProviders* m_pPrevious = nullptr;
};

// The library context of the newest live COpenSslProviders when it is ready; null otherwise.
[[nodiscard]] OSSL_LIB_CTX* LegacyLibraryContext();

struct CipherFree {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
using UniqueCipher = std::unique_ptr<EVP_CIPHER, CipherFree>;

struct MdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
using UniqueMd = std::unique_ptr<EVP_MD, MdFree>;

// Blowfish in CBC mode and MD5 from LegacyLibraryContext(); null when there is none.
[[nodiscard]] UniqueCipher FetchBlowfishCbc();
[[nodiscard]] UniqueMd FetchMd5();
