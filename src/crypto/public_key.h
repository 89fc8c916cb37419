#pragma once

#include "util/temp_file.h"

#include <openssl/evp.h>

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct EvpPkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using UniqueEvpPkey = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

struct EvpPkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using UniqueEvpPkeyCtx = std::unique_ptr<EVP_PKEY_CTX, EvpPkeyCtxFree>;

// A recipient's RSA public key with its key GUID: what a sender has of someone else.
//
// Public key file (what users publish and senders download), LF line ends:
//   "guid=" + 32 upper-case hex digits + LF      (exactly 38 bytes)
//   the public key in PEM (written as PKCS#1 "RSA PUBLIC KEY"; read as PKCS#1 or
//   SubjectPublicKeyInfo "PUBLIC KEY")
class CPublicKey {
public:
    CPublicKey() = default;
    virtual ~CPublicKey() = default;
    CPublicKey(const CPublicKey&) = delete;
    CPublicKey& operator=(const CPublicKey&) = delete;

    const std::string& GetGuid() const { return m_szGuid; }
    void SetGuid(std::string guid) { m_szGuid = std::move(guid); }
    // The key, or null when none is loaded.
    EVP_PKEY* GetKey() const { return m_pRsa.get(); }
    // Takes over key (null: none), as key generation hands over a new one.
    void SetKey(UniqueEvpPkey key) { m_pRsa = std::move(key); }
    // Size of one RSA block in bytes (256 for RSA-2048); 0 without a key.
    std::size_t GetBlockSize() const;

    // RSA-OAEP (SHA-1, MGF1-SHA-1, empty label) encryption of plain with the public key; block
    // receives GetBlockSize() bytes.
    [[nodiscard]] bool WrapBytes(std::span<const unsigned char> plain,
                                 std::vector<unsigned char>& block) const;

    // Writes this key's file at path; never replaces an existing file.
    [[nodiscard]] virtual bool SaveFile(const std::string& path);
    // Replaces the key with the one in publicPem (null: no key). privatePem is for CKeyPair.
    [[nodiscard]] virtual bool LoadPem(const std::string* publicPem, const std::string* privatePem);

protected:
    // One RSA-OAEP operation with the key: encryption, or decryption with its private half.
    [[nodiscard]] bool RunOaep(bool decrypt, std::span<const unsigned char> input,
                               std::vector<unsigned char>& output) const;

    UniqueEvpPkey m_pRsa;
    std::string m_szGuid;
};

// True for a key GUID text: exactly 32 characters "0"-"9", "A"-"F".
bool IsKeyGuidText(std::string_view text);

// Reads a public key file; null when it is not one.
std::unique_ptr<CPublicKey> ReadPublicKeyFile(const std::string& path);

// Writes key's public key file content into file. False when key has no key or no key GUID.
[[nodiscard]] bool WritePublicKeyText(const CPublicKey& key, const CTempFile& file);

// A new temporary file holding key's public key file; an empty CTempFile on failure. The file is
// left open with its content written, ready for ReplaceFromTempFile or CopyTempFileTo, or to be
// read by its path (an upload).
CTempFile WritePublicKeyTempFile(const CPublicKey& key);
