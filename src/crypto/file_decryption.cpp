#include "crypto/file_decryption.h"

#include "crypto/chunk_cipher.h"
#include "crypto/chunk_workers.h"
#include "crypto/file_encryption.h"
#include "crypto/oaep_context.h"
#include "crypto/progress_reporter.h"
#include "util/big_endian.h"
#include "util/failure_reason.h"
#include "util/temp_file.h"

#include <openssl/crypto.h>

#include <algorithm>
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
// Record blocks in flight per worker: enough that a worker finds the next block ready while the
// calling thread writes, few enough that memory stays flat (about 250 KiB a block).
constexpr std::size_t kJobsPerWorker = 3;

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

// Decrypts record blocks, one a job: the job's input holds the block, its output receives the
// plaintext of the block's chunk records.
class CDecryptWork : public IChunkWork {
public:
    CDecryptWork(const SSessionBlock& session, const CKeyPair& keyPair)
        : m_cipher(session.m_abSessionKey, session.m_abIv),
          m_oaep(keyPair.GetKey(), COaepContext::EDirection::Unwrap), m_guid(keyPair.GetGuid())
    {
    }

    bool IsReady(std::string& reason) const
    {
        if (!m_cipher)
            return Fail(reason, "AES-256-CBC is not available");
        if (!m_oaep)
            return Fail(reason, "RSA-OAEP is not available for key pair " + m_guid);
        return true;
    }

    void Run(SChunkJob& job) override
    {
        job.m_output.clear();
        if (!DecryptBlock(job.m_input, job.m_output, job.m_szReason))
            job.m_bFailed = true;
    }

private:
    // Walks the chunk records of one record block. Lengths from the file are summed in 64 bits:
    // H + T of a record can overflow 32.
    bool DecryptBlock(std::span<const unsigned char> records, std::vector<unsigned char>& plain,
                      std::string& reason)
    {
        while (!records.empty()) {
            if (records.size() < kChunkRecordPrefixSize)
                return Fail(reason,
                            "damaged container (chunk record cut short in its record block)");
            const std::uint64_t headSize = ReadU32(records);
            const std::uint64_t tailSize = ReadU32(records.subspan(4));
            records = records.subspan(kChunkRecordPrefixSize);
            if (headSize + tailSize > records.size())
                return Fail(reason,
                            "damaged container (chunk record longer than its record block)");
            if (!m_oaep.Run(records.first(headSize), m_head.Get()) || m_head.Get().empty() ||
                m_head.Get().size() > kMaxHeadPlainSize)
                return Fail(reason, "damaged container (a chunk head does not open with key pair " +
                                        m_guid + ")");
            m_chunk.assign(m_head.Get().begin(), m_head.Get().end());
            const auto tail = records.subspan(headSize, tailSize);
            m_chunk.insert(m_chunk.end(), tail.begin(), tail.end());
            if (!m_cipher.Decrypt(m_chunk, plain))
                return Fail(reason, "damaged container (a chunk does not decrypt)");
            records = records.subspan(headSize + tailSize);
        }
        return true;
    }

    CChunkCipher m_cipher;
    COaepContext m_oaep;
    std::string m_guid;
    // A head's plaintext is the start of a ciphertext, not a secret; the buffer is wiped all the
    // same, like every buffer a private key's result went into.
    CSecretBytes m_head;
    std::vector<unsigned char> m_chunk;
};

// Workers enough for the data section: a small container does not start threads it has no
// record blocks for.
unsigned WorkersFor(std::uint64_t dataSize)
{
    return ChunkWorkerCountFor(dataSize / kMaxRecordBlockSize + 1);
}

// Decrypts the data section into output on the workers. The calling thread reads record blocks
// ahead while jobs are free and otherwise writes the oldest result, in file order. False on
// failure, or when progress asked to stop.
bool DecryptData(CEncryptedFile& container, CChunkWorkers& workers, const CTempFile& output,
                 CProgressReporter& progress, std::string& reason)
{
    std::uint64_t read = 0;
    bool atEnd = false;
    std::string readFailure;
    while (!atEnd || !workers.IsEmpty()) {
        if (!atEnd && !workers.IsFull()) {
            SChunkJob& job = workers.Next();
            job.m_input.resize(kMaxRecordBlockSize);
            const int size = container.ReadBlock(job.m_input);
            if (size < 0)
                readFailure = container.GetErrorText();
            atEnd = size <= 0;
            if (size > 0) {
                job.m_input.resize(static_cast<std::size_t>(size));
                read += 4 + static_cast<std::uint64_t>(size);
                job.m_nDoneAfter = read;
                workers.Submit();
            }
            continue;
        }
        // Behind a read failure, the blocks before it are only checked: a fault in them came
        // first in the file and is the one to tell.
        const SChunkJob& job = workers.Oldest();
        if (job.m_bFailed)
            return Fail(reason, job.m_szReason);
        if (readFailure.empty()) {
            if (!output.Write(std::string_view(reinterpret_cast<const char*>(job.m_output.data()),
                                               job.m_output.size())))
                return Fail(reason, "cannot write the temporary output file: " + ErrnoText());
            if (!progress.Advance(job.m_nDoneAfter))
                return false;
        }
        workers.Release();
    }
    return readFailure.empty() || Fail(reason, readFailure);
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

// Decrypts the data section into a temporary file and puts that at outputPath. The temporary file
// is made only now that the user has chosen where the file goes, so it can lie beside it when the
// temp folder is on another file system and move there without a copy.
EDecryptResult Restore(CEncryptedFile& container, const CKeyPair& keyPair,
                       const SSessionBlock& session, const std::string& outputPath,
                       const timespec& when, const ProgressCallback& callback, std::string& reason)
{
    if (outputPath.empty()) {
        reason = "no output path was given";
        return EDecryptResult::Failed;
    }
    const std::uint64_t dataSize = container.GetBytesLeft();
    std::vector<std::unique_ptr<IChunkWork>> works =
        MakeChunkWorks<CDecryptWork>(WorkersFor(dataSize), reason, session, keyPair);
    if (works.empty())
        return EDecryptResult::Failed;
    CTempFile output = NewTempFileFor(outputPath);
    if (!output) {
        reason = "cannot make a temporary file: " + ErrnoText();
        return EDecryptResult::Failed;
    }
    CProgressReporter progress(callback, dataSize);
    if (!progress.Start())
        return EDecryptResult::Cancelled;
    {
        // Joined before the output goes, whatever happens.
        CChunkWorkers workers(std::move(works), kJobsPerWorker);
        if (!DecryptData(container, workers, output, progress, reason))
            return progress.IsStopped() ? EDecryptResult::Cancelled : EDecryptResult::Failed;
    }
    if (!progress.Finish())
        return EDecryptResult::Cancelled;
    return PlaceOutput(output, outputPath, when, reason) ? EDecryptResult::Decrypted
                                                         : EDecryptResult::Failed;
}

EDecryptResult Decrypt(const std::string& containerPath, const KeyPairFinder& findKeyPair,
                       const OutputNameAsker& askOutputFileName, const ProgressCallback& progress,
                       std::string& reason)
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
    return Restore(container, *keyPair, session, *outputPath, when, progress, reason);
}

} // namespace

EDecryptResult DecryptFile(const std::string& containerPath, const KeyPairFinder& findKeyPair,
                           const OutputNameAsker& askOutputFileName, std::string* errorText,
                           const ProgressCallback& progress)
{
    std::string reason;
    EDecryptResult result = EDecryptResult::Failed;
    // A failing allocation, or a callback that throws, ends the decryption like any other
    // failure; the temporary files go with the unwinding.
    try {
        result = Decrypt(containerPath, findKeyPair, askOutputFileName, progress, reason);
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
