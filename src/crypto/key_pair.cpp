#include "crypto/key_pair.h"

#include "crypto/pem_text.h"
#include "util/big_endian.h"
#include "util/folder_paths.h"
#include "util/time_stamp.h"
#include "util/unique_fd.h"

#include <cstdint>
#include <fcntl.h>

namespace {

// Layout of the key pair file header; see key_pair.h.
constexpr std::string_view kMagic = "TVPS";
constexpr std::size_t kVersionOffset = 4;
constexpr std::uint32_t kVersion = 0x01000000;
constexpr std::size_t kGuidOffset = 8;
constexpr std::size_t kGuidSize = 32;
constexpr std::size_t kStampOffset = 40;
constexpr std::size_t kStampSize = 17;
constexpr std::size_t kReservedSize = 3;
constexpr std::size_t kPublicSizeOffset = 60;
constexpr std::size_t kPrivateSizeOffset = 64;
constexpr std::size_t kHeaderSize = 68;
// Far above the sizes of RSA-2048 texts (426 and 1675 bytes); they bound what a damaged or
// hostile file can make us allocate.
constexpr std::uint64_t kMaxPublicPemSize = 20000;
constexpr std::uint64_t kMaxPrivatePemSize = 40000;

std::string MakeHeader(const std::string& guid, const std::string& stamp, std::uint32_t publicSize,
                       std::uint32_t privateSize)
{
    std::string header(kMagic);
    AppendU32(header, kVersion);
    header += guid;
    header += stamp;
    header.append(kReservedSize, '\0');
    AppendU32(header, publicSize);
    AppendU32(header, privateSize);
    return header;
}

// What a key pair file's header says; see ParseHeader.
struct SHeader {
    std::string m_guid;
    std::string m_stamp;
    std::uint32_t m_nPublicSize = 0;
    std::uint32_t m_nPrivateSize = 0;
};

// Takes the header apart; false when it is not a key pair file's or its limits are broken.
bool ParseHeader(const std::string& bytes, SHeader& header)
{
    header.m_nPublicSize = ReadU32(bytes, kPublicSizeOffset);
    header.m_nPrivateSize = ReadU32(bytes, kPrivateSizeOffset);
    if (bytes.compare(0, kMagic.size(), kMagic) != 0 || ReadU32(bytes, kVersionOffset) > kVersion ||
        header.m_nPublicSize > kMaxPublicPemSize || header.m_nPrivateSize > kMaxPrivatePemSize)
        return false;
    // The GUID names the key pair's file in the keys folder: anything but hex digits (a "/", a
    // "..", a NUL) would put that file somewhere else.
    header.m_guid = bytes.substr(kGuidOffset, kGuidSize);
    header.m_stamp = bytes.substr(kStampOffset, kStampSize);
    return IsKeyGuidText(header.m_guid);
}

// Reads exactly size bytes into text.
bool ReadBlock(int fd, std::uint32_t size, std::string& text)
{
    text.resize(size);
    return size == 0 || ReadFull(fd, text.data(), size) == static_cast<long long>(size);
}

} // namespace

bool CKeyPair::UnwrapBytes(std::span<const unsigned char> block,
                           std::vector<unsigned char>& plain) const
{
    return RunOaep(true, block, plain);
}

bool CKeyPair::SaveFile(const std::string& path)
{
    if (!IsKeyGuidText(m_szGuid))
        return false;
    std::string publicPem;
    CSecretText privatePem;
    if (!EncodePublicPem(m_pRsa.get(), publicPem) || !EncodePrivatePem(m_pRsa.get(), privatePem))
        return false;
    // A file the reader would refuse is no key pair file: better no file than an unreadable one.
    if (publicPem.size() > kMaxPublicPemSize || privatePem.Get().size() > kMaxPrivatePemSize)
        return false;
    std::string stamp;
    if (!MakeTimeStamp(stamp) || stamp.size() != kStampSize)
        return false;

    CTempFile file = NewTempFile();
    const std::string header =
        MakeHeader(m_szGuid, stamp, static_cast<std::uint32_t>(publicPem.size()),
                   static_cast<std::uint32_t>(privatePem.Get().size()));
    if (!file || !file.Write(header) || !file.Write(publicPem) || !file.Write(privatePem.Get()) ||
        !CopyTempFileTo(file, path))
        return false;
    m_szCreated = stamp;
    return true;
}

bool CKeyPair::LoadPem(const std::string* publicPem, const std::string* privatePem)
{
    if (!CPublicKey::LoadPem(publicPem, nullptr))
        return false;
    if (privatePem == nullptr)
        return true;
    // The private text holds the public half as well and takes the place of the public key.
    m_pRsa = DecodePrivatePem(*privatePem);
    return m_pRsa != nullptr;
}

std::unique_ptr<CKeyPair> LoadKeyPairFile(const std::string& path)
{
    CUniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen())
        return nullptr;
    std::string bytes(kHeaderSize, '\0');
    SHeader header;
    if (ReadFull(file.Get(), bytes.data(), bytes.size()) != static_cast<long long>(kHeaderSize) ||
        !ParseHeader(bytes, header))
        return nullptr;

    // A block of length 0 is absent; a file needs at least one of the two.
    const bool hasPublic = header.m_nPublicSize > 0;
    const bool hasPrivate = header.m_nPrivateSize > 0;
    std::string publicPem;
    CSecretText privatePem;
    if ((!hasPublic && !hasPrivate) || !ReadBlock(file.Get(), header.m_nPublicSize, publicPem) ||
        !ReadBlock(file.Get(), header.m_nPrivateSize, privatePem.Get()))
        return nullptr;

    auto pair = std::make_unique<CKeyPair>();
    pair->SetGuid(header.m_guid);
    pair->SetCreated(header.m_stamp);
    pair->SetKeyFilePath(g_szKeysFolder + header.m_guid + ".key");
    if (!pair->LoadPem(hasPublic ? &publicPem : nullptr, hasPrivate ? &privatePem.Get() : nullptr))
        return nullptr;
    return pair;
}
