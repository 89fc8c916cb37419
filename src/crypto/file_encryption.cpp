#include "crypto/file_encryption.h"

#include "crypto/chunk_cipher.h"
#include "crypto/chunk_workers.h"
#include "crypto/oaep_context.h"
#include "crypto/progress_reporter.h"
#include "util/big_endian.h"
#include "util/failure_reason.h"
#include "util/unique_fd.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
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
// A job is as many chunks as one record block holds with RSA-2048 heads, so each finished job
// goes out in about one write.
constexpr std::size_t kJobSize = 15 * kChunkSize;
// Jobs in flight per worker: enough that a worker finds the next job ready while the calling
// thread writes, few enough that memory stays flat (about 250 KiB a job).
constexpr std::size_t kJobsPerWorker = 3;
constexpr char kCancelled[] = "the encryption was cancelled";

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
                std::uint64_t& size, std::string& reason)
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
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

// Encrypts the whole chunks in a job's input, the last maybe shorter. For each chunk the output
// receives its head (the RSA-wrapped first ciphertext bytes) and then its tail (the rest of the
// ciphertext); the pieces list holds three sizes per chunk: head, tail and ciphertext.
class CEncryptWork : public IChunkWork {
public:
    CEncryptWork(const SSessionBlock& session, const CPublicKey& recipient)
        : m_cipher(session.m_abSessionKey, session.m_abIv),
          m_oaep(recipient.GetKey(), COaepContext::EDirection::Wrap),
          m_nHeadSize(recipient.GetBlockSize())
    {
    }

    bool IsReady(std::string& reason) const
    {
        if (!m_cipher)
            return Fail(reason, "AES-256-CBC is not available");
        if (!m_oaep || m_nHeadSize < kHeadSize)
            return Fail(reason, "RSA-OAEP is not available for the recipient's key");
        return true;
    }

    void Run(SChunkJob& job) override
    {
        job.m_output.clear();
        job.m_pieces.clear();
        const std::span<const unsigned char> input(job.m_input);
        for (std::size_t at = 0; at < input.size(); at += kChunkSize) {
            const auto chunk = input.subspan(at, std::min(kChunkSize, input.size() - at));
            if (!EncryptChunk(chunk, job))
                return;
        }
    }

private:
    // Appends the chunk's head and tail to the job's output. The ciphertext goes straight to its
    // place, its first bytes where the end of the head will be: the tail is never copied.
    bool EncryptChunk(std::span<const unsigned char> chunk, SChunkJob& job)
    {
        const std::size_t start = job.m_output.size();
        job.m_output.resize(start + m_nHeadSize - kHeadSize);
        if (!m_cipher.Encrypt(chunk, job.m_output))
            return Failed(job, "AES-256-CBC encryption failed");
        const std::size_t cipherSize = job.m_output.size() - (start + m_nHeadSize - kHeadSize);
        const std::size_t plainHeadSize = std::min(cipherSize, kHeadSize);
        std::array<unsigned char, kHeadSize> plainHead {};
        std::copy_n(job.m_output.begin() +
                        static_cast<std::ptrdiff_t>(start + m_nHeadSize - kHeadSize),
                    plainHeadSize, plainHead.begin());
        if (!m_oaep.Run(std::span(plainHead).first(plainHeadSize), m_head) ||
            m_head.size() != m_nHeadSize)
            return Failed(job, "RSA-OAEP encryption of a chunk head failed");
        // A ciphertext shorter than a head's plaintext leaves room to spare in front of it.
        const std::size_t spare = kHeadSize - plainHeadSize;
        std::copy(m_head.begin(), m_head.end(),
                  job.m_output.begin() + static_cast<std::ptrdiff_t>(start + spare));
        job.m_output.erase(job.m_output.begin() + static_cast<std::ptrdiff_t>(start),
                           job.m_output.begin() + static_cast<std::ptrdiff_t>(start + spare));
        job.m_pieces.push_back(m_nHeadSize);
        job.m_pieces.push_back(cipherSize - plainHeadSize);
        job.m_pieces.push_back(cipherSize);
        return true;
    }

    static bool Failed(SChunkJob& job, const char* reason)
    {
        job.m_bFailed = true;
        job.m_szReason = reason;
        return false;
    }

    CChunkCipher m_cipher;
    COaepContext m_oaep;
    // The RSA block's size: OAEP gives blocks exactly as long as the modulus.
    std::size_t m_nHeadSize;
    std::vector<unsigned char> m_head;
};

// Workers enough for the source: a small one does not start threads it has no jobs for.
unsigned WorkersFor(std::uint64_t sourceSize)
{
    return ChunkWorkerCountFor((sourceSize + kJobSize - 1) / kJobSize);
}

// Reads the next job's input; false on a read error. Unlike a short read, a read error is not
// taken for the end of the file: that would make a container of a truncated file.
bool ReadJob(int source, SChunkJob& job, std::uint64_t& done, bool& atEnd, std::string& reason)
{
    job.m_input.resize(kJobSize);
    const long long got = ReadFull(source, job.m_input.data(), job.m_input.size());
    if (got < 0)
        return Fail(reason, "cannot read the source file: " + ErrnoText());
    job.m_input.resize(static_cast<std::size_t>(got));
    atEnd = job.m_input.size() < kJobSize;
    done += job.m_input.size();
    job.m_nDoneAfter = done;
    return true;
}

// Adds a finished job's chunk records to the container; total grows by its ciphertext length.
bool WriteJob(const SChunkJob& job, CEncryptedFile& container, std::uint64_t& total,
              std::string& reason)
{
    if (job.m_bFailed)
        return Fail(reason, job.m_szReason);
    const std::span<const unsigned char> output(job.m_output);
    std::size_t at = 0;
    for (std::size_t i = 0; i + 2 < job.m_pieces.size(); i += 3) {
        const std::size_t headSize = job.m_pieces[i];
        const std::size_t tailSize = job.m_pieces[i + 1];
        if (!container.AddRecord(output.subspan(at, headSize),
                                 output.subspan(at + headSize, tailSize)))
            return Fail(reason, container.GetErrorText());
        at += headSize + tailSize;
        total += job.m_pieces[i + 2];
    }
    return true;
}

// Encrypts the source on the workers into chunk records, in file order; total receives the
// ciphertext length. The calling thread reads ahead while jobs are free and otherwise writes the
// oldest result, so the workers never wait for it longer than one write takes.
bool EncryptChunks(int source, CChunkWorkers& workers, CEncryptedFile& container,
                   CProgressReporter& progress, std::uint64_t& total, std::string& reason)
{
    std::uint64_t read = 0;
    bool atEnd = false;
    while (!atEnd || !workers.IsEmpty()) {
        if (!atEnd && !workers.IsFull()) {
            SChunkJob& job = workers.Next();
            if (!ReadJob(source, job, read, atEnd, reason))
                return false;
            if (!job.m_input.empty())
                workers.Submit();
            continue;
        }
        const SChunkJob& job = workers.Oldest();
        if (!WriteJob(job, container, total, reason))
            return false;
        if (!progress.Advance(job.m_nDoneAfter))
            return Fail(reason, kCancelled);
        workers.Release();
    }
    return true;
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

// The key block's size, known from the recipient's modulus before the first chunk: four records
// of one RSA block each, and the end mark.
std::size_t KeyBlockSize(const CPublicKey& recipient)
{
    return std::size(kSessionPieces) * (4 + recipient.GetBlockSize()) + 4;
}

bool StartContainer(CEncryptedFile& container, const std::string& sourcePath,
                    const std::string& containerPath, const CPublicKey& recipient,
                    const FileTimeRecord& times, std::string& reason)
{
    using EOpenMode = CEncryptedFile::EOpenMode;
    const bool started =
        container.Open(containerPath, EOpenMode::Write) && container.SetSourceName(sourcePath) &&
        container.SetKeyGuid(recipient.GetGuid()) && container.WriteHeader(times) &&
        container.ReserveKeyBlock(KeyBlockSize(recipient));
    return started || Fail(reason, container.GetErrorText());
}

bool Encrypt(const std::string& sourcePath, const std::string& containerPath,
             const CPublicKey& recipient, const ProgressCallback& callback, std::string& reason)
{
    CUniqueFd source;
    FileTimeRecord times;
    std::uint64_t sourceSize = 0;
    if (!CheckRecipient(recipient, reason) ||
        !OpenSource(sourcePath, source, times, sourceSize, reason))
        return false;
    SSessionBlock session;
    if (!GenerateSessionKey(session))
        return Fail(reason, "the random generator failed");
    CProgressReporter progress(callback, sourceSize);
    if (!progress.Start())
        return Fail(reason, kCancelled);

    // Dropped without a successful Close, the container leaves nothing behind. The workers go
    // before it: declared after it, they are joined first on every path.
    CEncryptedFile container;
    std::vector<std::unique_ptr<IChunkWork>> works =
        MakeChunkWorks<CEncryptWork>(WorkersFor(sourceSize), reason, session, recipient);
    if (works.empty())
        return false;
    CChunkWorkers workers(std::move(works), kJobsPerWorker);
    std::uint64_t total = 0;
    std::vector<unsigned char> keyRecords;
    if (!StartContainer(container, sourcePath, containerPath, recipient, times, reason) ||
        !EncryptChunks(source.Get(), workers, container, progress, total, reason))
        return false;
    // Readers do not rely on the total: it is kept modulo 2^32, as the field holds it.
    session.SetTotalLength(static_cast<std::uint32_t>(total));
    if (!MakeKeyRecords(session, recipient, keyRecords, reason))
        return false;
    if (!container.WriteTrailer(keyRecords))
        return Fail(reason, container.GetErrorText());
    if (!progress.Finish())
        return Fail(reason, kCancelled);
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
                 const CPublicKey& recipient, std::string* errorText,
                 const ProgressCallback& progress)
{
    std::string reason;
    // A failing allocation ends the encryption like any other failure; the temporary files go
    // with the unwinding.
    try {
        if (Encrypt(sourcePath, containerPath, recipient, progress, reason))
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
