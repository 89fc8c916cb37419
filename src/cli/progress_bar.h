#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// One line on a terminal telling how far the work on one file has come, redrawn in place with
// '\r' and ended with a newline when the file is done:
//
//     report.doc   47% [#########           ]  68.3 MB/s
//
// It draws only where a person watches: a bar in a pipe or a log file would be noise for the
// script that reads it. The line is fitted to the terminal's width (the file name is shortened
// first), so it never wraps, which would break the redrawing.
class CProgressBar {
public:
    // Draws on fd when enabled; a disabled bar does nothing.
    CProgressBar(int fd, bool enabled);
    ~CProgressBar();
    CProgressBar(const CProgressBar&) = delete;
    CProgressBar& operator=(const CProgressBar&) = delete;

    // True when a bar belongs on fd: it is a terminal and the user did not ask for quiet.
    static bool WantedOn(int fd, bool quiet);

    // A new file: nothing is drawn until the first Update.
    void Start(const std::string& name);
    // Redraws the line when the shown percentage changed or the speed is due for a refresh.
    void Update(std::uint64_t done, std::uint64_t total);
    // Ends a line that was drawn with a newline, so that what follows starts on a line of its own.
    void Finish();

private:
    std::string Line(std::uint64_t done, std::uint64_t total, std::size_t width) const;
    void Draw(std::uint64_t done, std::uint64_t total);
    void Write(const std::string& text) const;
    std::size_t TerminalWidth() const;

    int m_fd;
    bool m_bEnabled;
    std::string m_name;
    bool m_bDrawn = false;
    int m_nShownPercent = -1;
    std::size_t m_nShownLength = 0;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastDrawn;
};
