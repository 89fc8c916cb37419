#include "support/run_program.h"

#include "util/unique_fd.h"

#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ReadAll(int fd)
{
    std::string text;
    std::array<char, 4096> buffer {};
    for (;;) {
        long long got = ReadFull(fd, buffer.data(), buffer.size());
        if (got <= 0)
            return text;
        text.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

struct SPipe {
    CUniqueFd m_read;
    CUniqueFd m_write;
};

SPipe MakePipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    return {CUniqueFd(ends[0]), CUniqueFd(ends[1])};
}

[[noreturn]] void ExecChild(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& folder,
                            const std::map<std::string, std::string>& environment, int out, int err)
{
    if (::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0 ||
        ::chdir(folder.c_str()) != 0)
        ::_exit(127);
    for (const auto& [name, value] : environment) {
        if (value.empty())
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv {const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

} // namespace

SProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& folder,
                          const std::map<std::string, std::string>& environment)
{
    SPipe out = MakePipe();
    SPipe err = MakePipe();
    pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0)
        ExecChild(program, arguments, folder, environment, out.m_write.Get(), err.m_write.Get());
    out.m_write.Close();
    err.m_write.Close();

    SProgramResult result;
    // Both pipes are drained at once so a chatty child never blocks on a full one.
    std::thread errReader([&] { result.m_err = ReadAll(err.m_read.Get()); });
    result.m_out = ReadAll(out.m_read.Get());
    errReader.join();
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        throw std::runtime_error("waitpid failed");
    if (WIFEXITED(status))
        result.m_nExitStatus = WEXITSTATUS(status);
    return result;
}
