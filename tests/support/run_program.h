#pragma once

#include <map>
#include <string>
#include <vector>

struct SProgramResult {
    int m_nExitStatus = -1; // -1 when the program did not exit normally
    std::string m_out;
    std::string m_err;
};

// Runs program with arguments in folder, with the variables of environment added to (or, with an
// empty value, removed from) this process's environment, and waits for it.
SProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& folder,
                          const std::map<std::string, std::string>& environment = {});
