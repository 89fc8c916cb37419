#include "crypto/openssl_providers.h"

#include <openssl/err.h>

namespace {

COpenSslProviders* g_pNewestProviders = nullptr;

// Moves OpenSSL's queued error texts into text, each on a line of its own.
void AppendLibraryErrors(std::string& text)
{
    while (unsigned long code = ERR_get_error()) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        text.append("\n  ").append(reason);
    }
}

} // namespace

COpenSslProviders::COpenSslProviders() : m_pLibCtx(OSSL_LIB_CTX_new())
{
    m_pPrevious = g_pNewestProviders;
    g_pNewestProviders = this;
    if (m_pLibCtx) {
        m_pDefault.reset(OSSL_PROVIDER_load(m_pLibCtx.get(), "default"));
        m_pLegacy.reset(OSSL_PROVIDER_load(m_pLibCtx.get(), "legacy"));
    }
    if (IsReady())
        return;
    if (!m_pDefault)
        m_error += "OpenSSL's default provider cannot be loaded.\n";
    if (!m_pLegacy) {
        m_error += "OpenSSL's legacy provider (ossl-modules/legacy.so) cannot be loaded; it holds "
                   "the Blowfish cipher that protects the stored FTP password. Install the "
                   "Debian package libssl3 (on Debian 13 and later: openssl-provider-legacy).\n";
    }
    m_error += "OpenSSL says:";
    AppendLibraryErrors(m_error);
}

COpenSslProviders::~COpenSslProviders()
{
    if (g_pNewestProviders == this)
        g_pNewestProviders = m_pPrevious;
}

OSSL_LIB_CTX* LegacyLibraryContext()
{
    const COpenSslProviders* providers = g_pNewestProviders;
    return providers && providers->IsReady() ? providers->m_pLibCtx.get() : nullptr;
}

UniqueCipher FetchBlowfishCbc()
{
    OSSL_LIB_CTX* libCtx = LegacyLibraryContext();
    return UniqueCipher(libCtx ? EVP_CIPHER_fetch(libCtx, "BF-CBC", nullptr) : nullptr);
}

UniqueMd FetchMd5()
{
    OSSL_LIB_CTX* libCtx = LegacyLibraryContext();
    return UniqueMd(libCtx ? EVP_MD_fetch(libCtx, "MD5", nullptr) : nullptr);
}
