#include "crypto/file_decryption.h"

#include "crypto/chunk_cipher.h"
#include "crypto/file_encryption.h"
#include "util/big_endian.h"
#include "util/failure_reason.h"
#include "util/temp_file.h"

#include <openssl/crypto.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace {

// The unwrapped session data and a chunk head's plaintext each fit 128 bytes; a container whose
// pieces are longer was not written by this program's format.
constexpr std::size_t kMaxSessionSize = 128;
constexpr std::size_t kMaxHeadPlainSize = 128;
constexpr std::size_t kMaxFileNameBytes = NAME_MAX;
constexpr char kFallbackName[] = "decrypted";

// Bytes that held key material are wiped before their memory goes back.
class CSecretBytes {
public:
    ~CSecretBytes() { OPENSSL_cleanse(m_bytes.data(), m_bytes.size()); }
    std::vector<unsigned char>& Get() { return m_bytes; }

private:
    std::vector<unsigned char> m_bytes;
};

std::string TimeText(const FileTimeRecord& t)
{
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.m_nYear, t.m_nMonth,
                  t.m_nDay, t.m_nHour, t.m_nMinute, t.m_nSecond, t.m_nMillisecond);
    return text;
}

std::string LastComponent(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name that can be joined to a folder as it is and names a file in it.
bool IsUsableFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.size() <= kMaxFileNameBytes &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// The header's name is the sender's word, not ours: only its last component is proposed, and
// a name that still is no file name gives way to the container's own name.
std::string ProposedOutputName(const std::string& headerName, const std::string& containerPath)
{
    const std::string name = LastComponent(headerName);
    if (IsUsableFileName(name))
        return name;
    std::string fallback = LastComponent(containerPath);
    constexpr std::string_view kExtension = ".enp";
    if (fallback.size() >= kExtension.size() &&
        strncasecmp(fallback.c_str() + fallback.size() - kExtension.size(), kExtension.data(),
                    kExtension.size()) == 0)
        fallback.resize(fallback.size() - kExtension.size());
    return IsUsableFileName(fallback) ? fallback : kFallbackName;
}

bool ReadSession(CEncryptedFile& container, const CKeyPair& keyPair, SSessionBlock& session,
                 std::string& reason)
{
    std::vector<unsigned char> record(kMaxKeyRecordSize);
    CSecretBytes piece;
    CSecretBytes bytes;
    for (;;) {
        const int size = container.ReadKeyRecord(record);
        if (size < 0)
            return Fail(reason, container.GetErrorText());
        if (size == 0)
            break;
        if (!keyPair.UnwrapBytes(std::span(record).first(static_cast<std::size_t>(size)),
                                 piece.Get()) ||
            piece.Get().empty())
            return Fail(reason, "the key block does not open with key pair " + keyPair.GetGuid() +
                                    " (damaged, or made for another key)");
        if (bytes.Get().size() + piece.Get().size() > kMaxSessionSize)
            return Fail(reason, "damaged container (session data longer than 128 bytes)");
        bytes.Get().insert(bytes.Get().end(), piece.Get().begin(), piece.Get().end());
    }
    if (bytes.Get().size() < SSessionBlock::kSize)
        return Fail(reason, "damaged container (session data shorter than 52 bytes)");
    session.Assign(bytes.Get());
    return true;
}

// Decrypts the chunk records of one record block, appending their plaintext to plain. Lengths
// from the file are summed in 64 bits: H + T of a record can overflow 32.
bool DecryptBlock(std::span<const unsigned char> records, const CKeyPair& keyPair,
                  CChunkCipher& cipher, std::vector<unsigned char>& plain, std::string& reason)
{
    std::vector<unsigned char> head;
    std::vector<unsigned char> chunk;
    while (!records.empty()) {
        if (records.size() < kChunkRecordPrefixSize)
            return Fail(reason, "damaged container (chunk record cut short in its record block)");
        const std::uint64_t headSize = ReadU32(records);
        const std::uint64_t tailSize = ReadU32(records.subspan(4));
        records = records.subspan(kChunkRecordPrefixSize);
        if (headSize + tailSize > records.size())
            return Fail(reason, "damaged container (chunk record longer than its record block)");
        if (!keyPair.UnwrapBytes(records.first(headSize), head) || head.empty() ||
            head.size() > kMaxHeadPlainSize)
            return Fail(reason, "damaged container (a chunk head does not open with key pair " +
                                    keyPair.GetGuid() + ")");
        chunk.assign(head.begin(), head.end());
        const auto tail = records.subspan(headSize, tailSize);
        chunk.insert(chunk.end(), tail.begin(), tail.end());
        if (!cipher.Decrypt(chunk, plain))
            return Fail(reason, "damaged container (a chunk does not decrypt)");
        records = records.subspan(headSize + tailSize);
    }
    return true;
}

// Decrypts the data section into output, one record block at a time.
bool DecryptData(CEncryptedFile& container, const CKeyPair& keyPair, CChunkCipher& cipher,
                 const CTempFile& output, std::string& reason)
{
    std::vector<unsigned char> block(kMaxRecordBlockSize);
    std::vector<unsigned char> plain;
    plain.reserve(kMaxRecordBlockSize);
    for (;;) {
        const int size = container.ReadBlock(block);
        if (size < 0)
            return Fail(reason, container.GetErrorText());
        if (size == 0)
            return true;
        plain.clear();
        if (!DecryptBlock(std::span(block).first(static_cast<std::size_t>(size)), keyPair, cipher,
                          plain, reason))
            return false;
        if (!output.Write(
                std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size())))
            return Fail(reason, "cannot write the temporary output file: " + ErrnoText());
    }
}

// Writes the restored file at outputPath: the time goes onto the temporary file first, so the
// file takes its place complete, time included, in one step.
bool PlaceOutput(CTempFile& output, const std::string& outputPath, const timespec& when,
                 std::string& reason)
{
    const timespec both[2] = {when, when};
    if (::futimens(output.GetFd(), both) != 0)
        return Fail(reason, "cannot set the restored file's time: " + ErrnoText());
    if (!ReplaceFromTempFile(output, outputPath))
        return Fail(reason, "cannot put the restored file at " + outputPath + ": " + ErrnoText());
    return true;
}

// Everything up to and including the unwrapped key block: no question is asked before this
// has succeeded.
bool OpenContainer(const std::string& containerPath, const KeyPairFinder& findKeyPair,
                   CEncryptedFile& container, FileTimeRecord& times, timespec& when,
                   std::unique_ptr<CKeyPair>& keyPair, SSessionBlock& session, std::string& reason)
{
    if (!container.Open(containerPath, CEncryptedFile::EOpenMode::Read) ||
        !container.ReadHeader(times))
        return Fail(reason, container.GetErrorText());
    // Checked now rather than after the whole data section, when the answer is already spent.
    if (!FileTimeToTimespec(times, when))
        return Fail(reason,
                    "damaged container (file time " + TimeText(times) + " is no valid moment)");
    const std::string guid = container.GetKeyGuid();
    if (!IsKeyGuidText(guid))
        return Fail(reason, "damaged container (key GUID is not 32 upper-case hexadecimal digits)");
    keyPair = findKeyPair ? findKeyPair(guid) : nullptr;
    if (!keyPair)
        return Fail(reason, "no key pair for key " + guid);
    return ReadSession(container, *keyPair, session, reason);
}

// Decrypts the data section into a temporary file and puts that at outputPath.
bool Restore(CEncryptedFile& container, const CKeyPair& keyPair, const SSessionBlock& session,
             const std::string& outputPath, const timespec& when, std::string& reason)
{
    if (outputPath.empty())
        return Fail(reason, "no output path was given");
    CChunkCipher cipher(session.m_abSessionKey, session.m_abIv);
    if (!cipher)
        return Fail(reason, "AES-256-CBC is not available");
    CTempFile output = NewTempFile();
    if (!output)
        return Fail(reason, "cannot make a temporary file: " + ErrnoText());
    return DecryptData(container, keyPair, cipher, output, reason) &&
           PlaceOutput(output, outputPath, when, reason);
}

EDecryptResult Decrypt(const std::string& containerPath, const KeyPairFinder& findKeyPair,
                       const OutputNameAsker& askOutputFileName, std::string& reason)
{
    CEncryptedFile container;
    FileTimeRecord times;
    timespec when {};
    std::unique_ptr<CKeyPair> keyPair;
    SSessionBlock session;
    if (!OpenContainer(containerPath, findKeyPair, container, times, when, keyPair, session,
                       reason))
        return EDecryptResult::Failed;
    if (!askOutputFileName) {
        reason = "no way to ask for the output path";
        return EDecryptResult::Failed;
    }
    const std::optional<std::string> outputPath =
        askOutputFileName(ProposedOutputName(container.GetName(), containerPath));
    if (!outputPath)
        return EDecryptResult::Cancelled;
    if (!Restore(container, *keyPair, session, *outputPath, when, reason))
        return EDecryptResult::Failed;
    return EDecryptResult::Decrypted;
}

} // namespace

EDecryptResult DecryptFile(const std::string& containerPath, const KeyPairFinder& findKeyPair,
                           const OutputNameAsker& askOutputFileName, std::string* errorText)
{
    std::string reason;
    EDecryptResult result = EDecryptResult::Failed;
    // A failing allocation, or a callback that throws, ends the decryption like any other
    // failure; the temporary files go with the unwinding.
    try {
        result = Decrypt(containerPath, findKeyPair, askOutputFileName, reason);
    } catch (const std::exception& error) {
        reason = std::string("unexpected failure: ") + error.what();
    } catch (...) {
        reason = "unexpected failure";
    }
    if (result == EDecryptResult::Failed && errorText != nullptr)
        *errorText = reason;
    return result;
}

bool SetFileTimes(const std::string& path, const FileTimeRecord& times)
{
    timespec when {};
    if (!FileTimeToTimespec(times, when))
        return false;
    const timespec both[2] = {when, when};
    return ::utimensat(AT_FDCWD, path.c_str(), both, 0) == 0;
}
