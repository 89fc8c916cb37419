#include "config/protected_text.h"

#include "config/machine_id.h"
#include "crypto/openssl_providers.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>

namespace {

constexpr std::string_view kMagic = "Salted__";
constexpr std::size_t kSaltSize = 8;
constexpr std::size_t kHeaderSize = kMagic.size() + kSaltSize;
constexpr std::size_t kBlockSize = 8;

using Salt = std::span<const unsigned char, kSaltSize>;

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// Key and IV of one block, wiped when they go out of scope.
struct SKeyAndIv {
    std::array<unsigned char, EVP_MAX_KEY_LENGTH> m_key {};
    std::array<unsigned char, EVP_MAX_IV_LENGTH> m_iv {};
    ~SKeyAndIv()
    {
        OPENSSL_cleanse(m_key.data(), m_key.size());
        OPENSSL_cleanse(m_iv.data(), m_iv.size());
    }
};

bool DeriveKeyAndIv(const EVP_CIPHER* cipher, Salt salt, SKeyAndIv& out)
{
    UniqueMd md5 = FetchMd5();
    const std::string& passPhrase = g_szMachineId;
    if (!md5 || passPhrase.empty())
        return false;
    return EVP_BytesToKey(cipher, md5.get(), salt.data(),
                          reinterpret_cast<const unsigned char*>(passPhrase.data()),
                          static_cast<int>(passPhrase.size()), 1, out.m_key.data(),
                          out.m_iv.data()) > 0;
}

bool RunCipher(EVP_CIPHER_CTX* ctx, std::span<const unsigned char> in,
               std::vector<unsigned char>& out)
{
    out.resize(in.size() + kBlockSize);
    int updated = 0;
    if (!in.empty() &&
        EVP_CipherUpdate(ctx, out.data(), &updated, in.data(), static_cast<int>(in.size())) != 1)
        return false;
    int finished = 0;
    if (EVP_CipherFinal_ex(ctx, out.data() + updated, &finished) != 1)
        return false;
    out.resize(static_cast<std::size_t>(updated + finished));
    return true;
}

// Blowfish-CBC over in with the key and IV of salt; false when the library fails or, decrypting,
// the padding is rejected. out then holds nothing of the text.
bool Blowfish(bool encrypt, Salt salt, std::span<const unsigned char> in,
              std::vector<unsigned char>& out)
{
    if (in.size() > static_cast<std::size_t>(INT_MAX) - kBlockSize)
        return false;
    UniqueCipher cipher = FetchBlowfishCbc();
    SKeyAndIv keyAndIv;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (cipher && ctx && DeriveKeyAndIv(cipher.get(), salt, keyAndIv) &&
        EVP_CipherInit_ex2(ctx.get(), cipher.get(), keyAndIv.m_key.data(), keyAndIv.m_iv.data(),
                           encrypt ? 1 : 0, nullptr) == 1 &&
        RunCipher(ctx.get(), in, out))
        return true;
    OPENSSL_cleanse(out.data(), out.size());
    out.clear();
    // A rejected block is an expected outcome here, not an error for whoever reads the queue next.
    ERR_clear_error();
    return false;
}

std::span<const unsigned char> BytesOf(std::string_view text)
{
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

} // namespace

std::optional<std::vector<unsigned char>> ProtectText(std::string_view text)
{
    std::array<unsigned char, kSaltSize> salt {};
    std::vector<unsigned char> encrypted;
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1 ||
        !Blowfish(true, salt, BytesOf(text), encrypted))
        return std::nullopt;

    std::vector<unsigned char> block(kMagic.begin(), kMagic.end());
    block.insert(block.end(), salt.begin(), salt.end());
    block.insert(block.end(), encrypted.begin(), encrypted.end());
    return block;
}

std::optional<std::string> UnprotectText(std::span<const unsigned char> bytes)
{
    if (bytes.size() < kHeaderSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
        return std::nullopt;
    std::vector<unsigned char> decrypted;
    if (!Blowfish(false, bytes.subspan<kMagic.size(), kSaltSize>(), bytes.subspan(kHeaderSize),
                  decrypted))
        return std::nullopt;
    const auto end = std::find(decrypted.begin(), decrypted.end(), 0);
    std::string text(decrypted.begin(), end);
    OPENSSL_cleanse(decrypted.data(), decrypted.size());
    return text;
}
