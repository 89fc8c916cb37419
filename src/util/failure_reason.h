#pragma once

#include <cerrno>
#include <cstring>
#include <string>

// Multi-step operations keep the reason of their first failing step in a text for the caller
// (the command line shows it): `return Fail(reason, "cannot open ...");`.
inline bool Fail(std::string& reason, std::string text)
{
    reason = std::move(text);
    return false;
}

// The system's text for the last error (errno).
inline std::string ErrnoText()
{
    return std::strerror(errno);
}
