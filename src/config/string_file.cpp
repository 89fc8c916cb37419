#include "config/string_file.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr std::size_t kReadBlockSize = 4096;
}

bool C8riStringFile::Open(const std::string& path)
{
    m_file = CUniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    m_buffer.clear();
    m_nNext = 0;
    m_bAtEnd = false;
    m_bExhausted = false;
    m_bFailed = false;
    return m_file.IsOpen();
}

void C8riStringFile::FillBuffer()
{
    // Drop the lines already returned before the buffer grows.
    m_buffer.erase(0, m_nNext);
    m_nNext = 0;
    // Growing by at least the unfinished line's length keeps a very long line linear to read.
    const std::size_t oldSize = m_buffer.size();
    const std::size_t blockSize = std::max(kReadBlockSize, oldSize);
    m_buffer.resize(oldSize + blockSize);
    long long got = ReadFull(m_file.Get(), m_buffer.data() + oldSize, blockSize);
    if (got < 0) {
        m_bFailed = true;
        got = 0;
    }
    m_buffer.resize(oldSize + static_cast<std::size_t>(got));
    m_bAtEnd = got == 0;
}

std::optional<std::string_view> C8riStringFile::ReadLine()
{
    if (m_bExhausted || !m_file.IsOpen())
        return std::nullopt;
    for (;;) {
        const std::size_t end = m_buffer.find_first_of("\r\n", m_nNext);
        // A CR at the end of what has been read may be the first half of CR LF.
        const bool mayBeSplitCrLf =
            end != std::string::npos && end + 1 == m_buffer.size() && m_buffer[end] == '\r';
        if ((end == std::string::npos || mayBeSplitCrLf) && !m_bAtEnd) {
            FillBuffer();
            continue;
        }
        if (end == std::string::npos) {
            m_bExhausted = true;
            return std::string_view(m_buffer).substr(m_nNext);
        }
        const std::string_view line = std::string_view(m_buffer).substr(m_nNext, end - m_nNext);
        m_nNext = end + 1;
        if (m_buffer[end] == '\r' && m_nNext < m_buffer.size() && m_buffer[m_nNext] == '\n')
            ++m_nNext;
        return line;
    }
}
