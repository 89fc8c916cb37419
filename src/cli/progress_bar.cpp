#include "cli/progress_bar.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The speed is shown once it means something, and refreshed a few times a second.
constexpr auto kSpeedAfter = std::chrono::milliseconds(500);
constexpr auto kRedrawEvery = std::chrono::milliseconds(250);

constexpr std::size_t kDefaultWidth = 80;
constexpr std::size_t kBarCells = 20;
constexpr std::size_t kShortestName = 8;
const std::string kEllipsis = "...";

int PercentOf(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 100;
    return static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
}

// The name cut to at most width bytes, keeping its end, which tells files apart best. A UTF-8
// character is never cut in two. (Bytes are at least as many as columns, so the cut never makes
// the line too long.)
std::string Shortened(const std::string& name, std::size_t width)
{
    if (name.size() <= width)
        return name;
    const std::string prefix = width > kEllipsis.size() ? kEllipsis : std::string();
    std::size_t from = name.size() - (width - prefix.size());
    while (from < name.size() && (static_cast<unsigned char>(name[from]) & 0xC0) == 0x80)
        ++from;
    return prefix + name.substr(from);
}

} // namespace

CProgressBar::CProgressBar(int fd, bool enabled) : m_fd(fd), m_bEnabled(enabled) {}

CProgressBar::~CProgressBar()
{
    Finish();
}

bool CProgressBar::WantedOn(int fd, bool quiet)
{
    return !quiet && ::isatty(fd) == 1;
}

void CProgressBar::Start(const std::string& name)
{
    Finish();
    m_name = name;
    m_nShownPercent = -1;
    m_nShownLength = 0;
    m_started = Clock::now();
    m_lastDrawn = m_started;
}

void CProgressBar::Update(std::uint64_t done, std::uint64_t total)
{
    if (!m_bEnabled)
        return;
    const Clock::time_point now = Clock::now();
    const bool speedDue = now - m_started >= kSpeedAfter && now - m_lastDrawn >= kRedrawEvery;
    if (PercentOf(done, total) == m_nShownPercent && !speedDue)
        return;
    m_lastDrawn = now;
    // A job in the background draws nothing: the terminal belongs to the one in the foreground
    // (and could stop the job for writing to it).
    if (::tcgetpgrp(m_fd) != ::getpgrp())
        return;
    Draw(done, total);
}

void CProgressBar::Finish()
{
    if (m_bDrawn)
        Write("\n");
    m_bDrawn = false;
}

void CProgressBar::Draw(std::uint64_t done, std::uint64_t total)
{
    m_nShownPercent = PercentOf(done, total);
    // The last column stays free: some terminals wrap as soon as it is written.
    std::string line = Line(done, total, TerminalWidth() - 1);
    const std::size_t length = line.size();
    // Spaces cover what a longer line before left at the end.
    if (length < m_nShownLength)
        line.append(m_nShownLength - length, ' ');
    m_nShownLength = length;
    Write("\r" + line);
    m_bDrawn = true;
}

std::string CProgressBar::Line(std::uint64_t done, std::uint64_t total, std::size_t width) const
{
    const int percent = PercentOf(done, total);
    const std::size_t filled = static_cast<std::size_t>(percent) * kBarCells / 100;
    char text[32];
    std::snprintf(text, sizeof text, " %3d%%", percent);
    std::string tail = text;
    // On a narrow terminal the speed goes first, then the bar; the name keeps a few characters.
    const std::string bar =
        " [" + std::string(filled, '#') + std::string(kBarCells - filled, ' ') + "]";
    if (tail.size() + bar.size() + kShortestName <= width) {
        tail += bar;
        const auto elapsed = std::chrono::duration<double>(Clock::now() - m_started);
        if (elapsed >= kSpeedAfter) {
            std::snprintf(text, sizeof text, " %6.1f MB/s",
                          static_cast<double>(done) / elapsed.count() / 1e6);
            if (tail.size() + std::strlen(text) + kShortestName <= width)
                tail += text;
        }
    }
    const std::size_t nameWidth = width > tail.size() ? width - tail.size() : 0;
    return Shortened(m_name, nameWidth) + tail;
}

void CProgressBar::Write(const std::string& text) const
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(m_fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a terminal that went away is no reason to stop the work
        written += static_cast<std::size_t>(n);
    }
}

std::size_t CProgressBar::TerminalWidth() const
{
    winsize size {};
    if (::ioctl(m_fd, TIOCGWINSZ, &size) != 0 || size.ws_col < 2)
        return kDefaultWidth;
    return size.ws_col;
}
