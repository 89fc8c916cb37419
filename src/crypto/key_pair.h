#pragma once

#include "crypto/public_key.h"

// One of the user's own key pairs: a public key with its private half, the path of its key pair
// file in the keys folder and its creation stamp.
//
// Key pair file (also the ".exp" export), integers u32 big-endian:
//   0  "TVPS"   4  version 0x01000000   8  key GUID (32 ASCII)   40  creation stamp (17 digits)
//   57 3 reserved zero bytes   60  P   64  S   68  public key PEM (P bytes)
//   68+P  private key PEM, PKCS#1 "RSA PRIVATE KEY", unencrypted (S bytes)
class CKeyPair : public CPublicKey {
public:
    // RSA-OAEP decryption of one block with the private key.
    [[nodiscard]] bool UnwrapBytes(std::span<const unsigned char> block,
                                   std::vector<unsigned char>& plain) const;

    // Writes the key pair file at path, stamping the pair with the time of the save; never
    // replaces an existing file.
    [[nodiscard]] bool SaveFile(const std::string& path) override;
    [[nodiscard]] bool LoadPem(const std::string* publicPem,
                               const std::string* privatePem) override;

    const std::string& GetKeyFilePath() const { return m_szKeyFilePath; }
    void SetKeyFilePath(std::string path) { m_szKeyFilePath = std::move(path); }
    const std::string& GetCreated() const { return m_szCreated; }
    void SetCreated(std::string stamp) { m_szCreated = std::move(stamp); }

private:
    std::string m_szKeyFilePath;
    std::string m_szCreated;
};

// Reads a key pair file (from any folder); its key file path is set to the keys folder's
// GUID + ".key" whatever path it came from. Null when the file is not a key pair file.
std::unique_ptr<CKeyPair> LoadKeyPairFile(const std::string& path);
