#include "crypto/file_encryption.h"
#include "fault/fault_test_support.h"
#include "support/scratch_folder.h"
#include "util/file_system.h"
#include "util/folder_paths.h"
#include "util/unique_fd.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <random>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kKillsPerFile = 75;
// A kill lands up to this long after the saver is ready: several whole saves of any of the files.
constexpr int kMaxDelayMicroseconds = 20000;

// The saver program, started for one kill. Construction returns once it is ready, so the kill
// lands among its saves; it is killed by its process id at the latest when the object goes.
class CSaverProcess {
public:
    explicit CSaverProcess(const std::vector<std::string>& arguments);
    ~CSaverProcess() { (void)Kill(); }
    CSaverProcess(const CSaverProcess&) = delete;
    CSaverProcess& operator=(const CSaverProcess&) = delete;

    // Kills it now; true when it was still saving, false when it had ended on its own.
    bool Kill();

private:
    pid_t m_pid = -1;
};

CSaverProcess::CSaverProcess(const std::vector<std::string>& arguments)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    CUniqueFd readEnd(ends[0]);
    CUniqueFd writeEnd(ends[1]);
    std::vector<char*> argv {const_cast<char*>(PELLMAR_CRASH_SAVER)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        // The saver must not outlive a test process that crashes or is killed.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent ||
            ::dup2(writeEnd.Get(), STDOUT_FILENO) < 0)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    writeEnd.Close();
    std::string line;
    char c = 0;
    while (ReadFull(readEnd.Get(), &c, 1) == 1 && c != '\n')
        line += c;
    if (line != "ready") {
        (void)Kill();
        throw std::runtime_error("the saver did not get ready");
    }
}

bool CSaverProcess::Kill()
{
    if (m_pid <= 0)
        return false;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// A file the saver writes over and over, alternating between two contents A and B.
class CCrashTarget {
public:
    virtual ~CCrashTarget() = default;
    virtual std::vector<std::string> SaverArguments() const = 0;
    virtual std::string Path() const = 0;
    // Puts A back before the next saver starts, for a saver that builds B from the file it finds.
    virtual void StartOver() const {}
    // 'A' or 'B' for the content the file holds, as the program reads it next; '?' for
    // anything else.
    virtual char ContentNow() const = 0;
};

// A list file: A holds every entry but the last, B all of them.
template <class TList, class TEntry> class CListTarget : public CCrashTarget {
public:
    CListTarget(const char* kind, const std::string& root, const std::vector<TEntry>& entries)
    {
        m_folder = MakeFolder(root + "/data", 0700);
        TList list;
        Require(list.Load(m_folder), "load the list in " + m_folder);
        for (std::size_t i = 0; i + 1 < entries.size(); ++i)
            Require(list.InsertAt(-1, entries[i]), "save list A");
        m_path = list.GetPath();
        m_a = ReadWholeFile(m_path);
        m_textsA = TextsOf(list);
        Require(list.InsertAt(-1, entries.back()), "save list B");
        m_b = ReadWholeFile(m_path);
        m_textsB = TextsOf(list);
        m_arguments = {kind, g_szTempFolder, m_folder, entries.back().GetName(),
                       entries.back().GetSecondText()};
    }

    std::vector<std::string> SaverArguments() const override { return m_arguments; }
    std::string Path() const override { return m_path; }
    void StartOver() const override { WriteWholeFile(m_path, m_a); }
    char ContentNow() const override
    {
        const std::string bytes = ReadWholeFile(m_path);
        if (bytes != m_a && bytes != m_b)
            return '?';
        const bool isA = bytes == m_a;
        TList loaded;
        if (!loaded.Load(m_folder) || TextsOf(loaded) != (isA ? m_textsA : m_textsB))
            return '?';
        return isA ? 'A' : 'B';
    }

private:
    std::string m_folder;
    std::string m_path;
    std::string m_a;
    std::string m_b;
    EntryTexts m_textsA;
    EntryTexts m_textsB;
    std::vector<std::string> m_arguments;
};

// A container of source A or source B, of different sizes. It starts as A's.
class CContainerTarget : public CCrashTarget {
public:
    explicit CContainerTarget(const std::string& root)
        : m_a(SampleBytes(10000)), m_b(SampleBytes(30000))
    {
        const std::string in = MakeFolder(root + "/in", 0755);
        m_folder = MakeFolder(root + "/out", 0755);
        m_check = MakeFolder(root + "/check", 0755) + "/restored";
        WriteWholeFile(in + "/a.doc", m_a);
        WriteWholeFile(in + "/b.doc", m_b);
        const std::unique_ptr<CPublicKey> recipient = PublicHalfOfSharedKeyPair();
        Require(recipient->SaveFile(in + "/recipient.pub"), "the public key file");
        Require(EncryptFile(in + "/a.doc", Path(), *recipient), "container A");
        m_arguments = {"container", g_szTempFolder, in + "/recipient.pub",
                       Path(),      in + "/a.doc",  in + "/b.doc"};
    }

    std::vector<std::string> SaverArguments() const override { return m_arguments; }
    std::string Path() const override { return m_folder + "/report.enp"; }
    char ContentNow() const override
    {
        const std::optional<std::string> restored = RestoredFrom(Path(), m_check);
        return restored == m_a ? 'A' : restored == m_b ? 'B' : '?';
    }

private:
    std::string m_a;
    std::string m_b;
    std::string m_folder;
    std::string m_check;
    std::vector<std::string> m_arguments;
};

std::unique_ptr<CCrashTarget> MakeDestinationListTarget(const std::string& root)
{
    return std::make_unique<CListTarget<CDestinationList, CDestination>>("dest", root,
                                                                         SampleDestinations());
}

std::unique_ptr<CCrashTarget> MakeKeyPairListTarget(const std::string& root)
{
    return std::make_unique<CListTarget<CKeyPairList, CKeyPairOfConf>>("keys", root,
                                                                       SampleKeyPairEntries());
}

std::unique_ptr<CCrashTarget> MakeContainerTarget(const std::string& root)
{
    return std::make_unique<CContainerTarget>(root);
}

struct SCrashCase {
    const char* m_name;
    std::unique_ptr<CCrashTarget> (*m_make)(const std::string& root);
    // Then every save copies the file into a new one beside it before it takes its place.
    bool m_bTempOnAnotherFileSystem;
    // A private file's temporary files stay private when left behind; a shared one's are
    // given the shared permissions just before they take its place.
    EFileAccess m_access;
};

void PrintTo(const SCrashCase& crashCase, std::ostream* out)
{
    *out << crashCase.m_name;
}

const SCrashCase kCrashCases[] = {
    {"DestConf", MakeDestinationListTarget, false, EFileAccess::Private},
    {"KeysConf", MakeKeyPairListTarget, false, EFileAccess::Private},
    {"Container", MakeContainerTarget, false, EFileAccess::Shared},
    {"ContainerWithTempOnAnotherFileSystem", MakeContainerTarget, true, EFileAccess::Shared},
};

class CrashSafetyTest : public testing::TestWithParam<SCrashCase> {};

// Counts what a killed saver left in folder besides the file named kept: the temporary files
// it was writing, for a killed process cannot clean up. Each must carry prefix, the name the
// program gives those files, and stay private when it may hold secrets.
std::size_t CountLeftovers(const std::string& folder, const std::string& kept,
                           const std::string& prefix, EFileAccess access)
{
    std::vector<std::string> names = EntriesOf(folder);
    std::erase(names, kept);
    for (const std::string& name : names) {
        EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
        if (access == EFileAccess::Private) {
            EXPECT_EQ(ModeOf(folder + "/" + name), 0600u) << name << " is not private";
        }
    }
    return names.size();
}

TEST_P(CrashSafetyTest, AfterEveryKillTheFileIsOneWholeContent)
{
    CScratchFolder scratch;
    std::unique_ptr<CScratchFolder> otherTemp;
    if (GetParam().m_bTempOnAnotherFileSystem) {
        otherTemp = ScratchOnAnotherFileSystem(scratch);
        if (!otherTemp)
            GTEST_SKIP() << "no second file system for the temp folder";
    }
    const CScratchFolder& temp = otherTemp ? *otherTemp : scratch;
    const std::unique_ptr<CCrashTarget> target = GetParam().m_make(scratch.Path());
    const unsigned seed = std::random_device {}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, kMaxDelayMicroseconds);

    std::map<char, int> found;
    for (int kill = 1; kill <= kKillsPerFile; ++kill) {
        target->StartOver();
        CSaverProcess saver(target->SaverArguments());
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ASSERT_TRUE(saver.Kill()) << "the saver ended on its own, so a save failed (kill " << kill
                                  << ")";
        const char content = target->ContentNow();
        ASSERT_NE(content, '?') << "after kill " << kill << " the file is neither A nor B whole";
        ++found[content];
    }

    const std::string folder = ParentFolderOf(target->Path());
    const std::size_t beside = CountLeftovers(folder, target->Path().substr(folder.size() + 1),
                                              ".tmp", GetParam().m_access);
    if (!GetParam().m_bTempOnAnotherFileSystem) {
        EXPECT_EQ(beside, 0u);
    }
    const std::size_t inTemp = CountLeftovers(temp.TempFolder(), "", "tmp", GetParam().m_access);
    std::cout << "[ figures  ] " << kKillsPerFile << " kills: " << found['A'] << " A, "
              << found['B'] << " B; temporary files left: " << inTemp << " in the temp folder, "
              << beside << " beside the file\n";
}

INSTANTIATE_TEST_SUITE_P(SavedFiles, CrashSafetyTest, testing::ValuesIn(kCrashCases),
                         [](const auto& info) { return std::string(info.param.m_name); });

} // namespace
