#include "app/single_instance.h"

#include "support/child_process.h"
#include "support/scratch_folder.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Counts bring-to-front signals as the watcher thread reports them.
class CSignalCounter {
public:
    std::function<void()> Handler()
    {
        return [this] {
            std::lock_guard lock(m_mutex);
            ++m_nCount;
            m_changed.notify_all();
        };
    }
    // Waits (bounded, so a lost signal fails the test instead of hanging it) for count signals.
    bool WaitFor(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_nCount >= count; });
    }
    int Count()
    {
        std::lock_guard lock(m_mutex);
        return m_nCount;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_nCount = 0;
};

class SingleInstanceTest : public ::testing::Test {
protected:
    std::string Runtime() const { return m_scratch / "run"; }
    std::string SocketPath() const
    {
        return Runtime() + "/PELLMARGATE_SINGLE_INSTANCE_HANDLE_TALVEX";
    }

    CScratchFolder m_scratch;
    CSignalCounter m_first;
};

TEST_F(SingleInstanceTest, LaterStartsEndAndSignalTheFirst)
{
    CSingleInstance first(m_first.Handler(), Runtime());
    ASSERT_TRUE(first.Start());
    EXPECT_EQ(ModeOf(Runtime()), 0700u);

    for (int start = 1; start <= 3; ++start) {
        CSignalCounter unused;
        CSingleInstance later(unused.Handler(), Runtime());
        EXPECT_FALSE(later.Start());
        EXPECT_TRUE(m_first.WaitFor(start)) << "signal " << start;
    }
    // A start from another process, as a second launch of the program is.
    const std::string runtime = Runtime();
    EXPECT_FALSE(
        RunInChildProcess([runtime] { return CSingleInstance(nullptr, runtime).Start(); }));
    EXPECT_TRUE(m_first.WaitFor(4));
}

TEST_F(SingleInstanceTest, TheNameIsFreeAgainOnceTheFirstHasEnded)
{
    {
        CSingleInstance first(m_first.Handler(), Runtime());
        ASSERT_TRUE(first.Start());
    }
    CSignalCounter second;
    CSingleInstance again(second.Handler(), Runtime());
    EXPECT_TRUE(again.Start());
    EXPECT_EQ(m_first.Count(), 0);
}

TEST_F(SingleInstanceTest, ASocketLeftByACrashedInstanceIsReplaced)
{
    ASSERT_EQ(::mkdir(Runtime().c_str(), 0700), 0);
    // What a killed instance leaves: a bound socket file that nobody listens on.
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", SocketPath().c_str());
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(stale);

    CSingleInstance first(m_first.Handler(), Runtime());
    ASSERT_TRUE(first.Start());
    CSignalCounter unused;
    CSingleInstance later(unused.Handler(), Runtime());
    EXPECT_FALSE(later.Start());
    EXPECT_TRUE(m_first.WaitFor(1));
}

TEST_F(SingleInstanceTest, RefusesARuntimeFolderOthersCanWriteIn)
{
    ASSERT_EQ(::mkdir(Runtime().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(Runtime().c_str(), 0777), 0);
    CSingleInstance guard(m_first.Handler(), Runtime());
    EXPECT_FALSE(guard.Start());
}

} // namespace
