#pragma once

#include "cli/command_line.h"

// Exit statuses of the `pellmar` command.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Each runs one command and gives the exit status; what went wrong goes to stderr, saying what to
// do about it where there is something to do.
int RunKeyGen(const SCommandLine& command);
int RunEncrypt(const SCommandLine& command);
int RunDecrypt(const SCommandLine& command);
