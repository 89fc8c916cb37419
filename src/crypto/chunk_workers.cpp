#include "crypto/chunk_workers.h"

#include <algorithm>
#include <atomic>
#include <exception>

namespace {

std::atomic<unsigned> g_nChunkWorkers {0};

} // namespace

unsigned ChunkWorkerCount()
{
    const unsigned set = g_nChunkWorkers.load();
    if (set != 0)
        return set;
    // The calling thread mostly waits on the disk; the cores belong to the workers.
    return std::max(std::thread::hardware_concurrency(), 1u);
}

void SetChunkWorkerCount(unsigned count)
{
    g_nChunkWorkers.store(count);
}

unsigned ChunkWorkerCountFor(std::uint64_t jobs)
{
    return static_cast<unsigned>(std::clamp<std::uint64_t>(jobs, 1, ChunkWorkerCount()));
}

CChunkWorkers::CChunkWorkers(std::vector<std::unique_ptr<IChunkWork>> works,
                             std::size_t jobsPerWorker)
    : m_works(std::move(works)), m_slots(std::max<std::size_t>(m_works.size() * jobsPerWorker, 1)),
      m_done(m_slots.size(), false)
{
    m_threads.reserve(m_works.size());
    try {
        for (const std::unique_ptr<IChunkWork>& work : m_works)
            m_threads.emplace_back([this, &work] { Serve(*work); });
    } catch (...) {
        // Threads that did start must not outlive the object that never was.
        Stop();
        throw;
    }
}

CChunkWorkers::~CChunkWorkers()
{
    Stop();
}

void CChunkWorkers::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_jobReady.notify_all();
    for (std::thread& thread : m_threads) {
        if (thread.joinable())
            thread.join();
    }
}

SChunkJob& CChunkWorkers::Next()
{
    SChunkJob& job = m_slots[m_nSubmitted % m_slots.size()];
    job.m_bFailed = false;
    job.m_szReason.clear();
    return job;
}

void CChunkWorkers::Submit()
{
    {
        std::lock_guard lock(m_mutex);
        m_done[m_nSubmitted % m_slots.size()] = false;
        ++m_nSubmitted;
    }
    m_jobReady.notify_one();
}

SChunkJob& CChunkWorkers::Oldest()
{
    const std::size_t slot = m_nReleased % m_slots.size();
    std::unique_lock lock(m_mutex);
    m_jobDone.wait(lock, [&] { return m_done[slot]; });
    return m_slots[slot];
}

void CChunkWorkers::Release()
{
    std::lock_guard lock(m_mutex);
    ++m_nReleased;
}

void CChunkWorkers::Serve(IChunkWork& work)
{
    for (;;) {
        std::size_t slot = 0;
        {
            std::unique_lock lock(m_mutex);
            m_jobReady.wait(lock, [&] { return m_bStopping || m_nTaken < m_nSubmitted; });
            // Jobs still waiting when the caller gives up are dropped: nobody reads them.
            if (m_bStopping)
                return;
            slot = m_nTaken++ % m_slots.size();
        }
        SChunkJob& job = m_slots[slot];
        // A failing allocation fails the job, not the process: the caller ends the operation.
        try {
            work.Run(job);
        } catch (const std::exception& error) {
            job.m_bFailed = true;
            job.m_szReason = std::string("unexpected failure: ") + error.what();
        } catch (...) {
            job.m_bFailed = true;
            job.m_szReason = "unexpected failure";
        }
        {
            std::lock_guard lock(m_mutex);
            m_done[slot] = true;
        }
        m_jobDone.notify_one();
    }
}
