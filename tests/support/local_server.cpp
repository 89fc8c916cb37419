#include "support/local_server.h"

#include "support/scratch_folder.h"
#include "util/unique_fd.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kSystemPython = "/usr/bin/python3";
// Only a guard against a server that hangs before printing its port; starting takes well under
// a second.
constexpr int kStartGuardMilliseconds = 30000;

[[noreturn]] void ExecServer(const std::string& script, const std::vector<std::string>& arguments,
                             pid_t parent, int out)
{
    // The server must not outlive a test process that crashes or is killed.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent ||
        ::dup2(out, STDOUT_FILENO) < 0)
        ::_exit(127);
    ::unsetenv("PYTHONHOME");
    ::unsetenv("PYTHONPATH");
    const std::string path = std::string(PELLMAR_TEST_SERVERS) + "/" + script;
    std::vector<char*> argv {const_cast<char*>(kSystemPython), const_cast<char*>(path.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(kSystemPython, argv.data());
    ::_exit(127);
}

// Reads the first line the server prints; empty when it ends or stays silent first.
std::string ReadFirstLine(int fd)
{
    std::string line;
    for (;;) {
        pollfd wait {fd, POLLIN, 0};
        if (::poll(&wait, 1, kStartGuardMilliseconds) <= 0)
            return {};
        char c = 0;
        if (ReadFull(fd, &c, 1) != 1)
            return {};
        if (c == '\n')
            return line;
        line += c;
    }
}

} // namespace

CLocalServer::CLocalServer(const std::string& script, const std::vector<std::string>& arguments)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    CUniqueFd readEnd(ends[0]);
    CUniqueFd writeEnd(ends[1]);
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0)
        ExecServer(script, arguments, parent, writeEnd.Get());
    writeEnd.Close();

    const std::string line = ReadFirstLine(readEnd.Get());
    m_nPort = std::atoi(line.c_str());
    if (m_nPort <= 0 || m_nPort > 65535) {
        Stop();
        throw std::runtime_error("the test server " + script + " did not start");
    }
}

CLocalServer::~CLocalServer()
{
    Stop();
}

std::string CLocalServer::GetAddress() const
{
    return "127.0.0.1:" + std::to_string(m_nPort);
}

void CLocalServer::Stop()
{
    if (m_pid <= 0)
        return;
    // The servers keep nothing that needs an orderly end: their logs are written line by line.
    ::kill(m_pid, SIGKILL);
    while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

CLogWatch::CLogWatch(std::string path)
    : m_path(std::move(path)), m_nStart(ReadWholeFile(m_path).size())
{
}

std::string CLogWatch::NewText() const
{
    return ReadWholeFile(m_path).substr(m_nStart);
}
