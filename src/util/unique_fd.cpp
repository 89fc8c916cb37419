#include "util/unique_fd.h"

#include <cerrno>
#include <unistd.h>

CUniqueFd& CUniqueFd::operator=(CUniqueFd&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool CUniqueFd::Close()
{
    if (m_fd < 0)
        return true;
    // On Linux the descriptor is released even when close fails, so it is never retried.
    return ::close(std::exchange(m_fd, -1)) == 0;
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = ::write(fd, next, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

long long ReadFull(int fd, void* data, std::size_t size)
{
    char* next = static_cast<char*>(data);
    std::size_t total = 0;
    while (total < size) {
        ssize_t got = ::read(fd, next + total, size - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(total);
}
