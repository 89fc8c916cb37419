#include "crypto/file_encryption.h"

#include "crypto/chunk_cipher.h"
#include "util/big_endian.h"
#include "util/failure_reason.h"
#include "util/unique_fd.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <type_traits>
#include <vector>

namespace {

constexpr std::size_t kChunkSize = 8192;
// The ciphertext bytes of a chunk that go into its RSA-wrapped head.
constexpr std::size_t kHeadSize = 16;
// Readers keep one RSA block in 512 bytes: keys up to 4096 bits.
constexpr std::size_t kMaxRsaBlockSize = 512;
constexpr std::size_t kSessionPieces[] = {16, 16, 16, 4};

static_assert(std::is_standard_layout_v<SSessionBlock> &&
                  sizeof(SSessionBlock) == SSessionBlock::kSize,
              "the session block is its 52 bytes, with no padding");

bool CheckRecipient(const CPublicKey& recipient, std::string& reason)
{
    if (recipient.GetKey() == nullptr)
        return Fail(reason, "the recipient's public key holds no key");
    if (!IsKeyGuidText(recipient.GetGuid()))
        return Fail(reason, "the recipient's key GUID is not 32 upper-case hexadecimal digits");
    if (recipient.GetBlockSize() > kMaxRsaBlockSize)
        return Fail(reason, "the recipient's key is longer than 4096 bits");
    return true;
}

bool OpenSource(const std::string& path, CUniqueFd& source, FileTimeRecord& times,
                std::string& reason)
{
    source = CUniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.IsOpen())
        return Fail(reason, "cannot open the source file: " + ErrnoText());
    // The time comes from the file that is read, not from whatever the name points at later.
    struct stat status {};
    if (::fstat(source.Get(), &status) != 0)
        return Fail(reason, "cannot read the source file's time: " + ErrnoText());
    if (!S_ISREG(status.st_mode))
        return Fail(reason, "the source is not a regular file");
    if (!FileTimeFromTimespec(status.st_mtim, times))
        return Fail(reason, "the source file's time lies outside the years 1601 to 30827");
    return true;
}

// Encrypts the source chunk by chunk into chunk records; total receives the ciphertext length.
bool EncryptChunks(int source, CChunkCipher& cipher, const CPublicKey& recipient,
                   CEncryptedFile& container, std::uint64_t& total, std::string& reason)
{
    std::vector<unsigned char> chunk(kChunkSize);
    std::vector<unsigned char> ciphertext;
    std::vector<unsigned char> head;
    ciphertext.reserve(kChunkSize + CChunkCipher::kBlockSize);
    for (;;) {
        // Unlike a short read, a read error is not taken for the end of the file: that would
        // make a container of a truncated file.
        const long long got = ReadFull(source, chunk.data(), chunk.size());
        if (got < 0)
            return Fail(reason, "cannot read the source file: " + ErrnoText());
        if (got == 0)
            return true;
        ciphertext.clear();
        if (!cipher.Encrypt(std::span(chunk).first(static_cast<std::size_t>(got)), ciphertext))
            return Fail(reason, "AES-256-CBC encryption failed");
        const std::size_t headSize = std::min(ciphertext.size(), kHeadSize);
        if (!recipient.WrapBytes(std::span(ciphertext).first(headSize), head))
            return Fail(reason, "RSA-OAEP encryption of a chunk head failed");
        if (!container.AddRecord(head, std::span(ciphertext).subspan(headSize)))
            return Fail(reason, container.GetErrorText());
        total += ciphertext.size();
        if (static_cast<std::size_t>(got) < kChunkSize)
            return true;
    }
}

// The key block's records: each piece of the session block wrapped on its own, length-prefixed.
bool MakeKeyRecords(const SSessionBlock& session, const CPublicKey& recipient,
                    std::vector<unsigned char>& records, std::string& reason)
{
    const std::span<const unsigned char> bytes = session.Bytes();
    std::vector<unsigned char> block;
    std::size_t at = 0;
    for (std::size_t piece : kSessionPieces) {
        if (!recipient.WrapBytes(bytes.subspan(at, piece), block))
            return Fail(reason, "RSA-OAEP encryption of the session key failed");
        const std::size_t start = records.size();
        records.resize(start + 4);
        WriteU32(std::span(records).subspan(start), static_cast<std::uint32_t>(block.size()));
        records.insert(records.end(), block.begin(), block.end());
        at += piece;
    }
    return true;
}

bool StartContainer(CEncryptedFile& container, const std::string& sourcePath,
                    const std::string& containerPath, const CPublicKey& recipient,
                    const FileTimeRecord& times, std::string& reason)
{
    using EOpenMode = CEncryptedFile::EOpenMode;
    const bool started = container.Open(containerPath, EOpenMode::Write) &&
                         container.SetSourceName(sourcePath) &&
                         container.SetKeyGuid(recipient.GetGuid()) &&
                         container.WriteHeader(times) && container.OpenRecordFile();
    return started || Fail(reason, container.GetErrorText());
}

bool Encrypt(const std::string& sourcePath, const std::string& containerPath,
             const CPublicKey& recipient, std::string& reason)
{
    CUniqueFd source;
    FileTimeRecord times;
    if (!CheckRecipient(recipient, reason) || !OpenSource(sourcePath, source, times, reason))
        return false;
    SSessionBlock session;
    if (!GenerateSessionKey(session))
        return Fail(reason, "the random generator failed");
    CChunkCipher cipher(session.m_abSessionKey, session.m_abIv);
    if (!cipher)
        return Fail(reason, "AES-256-CBC is not available");

    // Dropped without a successful Close, the container leaves nothing behind.
    CEncryptedFile container;
    std::uint64_t total = 0;
    std::vector<unsigned char> keyRecords;
    if (!StartContainer(container, sourcePath, containerPath, recipient, times, reason) ||
        !EncryptChunks(source.Get(), cipher, recipient, container, total, reason))
        return false;
    session.SetTotalLength(static_cast<std::uint32_t>(total));
    if (!MakeKeyRecords(session, recipient, keyRecords, reason))
        return false;
    if (!container.WriteTrailer(keyRecords))
        return Fail(reason, container.GetErrorText());
    // Closed before the container takes its place, which may be the source's own.
    source.Close();
    return container.Close() || Fail(reason, container.GetErrorText());
}

} // namespace

SSessionBlock::~SSessionBlock()
{
    OPENSSL_cleanse(this, sizeof *this);
}

void SSessionBlock::SetTotalLength(std::uint32_t length)
{
    WriteU32(m_nTotalLength, length);
}

std::span<const unsigned char, SSessionBlock::kSize> SSessionBlock::Bytes() const
{
    return std::span<const unsigned char, kSize>(reinterpret_cast<const unsigned char*>(this),
                                                 kSize);
}

void SSessionBlock::Assign(std::span<const unsigned char> bytes)
{
    std::memcpy(static_cast<void*>(this), bytes.data(), kSize);
}

bool GenerateSessionKey(SSessionBlock& session)
{
    session.SetTotalLength(0);
    return RAND_bytes(session.m_abSessionKey.data(),
                      static_cast<int>(session.m_abSessionKey.size())) == 1 &&
           RAND_bytes(session.m_abIv.data(), static_cast<int>(session.m_abIv.size())) == 1;
}

bool GetFileLastWriteTime(const std::string& path, FileTimeRecord& times)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && FileTimeFromTimespec(status.st_mtim, times);
}

bool EncryptFile(const std::string& sourcePath, const std::string& containerPath,
                 const CPublicKey& recipient, std::string* errorText)
{
    std::string reason;
    // A failing allocation ends the encryption like any other failure; the temporary files go
    // with the unwinding.
    try {
        if (Encrypt(sourcePath, containerPath, recipient, reason))
            return true;
    } catch (const std::exception& error) {
        reason = std::string("unexpected failure: ") + error.what();
    } catch (...) {
        reason = "unexpected failure";
    }
    if (errorText != nullptr)
        *errorText = reason;
    return false;
}
