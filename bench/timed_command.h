#pragma once

#include <string>
#include <vector>

// What a finished command cost.
struct SCommandCost {
    bool m_bSucceeded = false; // ran and exited with status 0
    double m_dSeconds = 0;     // wall-clock time from start to exit
    long m_nPeakRssKiB = 0;    // its peak resident memory (ru_maxrss from wait4)
};

// Runs arguments[0] (found on PATH) with the arguments, stdin from /dev/null and stdout and
// stderr into logPath, with the environment plus extraEnvironment ("NAME=value"), and waits.
SCommandCost RunTimedCommand(const std::vector<std::string>& arguments, const std::string& logPath,
                             const std::vector<std::string>& extraEnvironment = {});

// True when name is an executable file in a folder on PATH.
bool IsOnPath(const std::string& name);
