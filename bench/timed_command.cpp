#include "timed_command.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

SCommandCost RunTimedCommand(const std::vector<std::string>& arguments, const std::string& logPath,
                             const std::vector<std::string>& extraEnvironment)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable)
        envp.push_back(*variable);
    for (const std::string& variable : extraEnvironment)
        envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);

    SCommandCost cost;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        return cost;
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (in < 0 || log < 0 || ::dup2(in, STDIN_FILENO) < 0 || ::dup2(log, STDOUT_FILENO) < 0 ||
            ::dup2(log, STDERR_FILENO) < 0)
            ::_exit(127);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            return cost;
    }
    cost.m_dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.m_bSucceeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    cost.m_nPeakRssKiB = usage.ru_maxrss;
    return cost;
}

bool IsOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}
