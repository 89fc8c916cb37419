#pragma once

#include "util/unique_fd.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// Keeps the program to one instance per user. The first instance owns the name
// "PELLMARGATE_SINGLE_INSTANCE_HANDLE_TALVEX" in the user's runtime folder: an flock'ed lock file
// says who owns it (the kernel releases the lock when a process dies, so a crash leaves nothing
// stale), and a Unix domain socket beside it carries the signal. A later start connects to that
// socket and ends; the first instance's watcher thread then calls its bring-to-front handler.
class CSingleInstance {
public:
    // onSignal runs on the watcher thread, once for each later start (signals close together may
    // come as one); it must only hand the request over to the user-interface thread.
    explicit CSingleInstance(std::function<void()> onSignal,
                             std::string runtimeFolder = DefaultRuntimeFolder());
    // Stops and joins the watcher.
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when this is the only instance and the watcher runs. False when another instance runs
    // (it has been signalled) or the name, the socket or the thread cannot be made.
    [[nodiscard]] bool Start();

    // $XDG_RUNTIME_DIR when it is an absolute path, else /tmp/pellmar-runtime-<uid>, made 0700.
    static std::string DefaultRuntimeFolder();

private:
    // The socket; the lock file is beside it, with ".lock" appended.
    std::string SocketPath() const;
    void WatcherThreadProc();
    bool Listen(const std::string& socketPath);

    std::function<void()> m_onSignal;
    std::string m_runtimeFolder;
    CUniqueFd m_lock;
    CUniqueFd m_listener;
    CUniqueFd m_stopRead;
    CUniqueFd m_stopWrite;
    std::atomic<bool> m_bStop = false;
    std::thread m_thread;
};
