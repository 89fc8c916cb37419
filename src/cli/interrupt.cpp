#include "cli/interrupt.h"

#include <atomic>

namespace {

// Written by the signal handler: a lock-free atomic is safe to set there.
std::atomic<int> g_nCaughtSignal {0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnSignal(int signalNumber)
{
    g_nCaughtSignal.store(signalNumber);
}

void Catch(int signalNumber, struct sigaction& previous)
{
    ::sigaction(signalNumber, nullptr, &previous);
    // A signal the caller chose to ignore (a job started in the background) stays ignored.
    if (previous.sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes of the work go on after the handler; the callback sees the flag.
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, &previous);
}

} // namespace

CInterruptCatcher::CInterruptCatcher()
{
    g_nCaughtSignal.store(0);
    Catch(SIGINT, m_previousInt);
    Catch(SIGTERM, m_previousTerm);
}

CInterruptCatcher::~CInterruptCatcher()
{
    ::sigaction(SIGINT, &m_previousInt, nullptr);
    ::sigaction(SIGTERM, &m_previousTerm, nullptr);
}

bool CInterruptCatcher::IsInterrupted()
{
    return g_nCaughtSignal.load() != 0;
}

void CInterruptCatcher::Reraise()
{
    const int signalNumber = g_nCaughtSignal.load();
    if (signalNumber == 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
    ::raise(signalNumber);
}
