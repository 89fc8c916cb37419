// The `pellmar` command on a terminal: the real program runs on a pseudo-terminal, as in a shell
// window, and the test reads the screen and types Ctrl-C the way a user would.
#include "support/run_program.h"
#include "support/scratch_folder.h"
#include "util/unique_fd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the program are bounded so a fault fails the test instead of hanging it.
constexpr auto kPatience = std::chrono::seconds(120);

// The real `pellmar` on the slave side of a pseudo-terminal (its stdin, stdout and stderr, and its
// controlling terminal, so the Ctrl-C character typed on it sends SIGINT). Everything it writes
// is collected. The program is killed and reaped when the object goes, whatever the outcome.
class CTerminalProgram {
public:
    CTerminalProgram(const std::vector<std::string>& arguments, const std::string& folder,
                     const std::string& dataHome, unsigned short columns)
    {
        winsize size {};
        size.ws_row = 24;
        size.ws_col = columns;
        int master = -1;
        m_pid = ::forkpty(&master, nullptr, nullptr, &size);
        if (m_pid < 0)
            throw std::runtime_error("forkpty failed");
        if (m_pid == 0)
            Exec(arguments, folder, dataHome);
        m_master = CUniqueFd(master);
    }

    ~CTerminalProgram()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    CTerminalProgram(const CTerminalProgram&) = delete;
    CTerminalProgram& operator=(const CTerminalProgram&) = delete;

    // Reads the screen until seen says yes; false when the program ended or time ran out first.
    bool WaitForScreen(const std::function<bool(const std::string&)>& seen)
    {
        const Clock::time_point end = Clock::now() + kPatience;
        while (!seen(m_screen)) {
            if (Clock::now() > end || !ReadSome(100))
                return seen(m_screen);
        }
        return true;
    }

    // Types Ctrl-C: the terminal turns it into SIGINT for the program.
    void TypeInterrupt() const { ASSERT_EQ(::write(m_master.Get(), "\x03", 1), 1); }

    // Reads the rest of the screen and waits for the program to end; its wait status.
    int Wait()
    {
        const Clock::time_point end = Clock::now() + kPatience;
        while (Clock::now() < end && ReadSome(100)) {
        }
        int status = 0;
        if (::waitpid(m_pid, &status, 0) != m_pid)
            throw std::runtime_error("waitpid failed");
        m_pid = -1;
        return status;
    }

    const std::string& Screen() const { return m_screen; }

private:
    [[noreturn]] static void Exec(const std::vector<std::string>& arguments,
                                  const std::string& folder, const std::string& dataHome)
    {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(127);
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        std::vector<char*> argv {const_cast<char*>(PELLMAR_PROGRAM)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(PELLMAR_PROGRAM, argv.data());
        ::_exit(127);
    }

    // False once the program has closed the terminal (it ended).
    bool ReadSome(int timeoutMs)
    {
        pollfd waiting {m_master.Get(), POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) <= 0)
            return true;
        char buffer[4096];
        const ssize_t got = ::read(m_master.Get(), buffer, sizeof buffer);
        if (got <= 0) // EIO: no process holds the terminal any more
            return false;
        m_screen.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

    pid_t m_pid = -1;
    CUniqueFd m_master;
    std::string m_screen;
};

// The pieces of the screen between carriage returns and line ends: each drawing of a line.
std::vector<std::string> Drawings(const std::string& screen)
{
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : screen) {
        if (c == '\r' || c == '\n') {
            if (!piece.empty())
                pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty())
        pieces.push_back(piece);
    return pieces;
}

// True when the screen shows a bar that has started but is not nearly done yet.
bool ShowsWorkUnderWay(const std::string& screen)
{
    static const std::regex underWay(R"(\r[^\r\n]* ([1-9]|[1-4][0-9])% \[)");
    return std::regex_search(screen, underWay);
}

class PellmarTerminalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const SProgramResult made =
            RunProgram(PELLMAR_PROGRAM, {"keygen", "--out", "me.key", "--public-out", "me.pub"},
                       m_scratch.Path(), {{"XDG_DATA_HOME", DataHome()}});
        ASSERT_EQ(made.m_nExitStatus, 0) << made.m_err;
    }

    std::string DataHome() const { return m_scratch / "data"; }
    std::string TempFolder() const { return DataHome() + "/Talvex/pellmar/temp"; }

    // A file of size bytes, made at once: its content does not matter to the speed of the work.
    void MakeLargeFile(const std::string& name, off_t size) const
    {
        const CUniqueFd file(
            ::open((m_scratch / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        ASSERT_TRUE(file.IsOpen());
        ASSERT_EQ(::ftruncate(file.Get(), size), 0);
    }

    SProgramResult Pellmar(const std::vector<std::string>& arguments) const
    {
        return RunProgram(PELLMAR_PROGRAM, arguments, m_scratch.Path(),
                          {{"XDG_DATA_HOME", DataHome()}});
    }

    CScratchFolder m_scratch;
};

// Long enough that a Ctrl-C typed at a few per cent surely comes while the work goes on.
constexpr off_t kLargeFileBytes = 256 << 20;

TEST_F(PellmarTerminalTest, DrawsOneLineFittedToTheTerminalPerFile)
{
    const std::string longName = "a-file-whose-name-is-much-too-long-for-a-narrow-terminal.bin";
    MakeLargeFile(longName, 8 << 20);
    WriteWholeFile(m_scratch / "short.txt", "short");
    constexpr unsigned short kColumns = 50;

    CTerminalProgram program({"encrypt", "--to", "me.pub", longName, "short.txt"}, m_scratch.Path(),
                             DataHome(), kColumns);
    const int status = program.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << program.Screen();

    const std::string& screen = program.Screen();
    // Each file's line ends on its own line, once done.
    // The name is shortened at its front, where long names of one folder are alike.
    EXPECT_TRUE(std::regex_search(screen, std::regex(R"(\r\.\.\.[a-z-]*\.bin 100% \[#{20}\])")))
        << screen;
    EXPECT_NE(screen.find("short.txt 100% [####################]\r\n"), std::string::npos)
        << screen;
    EXPECT_GE(std::count(screen.begin(), screen.end(), '\r'), 4) << "redrawn in place";
    for (const std::string& drawing : Drawings(screen))
        EXPECT_LT(drawing.size(), kColumns) << drawing;
    EXPECT_TRUE(PathExists(m_scratch / "short.enp"));
}

TEST_F(PellmarTerminalTest, QuietDrawsNothing)
{
    MakeLargeFile("large.bin", 8 << 20);
    CTerminalProgram program({"encrypt", "--quiet", "--to", "me.pub", "large.bin"},
                             m_scratch.Path(), DataHome(), 80);
    const int status = program.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << program.Screen();
    EXPECT_EQ(program.Screen(), "");
    EXPECT_TRUE(PathExists(m_scratch / "large.enp"));
}

// Ctrl-C in the middle of a large file: the work stops, nothing of it stays (no output, no
// temporary file in the temp folder or beside the output), and the program ends by SIGINT, so
// that a shell or a script's loop knows it was interrupted.
TEST_F(PellmarTerminalTest, CtrlCStopsTheWorkAndLeavesNothing)
{
    MakeLargeFile("large.bin", kLargeFileBytes);
    ASSERT_EQ(
        Pellmar({"encrypt", "--to", "me.pub", "--output", "sealed.enp", "large.bin"}).m_nExitStatus,
        0);
    ASSERT_EQ(::mkdir((m_scratch / "out").c_str(), 0755), 0);

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"encrypt", "--to", "me.pub", "--output-dir", "out", "large.bin", "sealed.enp"},
         "pellmar: interrupted; out/large.enp was not written\r\n"},
        {{"decrypt", "--key", "me.key", "--output-dir", "out", "sealed.enp", "sealed.enp"},
         "pellmar: interrupted; out/large.bin was not written\r\n"},
    };
    for (const auto& [arguments, message] : cases) {
        const std::vector<std::string> before = EntriesOf(m_scratch.Path());
        CTerminalProgram program(arguments, m_scratch.Path(), DataHome(), 80);
        ASSERT_TRUE(program.WaitForScreen(ShowsWorkUnderWay)) << program.Screen();
        program.TypeInterrupt();
        const int status = program.Wait();

        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
            << arguments[0] << " status " << status << "\n"
            << program.Screen();
        const std::string& screen = program.Screen();
        EXPECT_NE(screen.find(message), std::string::npos) << screen;
        EXPECT_EQ(EntriesOf(m_scratch / "out"), std::vector<std::string> {}) << arguments[0];
        EXPECT_EQ(EntriesOf(m_scratch.Path()), before) << arguments[0];
        EXPECT_EQ(EntriesOf(TempFolder()), std::vector<std::string> {}) << arguments[0];
    }
}

} // namespace
