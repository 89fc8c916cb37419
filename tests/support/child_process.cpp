#include "support/child_process.h"

#include <csignal>
#include <grp.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Exit status of a child whose set-up failed, told apart from the step's own false.
constexpr int kSetUpFailed = 2;

bool RunPrepared(const std::function<bool()>& prepare, const std::function<bool()>& step)
{
    pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        if (!prepare())
            ::_exit(kSetUpFailed);
        ::_exit(step() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        throw std::runtime_error("waitpid failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) == kSetUpFailed)
        throw std::runtime_error("the child process failed to set up or crashed");
    return WEXITSTATUS(status) == 0;
}

} // namespace

bool RunInChildProcess(const std::function<bool()>& step)
{
    return RunPrepared([] { return true; }, step);
}

bool RunWithFileSizeLimit(std::size_t maxFileBytes, const std::function<bool()>& step)
{
    return RunPrepared(
        [maxFileBytes] {
            const rlimit limit {maxFileBytes, maxFileBytes};
            return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR &&
                   ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        },
        step);
}

bool CanRunAsOtherUser()
{
    return ::geteuid() == 0;
}

bool RunAsOtherUser(const std::function<bool()>& step)
{
    return RunPrepared(
        [] {
            return ::setgroups(0, nullptr) == 0 && ::setgid(kOtherUserId) == 0 &&
                   ::setuid(kOtherUserId) == 0;
        },
        step);
}

void GiveToOtherUser(const char* path)
{
    if (::chown(path, kOtherUserId, kOtherUserId) != 0)
        throw std::runtime_error(std::string("cannot chown ") + path);
}
