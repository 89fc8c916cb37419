#include "crypto/public_key.h"

#include "crypto/oaep_context.h"
#include "crypto/pem_text.h"
#include "util/unique_fd.h"

#include <algorithm>
#include <fcntl.h>

namespace {

// "guid=" + 32 hex digits + LF.
constexpr std::size_t kGuidLabelSize = 5;
constexpr std::size_t kGuidSize = 32;
constexpr std::size_t kGuidLineSize = kGuidLabelSize + kGuidSize + 1;
// Public key files are a few hundred bytes; nothing beyond this many is ever looked at.
constexpr std::size_t kMaxPublicKeyFileRead = 2000;

bool IsUpperHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The first bytes of the file at path, at most maxSize; false when it cannot be read.
bool ReadFileHead(const std::string& path, std::size_t maxSize, std::string& bytes)
{
    CUniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen())
        return false;
    bytes.resize(maxSize);
    long long got = ReadFull(file.Get(), bytes.data(), bytes.size());
    if (got < 0)
        return false;
    bytes.resize(static_cast<std::size_t>(got));
    return true;
}

} // namespace

bool IsKeyGuidText(std::string_view text)
{
    return text.size() == kGuidSize && std::all_of(text.begin(), text.end(), IsUpperHexDigit);
}

std::size_t CPublicKey::GetBlockSize() const
{
    if (!m_pRsa)
        return 0;
    return static_cast<std::size_t>(std::max(EVP_PKEY_get_size(m_pRsa.get()), 0));
}

bool CPublicKey::WrapBytes(std::span<const unsigned char> plain,
                           std::vector<unsigned char>& block) const
{
    return RunOaep(false, plain, block);
}

bool CPublicKey::RunOaep(bool decrypt, std::span<const unsigned char> input,
                         std::vector<unsigned char>& output) const
{
    using EDirection = COaepContext::EDirection;
    COaepContext context(m_pRsa.get(), decrypt ? EDirection::Unwrap : EDirection::Wrap);
    // Encryption fails as well when the random generator cannot give the padding's seed.
    if (context)
        return context.Run(input, output);
    output.clear();
    return false;
}

bool CPublicKey::SaveFile(const std::string& path)
{
    CTempFile file = NewTempFile();
    return file && WritePublicKeyText(*this, file) &&
           CopyTempFileTo(file, path, EFileAccess::Shared);
}

bool CPublicKey::LoadPem(const std::string* publicPem, const std::string*)
{
    m_pRsa.reset();
    if (publicPem == nullptr)
        return true;
    m_pRsa = DecodePublicPem(*publicPem);
    return m_pRsa != nullptr;
}

std::unique_ptr<CPublicKey> ReadPublicKeyFile(const std::string& path)
{
    std::string bytes;
    if (!ReadFileHead(path, kMaxPublicKeyFileRead, bytes) || bytes.size() <= kGuidLineSize)
        return nullptr;
    // The label's five bytes are not compared: only the GUID and the line end are checked.
    const std::string guid = bytes.substr(kGuidLabelSize, kGuidSize);
    if (!IsKeyGuidText(guid) || bytes[kGuidLineSize - 1] != '\n')
        return nullptr;

    auto key = std::make_unique<CPublicKey>();
    key->SetGuid(guid);
    const std::string pem = bytes.substr(kGuidLineSize);
    if (!key->LoadPem(&pem, nullptr))
        return nullptr;
    return key;
}

bool WritePublicKeyText(const CPublicKey& key, const CTempFile& file)
{
    // A file without a valid GUID line could never be read back as a public key file.
    if (!file || !IsKeyGuidText(key.GetGuid()))
        return false;
    std::string pem;
    if (!EncodePublicPem(key.GetKey(), pem))
        return false;
    return file.Write("guid=" + key.GetGuid() + "\n") && file.Write(pem);
}

CTempFile WritePublicKeyTempFile(const CPublicKey& key)
{
    CTempFile file = NewTempFile();
    if (!file || !WritePublicKeyText(key, file))
        return {};
    return file;
}
