#pragma once

#include <cstddef>
#include <utility>

// Owns one POSIX file descriptor and closes it when it goes out of scope.
class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : m_fd(fd) {}
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept;
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    ~CUniqueFd() { Close(); }

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }

    // Closes the descriptor; false when close reported an error (a delayed write failure).
    bool Close();

private:
    int m_fd = -1;
};

// Writes all bytes, retrying short writes and interrupted calls; false at the first error.
[[nodiscard]] bool WriteAll(int fd, const void* data, std::size_t size);

// Reads up to size bytes, retrying interrupted calls; -1 on error, fewer than size only at the end.
[[nodiscard]] long long ReadFull(int fd, void* data, std::size_t size);
