#pragma once

#include "util/unique_fd.h"

#include <optional>
#include <string>
#include <string_view>

// Reads a text file line by line. CR LF, LF alone and CR alone all end a line; lines of any
// length are read whole.
//
// What the configuration parsers rely on: a file that ends with a line end yields one more, empty
// line, an empty file yields exactly one empty line, and LF CR counts as two line ends.
class C8riStringFile {
public:
    [[nodiscard]] bool Open(const std::string& path);

    // The next line without its line end, valid until the next call; nothing once the lines are
    // exhausted.
    std::optional<std::string_view> ReadLine();

    // True when reading the file failed part-way (the lines returned are then not the whole file).
    bool HasFailed() const { return m_bFailed; }

private:
    // Appends the next block of the file to the buffer, or sets m_bAtEnd.
    void FillBuffer();

    CUniqueFd m_file;
    std::string m_buffer;
    std::size_t m_nNext = 0;
    bool m_bAtEnd = false;
    bool m_bExhausted = false;
    bool m_bFailed = false;
};
