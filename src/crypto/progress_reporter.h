#pragma once

#include "crypto/progress.h"

#include <algorithm>
#include <cstdint>

// Tells a ProgressCallback how far an operation has come: once at the start, then each time
// another step of the total is done, and once at the end. A step is 1/256 of the total, at most
// 8 MiB, so a big file is reported often enough for a progress bar and a prompt stop, and a
// small one is not reported more often than its jobs finish.
class CProgressReporter {
public:
    CProgressReporter(const ProgressCallback& callback, std::uint64_t total)
        : m_callback(callback), m_nTotal(total),
          m_nStep(std::clamp<std::uint64_t>(total / 256, 1, kMaxStep))
    {
    }

    // Each is false once the callback has asked to stop.
    [[nodiscard]] bool Start() { return Tell(0); }
    [[nodiscard]] bool Advance(std::uint64_t done)
    {
        return done - m_nTold < m_nStep || done >= m_nTotal ? !m_bStopped : Tell(done);
    }
    [[nodiscard]] bool Finish() { return Tell(m_nTotal); }

    bool IsStopped() const { return m_bStopped; }

private:
    static constexpr std::uint64_t kMaxStep = 8 * 1024 * 1024;

    bool Tell(std::uint64_t done)
    {
        // A file that grows while it is read must not be told as more than done.
        m_nTold = std::min(done, m_nTotal);
        if (!m_bStopped && m_callback && !m_callback(m_nTold, m_nTotal))
            m_bStopped = true;
        return !m_bStopped;
    }

    const ProgressCallback& m_callback;
    std::uint64_t m_nTotal;
    std::uint64_t m_nStep;
    std::uint64_t m_nTold = 0;
    bool m_bStopped = false;
};
