#pragma once

#include <csignal>

// Catches Ctrl-C (SIGINT) and SIGTERM for its lifetime, so that the file being worked on stops
// cleanly: the handler only sets a flag, which the work's progress callback reads and answers
// with "stop", and the operation then removes what it had begun. Ended by a signal, the command
// must die of that signal at the end (Reraise), so that a shell or a script's loop sees it stop.
//
// Only work that reads the flag may run inside the scope; elsewhere (a download) the signals keep
// their default effect and end the program at once.
class CInterruptCatcher {
public:
    CInterruptCatcher();
    ~CInterruptCatcher();
    CInterruptCatcher(const CInterruptCatcher&) = delete;
    CInterruptCatcher& operator=(const CInterruptCatcher&) = delete;

    // True once a caught signal has come.
    static bool IsInterrupted();

    // Puts the default effect of the signal that came back and raises it again: the process ends
    // as if it had never been caught. Returns only when no signal came.
    void Reraise();

private:
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};
