// Encryption and decryption on several workers: the same containers as with one, progress and
// cancel through the callback, failures with jobs in flight, and where the work file grows.

#include "crypto/chunk_workers.h"
#include "crypto/container_test_support.h"
#include "crypto/file_decryption.h"
#include "crypto/file_encryption.h"
#include "support/child_process.h"
#include "support/key_test_support.h"
#include "support/scratch_folder.h"
#include "util/big_endian.h"
#include "util/folder_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <limits>

namespace {

constexpr std::size_t kChunk = 8192;
constexpr std::size_t kMiB = 1024 * 1024;

// The number of chunk workers for the scope's lifetime, then one per core again.
class CWorkerCount {
public:
    explicit CWorkerCount(unsigned count) { SetChunkWorkerCount(count); }
    ~CWorkerCount() { SetChunkWorkerCount(0); }
    CWorkerCount(const CWorkerCount&) = delete;
    CWorkerCount& operator=(const CWorkerCount&) = delete;
};

// Sizes around every edge the workers cut at: the chunk, the job of 15 chunks (one record block),
// and runs of several blocks.
const std::size_t kEdgeSizes[] = {0,
                                  1,
                                  kChunk - 1,
                                  kChunk,
                                  kChunk + 1,
                                  15 * kChunk - 1,
                                  15 * kChunk,
                                  15 * kChunk + 1,
                                  16 * kChunk,
                                  45 * kChunk,
                                  100 * kChunk + 3};

// What a container's layout is, apart from its random bytes.
struct SLayout {
    std::vector<std::size_t> m_blockSizes;
    std::vector<std::size_t> m_headSizes;
    std::vector<std::size_t> m_tailSizes;
    bool operator==(const SLayout&) const = default;
};

void PrintTo(const SLayout& layout, std::ostream* out)
{
    *out << layout.m_blockSizes.size() << " blocks, " << layout.m_tailSizes.size() << " chunks";
}

SLayout LayoutOf(const SParsedContainer& parsed)
{
    SLayout layout;
    layout.m_blockSizes = parsed.m_blockSizes;
    for (const SChunkRecord& chunk : parsed.m_chunks) {
        layout.m_headSizes.push_back(chunk.m_head.size());
        layout.m_tailSizes.push_back(chunk.m_tail.size());
    }
    return layout;
}

// The layout the format gives a source of size bytes with RSA-2048 heads: one record per chunk,
// AES-CBC padding to the next whole block, records packed greedily into blocks of 131072 bytes.
SLayout ExpectedLayout(std::size_t size)
{
    SLayout layout;
    std::size_t used = 0;
    for (std::size_t at = 0; at < size; at += kChunk) {
        const std::size_t plain = std::min(kChunk, size - at);
        const std::size_t tail = (plain / 16 + 1) * 16 - 16;
        const std::size_t record = 8 + 256 + tail;
        if (used + record > 131072) {
            layout.m_blockSizes.push_back(used);
            used = 0;
        }
        used += record;
        layout.m_headSizes.push_back(256);
        layout.m_tailSizes.push_back(tail);
    }
    if (used != 0)
        layout.m_blockSizes.push_back(used);
    return layout;
}

EDecryptResult DecryptTo(const std::string& container, const std::string& output,
                         std::string* reason = nullptr, const ProgressCallback& progress = {},
                         int* asked = nullptr)
{
    const OutputNameAsker ask = [output, asked](const std::string&) {
        if (asked != nullptr)
            ++*asked;
        return std::optional<std::string>(output);
    };
    return DecryptFile(container, FinderOf(FirstTestKey()), ask, reason, progress);
}

TEST(ParallelFileCrypto, OneAndManyWorkersWriteTheSameLayoutAndOpenEachOthersContainers)
{
    CScratchFolder scratch;
    const auto recipient = PublicKeyOf(FirstTestKey());
    for (std::size_t size : kEdgeSizes) {
        SCOPED_TRACE("source of " + std::to_string(size) + " bytes");
        const std::string source = RandomBytes(size);
        WriteWholeFile(scratch / "source", source);
        SLayout layouts[2];
        const unsigned workerCounts[2] = {1, 4};
        for (int i = 0; i < 2; ++i) {
            const CWorkerCount workers(workerCounts[i]);
            const std::string container = scratch / ("by" + std::to_string(workerCounts[i]));
            ASSERT_TRUE(EncryptFile(scratch / "source", container, *recipient));
            SParsedContainer parsed;
            ASSERT_TRUE(ParseContainer(ReadWholeFile(container), parsed));
            ASSERT_EQ(parsed.m_keyRecords.size(), 4u);
            layouts[i] = LayoutOf(parsed);
        }
        EXPECT_EQ(layouts[0], ExpectedLayout(size));
        EXPECT_EQ(layouts[1], ExpectedLayout(size));

        // Each container opened by the other worker count.
        for (int i = 0; i < 2; ++i) {
            const CWorkerCount workers(workerCounts[1 - i]);
            std::string reason;
            ASSERT_EQ(DecryptTo(scratch / ("by" + std::to_string(workerCounts[i])),
                                scratch / "restored", &reason),
                      EDecryptResult::Decrypted)
                << reason;
            EXPECT_TRUE(ReadWholeFile(scratch / "restored") == source);
        }
        EXPECT_EQ(scratch.CountTempFiles(), 0);
    }
}

TEST(ParallelFileCrypto, AContainerOfManyWorkersOpensWithTheOpensslToolAlone)
{
    CScratchFolder scratch;
    const CWorkerCount workers(4);
    // 18 chunks in two record blocks.
    const std::string source = RandomBytes(17 * kChunk + 100);
    WriteWholeFile(scratch / "source", source);
    ASSERT_TRUE(EncryptFile(scratch / "source", scratch / "c.enp", *PublicKeyOf(FirstTestKey())));
    SParsedContainer parsed;
    ASSERT_TRUE(ParseContainer(ReadWholeFile(scratch / "c.enp"), parsed));
    ASSERT_EQ(parsed.m_blockSizes.size(), 2u);

    const auto unwrap = [&](const std::string& block) {
        return OpensslFilter(scratch.Path(),
                             "pkeyutl -decrypt -inkey " +
                                 ShellQuoted(FirstTestKey().m_privatePemPath) +
                                 " -pkeyopt rsa_padding_mode:oaep",
                             block);
    };
    std::string session;
    for (const std::string& record : parsed.m_keyRecords)
        session += unwrap(record);
    ASSERT_EQ(session.size(), 52u);
    std::string restored;
    std::uint32_t total = 0;
    for (const SChunkRecord& chunk : parsed.m_chunks) {
        const std::string ciphertext = unwrap(chunk.m_head) + chunk.m_tail;
        total += static_cast<std::uint32_t>(ciphertext.size());
        restored += OpensslFilter(scratch.Path(),
                                  "enc -d -aes-256-cbc -K " + HexOf(session.substr(4, 32)) +
                                      " -iv " + HexOf(session.substr(36, 16)),
                                  ciphertext);
    }
    EXPECT_TRUE(restored == source);
    EXPECT_EQ(ReadU32(session, 0), total);
}

// Records every progress call; asks to stop once done reaches m_nStopAt, and runs m_atHalf once
// on the first call at or past half the total.
struct SProgressLog {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_calls;
    std::uint64_t m_nStopAt = std::numeric_limits<std::uint64_t>::max();
    bool m_bStopped = false;
    int m_nCallsAfterStop = 0;
    std::function<void()> m_atHalf;

    ProgressCallback Get()
    {
        return [this](std::uint64_t done, std::uint64_t total) {
            if (m_bStopped)
                ++m_nCallsAfterStop;
            m_calls.emplace_back(done, total);
            if (m_atHalf && done >= total / 2 && done > 0) {
                m_atHalf();
                m_atHalf = nullptr;
            }
            if (done >= m_nStopAt)
                m_bStopped = true;
            return !m_bStopped;
        };
    }
};

// "" when the calls run from (0, total) to (total, total), never backwards, never with another
// total, and never further apart than maxStep; else what is wrong.
std::string CheckProgress(const SProgressLog& log, std::uint64_t total, std::uint64_t maxStep)
{
    const auto& calls = log.m_calls;
    if (calls.size() < 2)
        return std::to_string(calls.size()) + " calls";
    if (calls.front() != std::pair<std::uint64_t, std::uint64_t>(0, total))
        return "first call (" + std::to_string(calls.front().first) + ", " +
               std::to_string(calls.front().second) + ")";
    if (calls.back() != std::pair<std::uint64_t, std::uint64_t>(total, total))
        return "last call (" + std::to_string(calls.back().first) + ", " +
               std::to_string(calls.back().second) + ")";
    for (std::size_t i = 1; i < calls.size(); ++i) {
        if (calls[i].second != total)
            return "call " + std::to_string(i) + " has total " + std::to_string(calls[i].second);
        if (calls[i].first < calls[i - 1].first)
            return "call " + std::to_string(i) + " goes backwards";
        if (calls[i].first - calls[i - 1].first > maxStep)
            return "call " + std::to_string(i) + " comes " +
                   std::to_string(calls[i].first - calls[i - 1].first) + " bytes after the last";
    }
    return "";
}

TEST(ParallelFileCrypto, ProgressRunsFromZeroToTheTotalInStepsOfAtMostOnePercent)
{
    CScratchFolder scratch;
    const std::size_t size = 16 * kMiB + 5;
    WriteWholeFile(scratch / "source", RandomBytes(size));

    SProgressLog encryptLog;
    std::string reason;
    ASSERT_TRUE(EncryptFile(scratch / "source", scratch / "c.enp", *PublicKeyOf(FirstTestKey()),
                            &reason, encryptLog.Get()))
        << reason;
    EXPECT_EQ(CheckProgress(encryptLog, size, size / 100), "");

    // A decryption counts the container's data section: its record blocks and end mark.
    const std::string container = ReadWholeFile(scratch / "c.enp");
    SParsedContainer parsed;
    ASSERT_TRUE(ParseContainer(container, parsed));
    const std::uint64_t dataSize = container.size() - parsed.m_keyBlockEnd;
    SProgressLog decryptLog;
    ASSERT_EQ(DecryptTo(scratch / "c.enp", scratch / "restored", &reason, decryptLog.Get()),
              EDecryptResult::Decrypted)
        << reason;
    EXPECT_EQ(CheckProgress(decryptLog, dataSize, dataSize / 100), "");

    // An empty source still reports its start and its end.
    WriteWholeFile(scratch / "empty", "");
    SProgressLog emptyLog;
    ASSERT_TRUE(EncryptFile(scratch / "empty", scratch / "e.enp", *PublicKeyOf(FirstTestKey()),
                            &reason, emptyLog.Get()));
    EXPECT_EQ(emptyLog.m_calls,
              (std::vector<std::pair<std::uint64_t, std::uint64_t>> {{0, 0}, {0, 0}}));
}

// Where the temporary files go: the scratch folder's own temp folder, on the destination's file
// system, or one on another file system, which makes the work file grow beside the destination.
enum class ETempFolder { SameFileSystem, OtherFileSystem };

std::string NameOf(ETempFolder where)
{
    return where == ETempFolder::SameFileSystem ? "temp folder on the destination's file system"
                                                : "temp folder on another file system";
}

// A scratch folder with a source, its container, and a destination folder "out" holding one old
// file; the temp folder as asked (null placement when no second file system is to be had).
class CCryptoStage {
public:
    CCryptoStage(ETempFolder where, std::size_t sourceSize)
    {
        if (where == ETempFolder::OtherFileSystem) {
            m_other = ScratchOnAnotherFileSystem(m_scratch);
            if (!m_other)
                return;
        }
        m_source = RandomBytes(sourceSize);
        ::mkdir((m_scratch / "in").c_str(), 0755);
        ::mkdir((m_scratch / "out").c_str(), 0755);
        WriteWholeFile(m_scratch / "in/source", m_source);
        ::chmod((m_scratch / "in/source").c_str(), 0644);
        EXPECT_TRUE(EncryptFile(m_scratch / "in/source", m_scratch / "in/c.enp",
                                *PublicKeyOf(FirstTestKey())));
        ::chmod((m_scratch / "in/c.enp").c_str(), 0644);
        m_container = ReadWholeFile(m_scratch / "in/c.enp");
        WriteWholeFile(m_scratch / "out/old", "old content");
        m_bReady = true;
    }

    bool IsReady() const { return m_bReady; }
    std::string Source() const { return m_scratch / "in/source"; }
    std::string Container() const { return m_scratch / "in/c.enp"; }
    std::string OutFolder() const { return m_scratch / "out"; }
    std::string Old() const { return m_scratch / "out/old"; }
    const std::string& SourceBytes() const { return m_source; }
    const std::string& ContainerBytes() const { return m_container; }
    const CScratchFolder& Scratch() const { return m_scratch; }

    // "" when the destination folder holds just the old file as it was and no temp folder holds
    // anything; else what is left.
    std::string LeftAsItWas() const
    {
        if (EntriesOf(OutFolder()) != std::vector<std::string> {"old"})
            return "the destination folder holds " + std::to_string(EntriesOf(OutFolder()).size()) +
                   " entries";
        if (ReadWholeFile(Old()) != "old content")
            return "the old file changed";
        if (m_scratch.CountTempFiles() != 0 || (m_other && m_other->CountTempFiles() != 0))
            return "a temporary file is left";
        return "";
    }

private:
    CScratchFolder m_scratch;
    std::unique_ptr<CScratchFolder> m_other;
    std::string m_source;
    std::string m_container;
    bool m_bReady = false;
};

struct SCancelCase {
    bool m_bEncrypt;
    double m_dFraction; // of the total at which the callback asks to stop
};

TEST(ParallelFileCrypto, CancelledThroughTheCallbackLeavesNoOutputAndNoTemporaryFile)
{
    const SCancelCase cases[] = {{true, 0},  {true, 0.5},  {true, 1},
                                 {false, 0}, {false, 0.5}, {false, 1}};
    for (ETempFolder where : {ETempFolder::SameFileSystem, ETempFolder::OtherFileSystem}) {
        for (const SCancelCase& test : cases) {
            SCOPED_TRACE(NameOf(where) + (test.m_bEncrypt ? ", encryption" : ", decryption") +
                         " stopped at " + std::to_string(test.m_dFraction));
            CCryptoStage stage(where, 4 * kMiB + 7);
            if (!stage.IsReady())
                GTEST_SKIP() << "no second file system for the temp folder";
            const std::uint64_t total =
                test.m_bEncrypt ? stage.SourceBytes().size() : stage.ContainerBytes().size() - [&] {
                    SParsedContainer parsed;
                    EXPECT_TRUE(ParseContainer(stage.ContainerBytes(), parsed));
                    return parsed.m_keyBlockEnd;
                }();
            SProgressLog log;
            log.m_nStopAt = static_cast<std::uint64_t>(test.m_dFraction * total);
            std::string reason = "untouched";
            if (test.m_bEncrypt) {
                EXPECT_FALSE(EncryptFile(stage.Source(), stage.Old(), *PublicKeyOf(FirstTestKey()),
                                         &reason, log.Get()));
                EXPECT_NE(reason.find("cancelled"), std::string::npos) << reason;
            } else {
                EXPECT_EQ(DecryptTo(stage.Container(), stage.Old(), &reason, log.Get()),
                          EDecryptResult::Cancelled);
                EXPECT_EQ(reason, "untouched");
            }
            EXPECT_TRUE(log.m_bStopped);
            EXPECT_EQ(log.m_nCallsAfterStop, 0);
            if (test.m_dFraction == 0.5) {
                // Stopped in the middle, not at either end.
                EXPECT_LT(log.m_calls.back().first, total);
                EXPECT_GT(log.m_calls.size(), 2u);
            }
            EXPECT_EQ(stage.LeftAsItWas(), "");
        }
    }
}

TEST(ParallelFileCrypto, TheWorkFileIsPrivateAndGrowsBesideTheDestinationOnlyWhenItMust)
{
    for (ETempFolder where : {ETempFolder::SameFileSystem, ETempFolder::OtherFileSystem}) {
        for (bool encrypt : {true, false}) {
            SCOPED_TRACE(NameOf(where) + (encrypt ? ", encryption" : ", decryption"));
            CCryptoStage stage(where, 2 * kMiB);
            if (!stage.IsReady())
                GTEST_SKIP() << "no second file system for the temp folder";
            std::vector<std::string> outDuring;
            std::vector<std::string> tempDuring;
            std::vector<unsigned> workFileModes;
            std::string oldDuring;
            SProgressLog log;
            log.m_atHalf = [&] {
                outDuring = EntriesOf(stage.OutFolder());
                tempDuring = EntriesOf(g_szTempFolder);
                for (const std::string& name : outDuring) {
                    if (name != "old")
                        workFileModes.push_back(ModeOf(stage.OutFolder() + "/" + name));
                }
                for (const std::string& name : tempDuring)
                    workFileModes.push_back(ModeOf(g_szTempFolder + name));
                oldDuring = ReadWholeFile(stage.Old());
            };
            std::string reason;
            if (encrypt) {
                ASSERT_TRUE(EncryptFile(stage.Source(), stage.Old(), *PublicKeyOf(FirstTestKey()),
                                        &reason, log.Get()))
                    << reason;
            } else {
                ASSERT_EQ(DecryptTo(stage.Container(), stage.Old(), &reason, log.Get()),
                          EDecryptResult::Decrypted)
                    << reason;
                EXPECT_TRUE(ReadWholeFile(stage.Old()) == stage.SourceBytes());
                EXPECT_EQ(ModeOf(stage.Old()), 0600u);
            }
            ASSERT_EQ(outDuring.size() + tempDuring.size(), 2u);
            if (where == ETempFolder::SameFileSystem) {
                EXPECT_TRUE(tempDuring.size() == 1 && tempDuring[0].rfind("tmp", 0) == 0);
            } else {
                EXPECT_TRUE(tempDuring.empty());
                EXPECT_TRUE(outDuring.size() == 2 && outDuring[0].rfind(".tmp", 0) == 0);
            }
            // The old file stays as it was until the end, and the work file is private.
            EXPECT_EQ(oldDuring, "old content");
            EXPECT_EQ(workFileModes, std::vector<unsigned> {0600});
            EXPECT_EQ(EntriesOf(stage.OutFolder()), std::vector<std::string> {"old"});
            EXPECT_EQ(stage.Scratch().CountTempFiles(), 0);
            EXPECT_TRUE(EntriesOf(g_szTempFolder).empty());
        }
    }
}

struct SDeepDamage {
    const char* m_what;
    std::string m_fault;
};

// container with the damage done to its middle chunk record or record block.
std::string DamagedInTheMiddle(const std::string& container, const std::string& what)
{
    SParsedContainer parsed;
    EXPECT_TRUE(ParseContainer(container, parsed));
    const SChunkRecord& chunk = parsed.m_chunks.at(parsed.m_chunks.size() / 2);
    const std::size_t block = parsed.m_blockOffsets.at(parsed.m_blockOffsets.size() / 2);
    std::string damaged = container;
    if (what == std::string("head_flipped"))
        damaged[chunk.m_offset + 8 + 100] ^= 0x5A;
    else if (what == std::string("padding_broken"))
        damaged[chunk.m_offset + 8 + chunk.m_head.size() + chunk.m_tail.size() - 17] ^= 0x01;
    else if (what == std::string("chunk_longer_than_block"))
        damaged = PatchedU32(damaged, chunk.m_offset + 4, 0x00100000);
    else if (what == std::string("block_131073"))
        damaged = PatchedU32(damaged, block, 131073);
    else if (what == std::string("cut_short"))
        damaged.resize(block + 1000);
    else
        ADD_FAILURE() << "no damage " << what;
    return damaged;
}

TEST(ParallelFileCrypto, DamageDeepInABigContainerFailsCleanlyWithWorkersInFlight)
{
    const SDeepDamage damages[] = {
        {"head_flipped", "a chunk head does not open"},
        {"padding_broken", "a chunk does not decrypt"},
        {"chunk_longer_than_block", "chunk record longer than its record block"},
        {"block_131073", "record block longer than 131072 bytes"},
        {"cut_short", "cut short in the data section"},
    };
    const CWorkerCount workers(4);
    for (ETempFolder where : {ETempFolder::SameFileSystem, ETempFolder::OtherFileSystem}) {
        // About 26 record blocks; the damage lies in the 13th.
        CCryptoStage stage(where, 3 * kMiB + 5);
        if (!stage.IsReady())
            GTEST_SKIP() << "no second file system for the temp folder";
        for (const SDeepDamage& damage : damages) {
            SCOPED_TRACE(NameOf(where) + ", " + damage.m_what);
            WriteWholeFile(stage.Container(),
                           DamagedInTheMiddle(stage.ContainerBytes(), damage.m_what));
            std::string reason;
            int asked = 0;
            SProgressLog log;
            EXPECT_EQ(DecryptTo(stage.Container(), stage.Old(), &reason, log.Get(), &asked),
                      EDecryptResult::Failed);
            EXPECT_NE(reason.find(damage.m_fault), std::string::npos) << reason;
            EXPECT_EQ(asked, 1);
            // Work was done before the damage was met, and the end was never reported.
            ASSERT_FALSE(log.m_calls.empty());
            EXPECT_GT(log.m_calls.back().first, 0u);
            EXPECT_LT(log.m_calls.back().first, log.m_calls.back().second);
            EXPECT_EQ(stage.LeftAsItWas(), "");
        }
    }
}

TEST(ParallelFileCrypto, ADestinationFolderClosedToTheUserFailsCleanly)
{
    if (!CanRunAsOtherUser())
        GTEST_SKIP() << "needs root to run a step as another user";
    // On the destination's file system, the work file lies in the temp folder and only its
    // rename is refused; on another, it cannot be made beside the destination, falls back to
    // the temp folder, and its copy is refused.
    for (ETempFolder where : {ETempFolder::SameFileSystem, ETempFolder::OtherFileSystem}) {
        SCOPED_TRACE(NameOf(where));
        CCryptoStage stage(where, 300 * 1024);
        if (!stage.IsReady())
            GTEST_SKIP() << "no second file system for the temp folder";
        const auto recipient = PublicKeyOf(FirstTestKey());
        const KeyPairFinder finder = FinderOf(FirstTestKey());
        EXPECT_TRUE(RunAsOtherUser([&] {
            std::string reason;
            return !EncryptFile(stage.Source(), stage.Old(), *recipient, &reason) &&
                   reason.find("cannot put the container") != std::string::npos;
        }));
        EXPECT_EQ(stage.LeftAsItWas(), "");
        EXPECT_TRUE(RunAsOtherUser([&] {
            std::string reason;
            const OutputNameAsker ask = [&](const std::string&) { return stage.Old(); };
            return DecryptFile(stage.Container(), finder, ask, &reason) == EDecryptResult::Failed &&
                   reason.find("cannot put the restored file") != std::string::npos;
        }));
        EXPECT_EQ(stage.LeftAsItWas(), "");
    }
}

} // namespace
