#include "app/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr const char* kInstanceName = "PELLMARGATE_SINGLE_INSTANCE_HANDLE_TALVEX";
// Two starts at the same moment: the one that lost the lock may find the winner's socket not yet
// listening; it tries again for about a second before it gives up the signal.
constexpr int kConnectAttempts = 20;
constexpr int kConnectPauseMicroseconds = 50000;

bool MakeAddress(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A folder of ours alone: made 0700 when missing; refused when someone else made it or others
// may write in it (they could then plant our socket).
bool IsPrivateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::getuid() && (status.st_mode & 0077) == 0;
}

// Tells the running instance that another start happened.
void SignalOwner(const std::string& socketPath)
{
    sockaddr_un address {};
    if (!MakeAddress(socketPath, address))
        return;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        CUniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!client.IsOpen())
            return;
        if (::connect(client.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
            0) {
            const char signal = 1;
            (void)::send(client.Get(), &signal, 1, MSG_NOSIGNAL);
            return;
        }
        ::usleep(kConnectPauseMicroseconds);
    }
}

// True when the connection comes from a process of this user.
bool IsFromThisUser(int connection)
{
    ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::getuid();
}

} // namespace

CSingleInstance::CSingleInstance(std::function<void()> onSignal, std::string runtimeFolder)
    : m_onSignal(std::move(onSignal)), m_runtimeFolder(std::move(runtimeFolder))
{
}

CSingleInstance::~CSingleInstance()
{
    m_bStop = true;
    if (!m_thread.joinable())
        return;
    const char wake = 1;
    (void)::write(m_stopWrite.Get(), &wake, 1);
    m_thread.join();
    // Still holding the lock, so the socket is ours to remove.
    (void)::unlink(SocketPath().c_str());
}

std::string CSingleInstance::DefaultRuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return runtime;
    return "/tmp/pellmar-runtime-" + std::to_string(::getuid());
}

std::string CSingleInstance::SocketPath() const
{
    return m_runtimeFolder + "/" + kInstanceName;
}

bool CSingleInstance::Start()
{
    if (m_runtimeFolder.empty() || !IsPrivateFolder(m_runtimeFolder))
        return false;
    const std::string base = SocketPath();
    m_lock = CUniqueFd(
        ::open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!m_lock.IsOpen())
        return false;
    if (::flock(m_lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        m_lock.Close();
        if (errno == EWOULDBLOCK)
            SignalOwner(base);
        return false;
    }
    int stopPipe[2];
    if (!Listen(base) || ::pipe2(stopPipe, O_CLOEXEC) != 0)
        return false;
    m_stopRead = CUniqueFd(stopPipe[0]);
    m_stopWrite = CUniqueFd(stopPipe[1]);
    try {
        m_thread = std::thread(&CSingleInstance::WatcherThreadProc, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool CSingleInstance::Listen(const std::string& socketPath)
{
    sockaddr_un address {};
    if (!MakeAddress(socketPath, address))
        return false;
    // We hold the lock, so a socket file there was left by an instance that died.
    if (::unlink(socketPath.c_str()) != 0 && errno != ENOENT)
        return false;
    m_listener = CUniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return m_listener.IsOpen() &&
           ::bind(m_listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
               0 &&
           ::listen(m_listener.Get(), 8) == 0;
}

void CSingleInstance::WatcherThreadProc()
{
    while (!m_bStop) {
        pollfd waits[2] = {{m_listener.Get(), POLLIN, 0}, {m_stopRead.Get(), POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno != EINTR)
            return;
        if (m_bStop)
            return;
        if ((waits[0].revents & POLLIN) == 0)
            continue;
        CUniqueFd connection(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.IsOpen() && IsFromThisUser(connection.Get()) && m_onSignal)
            m_onSignal();
    }
}
