#include "fault/write_paths.h"

#include "crypto/openssl_providers.h"
#include "fault/fault_test_support.h"
#include "support/child_process.h"
#include "support/machine_id_scope.h"
#include "support/scratch_folder.h"
#include "util/file_system.h"
#include "util/temp_file.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <sys/stat.h>

void PrintTo(const SWritePathKind& kind, std::ostream* out)
{
    *out << kind.m_name;
}

namespace {

// Who runs the write: root with or without a write limit, or an unprivileged user (root may
// write in any folder, so a folder can only be closed to somebody else).
enum class ERunAs { Unlimited, WithWriteLimit, OtherUser };

// What the write must leave: the whole new file; the destination folder exactly as it was (the
// old file byte for byte, or still no file, and nothing beside it); or, when the fault removed
// the folder, no folder at all.
enum class EOutcome { NewFile, FolderAsItWas, NoFolder };

// A fault staged around one write.
struct SFault {
    const char* m_name;
    ERunAs m_runAs;
    EOutcome m_outcome;
    // The write limit, from the size of the whole new file.
    std::size_t (*m_writeLimit)(std::size_t newSize) = nullptr;
    // Runs in the writing process at the write path's hook, given the destination folder.
    void (*m_atHook)(const std::string& folder) = nullptr;
    // The temp folder is closed to the other user while the write runs.
    bool m_bTempFolderClosed = false;
};

const SFault kNoFault {
    .m_name = "no fault", .m_runAs = ERunAs::Unlimited, .m_outcome = EOutcome::NewFile};

// A write limit fails a write the way a full disk does. The limits cut the new file at different
// points: its first byte, its middle and its last byte. (A container is cut in its header, in
// the record file that gathers the chunks, and while those are copied behind the key block.)
const SFault kFaults[] = {
    {.m_name = "the disk fills after one byte",
     .m_runAs = ERunAs::WithWriteLimit,
     .m_outcome = EOutcome::FolderAsItWas,
     .m_writeLimit = [](std::size_t) -> std::size_t { return 1; }},
    {.m_name = "the disk fills halfway through the new file",
     .m_runAs = ERunAs::WithWriteLimit,
     .m_outcome = EOutcome::FolderAsItWas,
     .m_writeLimit = [](std::size_t newSize) { return newSize / 2; }},
    {.m_name = "the disk fills one byte short of the new file",
     .m_runAs = ERunAs::WithWriteLimit,
     .m_outcome = EOutcome::FolderAsItWas,
     .m_writeLimit = [](std::size_t newSize) { return newSize - 1; }},
    {.m_name = "the disk holds exactly the new file",
     .m_runAs = ERunAs::WithWriteLimit,
     .m_outcome = EOutcome::NewFile,
     .m_writeLimit = [](std::size_t newSize) { return newSize; }},
    // The control for the two below: the other user may do the write when nothing stops it.
    {.m_name = "no fault, written by the other user",
     .m_runAs = ERunAs::OtherUser,
     .m_outcome = EOutcome::NewFile},
    {.m_name = "the temp folder cannot be written",
     .m_runAs = ERunAs::OtherUser,
     .m_outcome = EOutcome::FolderAsItWas,
     .m_bTempFolderClosed = true},
    {.m_name = "the destination folder turns read-only",
     .m_runAs = ERunAs::OtherUser,
     .m_outcome = EOutcome::FolderAsItWas,
     .m_atHook = [](const std::string& folder) { ::chmod(folder.c_str(), 0500); }},
    {.m_name = "the destination folder vanishes",
     .m_runAs = ERunAs::Unlimited,
     .m_outcome = EOutcome::NoFolder,
     .m_atHook = [](const std::string& folder) { (void)RemoveFolderTree(folder); }},
};

// A file's bytes and permissions, compared whole but printed short in a failure.
struct SFileState {
    std::string m_bytes;
    unsigned m_nMode = 0;
    bool operator==(const SFileState&) const = default;
};

void PrintTo(const SFileState& file, std::ostream* out)
{
    constexpr std::size_t kShown = 24;
    *out << "mode " << std::oct << file.m_nMode << std::dec << ", " << file.m_bytes.size()
         << " bytes " << testing::PrintToString(file.m_bytes.substr(0, kShown))
         << (file.m_bytes.size() > kShown ? "..." : "");
}

// Every file in a folder as it stands.
using FolderSnapshot = std::map<std::string, SFileState>;

FolderSnapshot SnapshotOf(const std::string& folder)
{
    FolderSnapshot snapshot;
    for (const std::string& name : EntriesOf(folder)) {
        const std::string path = folder + "/" + name;
        snapshot[name] = {ReadWholeFile(path), ModeOf(path)};
    }
    return snapshot;
}

// The permissions a new file with access gets: private files are the user's alone, shared ones
// get what the umask gives new files.
unsigned ModeFor(EFileAccess access)
{
    if (access == EFileAccess::Private)
        return 0600;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The names a folder should hold once name has been written into it.
std::vector<std::string> NamesWith(const FolderSnapshot& before, const std::string& name)
{
    std::set<std::string> names {name};
    for (const auto& entry : before)
        names.insert(entry.first);
    return {names.begin(), names.end()};
}

void GiveTreeToOtherUser(const std::string& root)
{
    const auto give = [](const char* path, const struct stat*, int, FTW*) {
        return ::lchown(path, kOtherUserId, kOtherUserId);
    };
    Require(::nftw(root.c_str(), give, 16, FTW_PHYS) == 0, "give " + root + " to another user");
}

// A folder of root's closed to everybody else for the scope's lifetime, then open to all again
// as a scratch temp folder is.
class CClosedFolder {
public:
    explicit CClosedFolder(std::string path) : m_path(std::move(path))
    {
        Require(::chmod(m_path.c_str(), 0755) == 0, "close " + m_path);
    }
    ~CClosedFolder() { ::chmod(m_path.c_str(), 0777); }
    CClosedFolder(const CClosedFolder&) = delete;
    CClosedFolder& operator=(const CClosedFolder&) = delete;

private:
    std::string m_path;
};

// Runs write in a child process as fault says; the write's result.
bool RunWrite(const SFault& fault, std::size_t newSize, const std::function<bool()>& write)
{
    if (fault.m_runAs == ERunAs::WithWriteLimit)
        return RunWithFileSizeLimit(fault.m_writeLimit(newSize), write);
    if (fault.m_runAs == ERunAs::OtherUser)
        return RunAsOtherUser(write);
    return RunInChildProcess(write);
}

class WritePathFaultTest : public testing::TestWithParam<SWritePathKind> {
protected:
    void SetUp() override { ASSERT_TRUE(m_providers.IsReady()) << m_providers.GetError(); }

    // Runs the write under every fault, with temporary files going to temp's temp folder.
    void RunFaultTable(const CScratchFolder& temp)
    {
        const std::size_t newSize = RunCase(kNoFault, temp, 0);
        ASSERT_GT(newSize, 1u);
        for (const SFault& fault : kFaults) {
            SCOPED_TRACE(fault.m_name);
            // Folders can be closed to the write only when the tests run as root.
            if (fault.m_runAs != ERunAs::OtherUser || CanRunAsOtherUser())
                RunCase(fault, temp, newSize);
        }
    }

    // Stages the write path in a fresh folder, writes under fault and checks what is left;
    // returns the size of the file then at the destination. newSize is 0 while still unknown.
    std::size_t RunCase(const SFault& fault, const CScratchFolder& temp, std::size_t newSize)
    {
        const std::string root = MakeFolder(m_scratch / ("run" + std::to_string(++m_nRuns)), 0755);
        const std::unique_ptr<CWritePath> path = GetParam().m_make();
        path->Stage(root);
        const std::string destination = path->Destination();
        const std::string folder = ParentFolderOf(destination);
        const FolderSnapshot before = SnapshotOf(folder);
        if (fault.m_runAs == ERunAs::OtherUser)
            GiveTreeToOtherUser(root);
        std::optional<CClosedFolder> closedTemp;
        if (fault.m_bTempFolderClosed)
            closedTemp.emplace(temp.TempFolder());
        const auto atHook = [&] {
            if (fault.m_atHook)
                fault.m_atHook(folder);
        };
        const bool written = RunWrite(fault, newSize, [&] { return path->Write(atHook); });
        closedTemp.reset();

        EXPECT_EQ(temp.CountTempFiles(), 0) << "temporary files were left behind";
        const std::string content = ReadWholeFile(destination);
        switch (fault.m_outcome) {
        case EOutcome::NewFile:
            EXPECT_TRUE(written);
            EXPECT_TRUE(path->HoldsNewFile());
            if (newSize != 0) {
                EXPECT_EQ(content.size(), newSize) << "the new file is not whole";
            }
            EXPECT_EQ(ModeOf(destination), ModeFor(path->Access()));
            EXPECT_EQ(EntriesOf(folder), NamesWith(before, destination.substr(folder.size() + 1)));
            break;
        case EOutcome::FolderAsItWas:
            EXPECT_FALSE(written);
            EXPECT_EQ(SnapshotOf(folder), before);
            break;
        case EOutcome::NoFolder:
            EXPECT_FALSE(written);
            EXPECT_FALSE(PathExists(folder));
            break;
        }
        return content.size();
    }

    // For the passwords in inet.conf.
    COpenSslProviders m_providers;
    CMachineIdScope m_machineId {kKnownMachineId};
    CScratchFolder m_scratch;
    int m_nRuns = 0;
};

TEST_P(WritePathFaultTest, EndsWithTheOldFileOrTheWholeNewOneAndNoTemporaryFile)
{
    {
        SCOPED_TRACE("temp folder on the destination's file system");
        RunFaultTable(m_scratch);
    }
    const std::unique_ptr<CScratchFolder> otherTemp = ScratchOnAnotherFileSystem(m_scratch);
    if (!otherTemp)
        GTEST_SKIP() << "no second file system for the temp folder";
    SCOPED_TRACE("temp folder on another file system: the file is copied beside the destination");
    RunFaultTable(*otherTemp);
}

INSTANTIATE_TEST_SUITE_P(AllWritePaths, WritePathFaultTest, testing::ValuesIn(AllWritePaths()),
                         [](const auto& info) { return std::string(info.param.m_name); });

struct SMove {
    const char* m_name;
    bool (*m_move)(CTempFile& file, const std::string& destPath, EFileAccess access);
    const char* m_destination;
};

// The copy beside the destination repeats the temp file's bytes, so a write limit that would
// stop it stops the temp file first, and the table above never cuts it short. Here the temp
// file is written before the limit applies: the child process inherits it and moves it.
TEST(CopyBesideTheDestination, CutShortLeavesTheFolderAsItWas)
{
    CScratchFolder destinations;
    const std::unique_ptr<CScratchFolder> temp = ScratchOnAnotherFileSystem(destinations);
    if (!temp)
        GTEST_SKIP() << "no second file system for the temp folder";
    const std::string folder = MakeFolder(destinations / "out", 0755);
    WriteWholeFile(folder + "/existing", "old");
    const FolderSnapshot before = SnapshotOf(folder);
    const std::string content = SampleBytes(100000);

    const SMove moves[] = {{"replace a file", ReplaceFromTempFile, "existing"},
                           {"create a file", CopyTempFileTo, "new"}};
    for (const SMove& move : moves) {
        for (std::size_t limit : {std::size_t {1}, content.size() / 2, content.size() - 1}) {
            SCOPED_TRACE(std::string(move.m_name) + ", limit " + std::to_string(limit));
            const std::string destination = folder + "/" + move.m_destination;
            {
                CTempFile file = NewTempFile();
                ASSERT_TRUE(file && file.Write(content));
                EXPECT_FALSE(RunWithFileSizeLimit(
                    limit, [&] { return move.m_move(file, destination, EFileAccess::Private); }));
            }
            EXPECT_EQ(SnapshotOf(folder), before);
            EXPECT_EQ(temp->CountTempFiles(), 0);
        }
    }
}

} // namespace
