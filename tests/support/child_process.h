#pragma once

#include <functional>
#include <sys/types.h>

// Runs step in a forked child process and returns its result. Lets a test change what the whole
// process is subject to (resource limits, user id) without touching the test runner itself.
bool RunInChildProcess(const std::function<bool()>& step);

// Like RunInChildProcess, with the write limit set to maxFileBytes and SIGXFSZ ignored, so a
// write crossing the limit fails with EFBIG as on a full disk.
bool RunWithFileSizeLimit(std::size_t maxFileBytes, const std::function<bool()>& step);

// The unprivileged account the permission tests switch to.
inline constexpr uid_t kOtherUserId = 65534;

// True when the tests run as root and can run a step as kOtherUserId. Permission failures
// (a file that cannot be deleted, a folder that cannot be written) can only be staged then:
// root itself may do anything.
bool CanRunAsOtherUser();

// Runs step in a child process with the rights of kOtherUserId and returns its result.
bool RunAsOtherUser(const std::function<bool()>& step);

// Gives path (a file or folder) to kOtherUserId.
void GiveToOtherUser(const char* path);
