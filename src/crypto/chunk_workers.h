#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One piece of work for the chunk workers: a run of whole chunks (encryption) or one record block
// (decryption). Its buffers stay with its slot and keep their room from job to job, so memory
// stays flat whatever the file size.
struct SChunkJob {
    std::vector<unsigned char> m_input;
    std::vector<unsigned char> m_output;
    // Where each chunk's pieces lie in m_output, as the work describes them.
    std::vector<std::size_t> m_pieces;
    // How far the file has come once this job's result is written, for the progress report.
    std::uint64_t m_nDoneAfter = 0;
    bool m_bFailed = false;
    std::string m_szReason;
};

// What one worker does to a job. Each worker has its own, with its own library contexts; Run is
// only ever called from that worker's thread. A failure sets m_bFailed and m_szReason.
class IChunkWork {
public:
    virtual ~IChunkWork() = default;
    virtual void Run(SChunkJob& job) = 0;
};

// The number of workers an operation starts: one per core unless set otherwise.
unsigned ChunkWorkerCount();
// Sets the number of workers later operations start; 0 is one per core. (Lets the tests compare
// one worker with several.)
void SetChunkWorkerCount(unsigned count);
// The workers an operation of jobs jobs starts: ChunkWorkerCount, but no more than it has jobs
// for, and at least one.
unsigned ChunkWorkerCountFor(std::uint64_t jobs);

// count works of type TWork, each made from args with library contexts of its own; none, with
// the reason, when one cannot be set up (TWork::IsReady).
template <class TWork, class... TArgs>
std::vector<std::unique_ptr<IChunkWork>> MakeChunkWorks(unsigned count, std::string& reason,
                                                        const TArgs&... args)
{
    std::vector<std::unique_ptr<IChunkWork>> works;
    for (unsigned i = 0; i < count; ++i) {
        auto work = std::make_unique<TWork>(args...);
        if (!work->IsReady(reason))
            return {};
        works.push_back(std::move(work));
    }
    return works;
}

// A few threads that run jobs while the calling thread reads the input and writes the results.
//
// The caller takes the next free slot (Next), fills its input and Submits it; Oldest waits for
// the result of the first job not yet taken back, in the order the jobs were submitted, and
// Release hands its slot back. At most a fixed number of jobs is in flight, so the caller must
// take back the oldest result once Full. The threads end, and are joined, when the object goes,
// on every path: jobs still in flight are finished unread.
class CChunkWorkers {
public:
    // One thread per work (there must be at least one), jobsPerWorker slots per thread.
    CChunkWorkers(std::vector<std::unique_ptr<IChunkWork>> works, std::size_t jobsPerWorker);
    ~CChunkWorkers();
    CChunkWorkers(const CChunkWorkers&) = delete;
    CChunkWorkers& operator=(const CChunkWorkers&) = delete;

    bool IsFull() const { return m_nSubmitted - m_nReleased == m_slots.size(); }
    bool IsEmpty() const { return m_nSubmitted == m_nReleased; }

    // The slot the next job goes into; only when not IsFull. Its buffers hold the previous job's.
    SChunkJob& Next();
    void Submit();
    // The oldest job in flight, once it is done; only when not IsEmpty.
    SChunkJob& Oldest();
    void Release();

private:
    void Serve(IChunkWork& work);
    // Ends and joins the threads.
    void Stop();

    std::vector<std::unique_ptr<IChunkWork>> m_works;
    std::vector<SChunkJob> m_slots;
    std::vector<bool> m_done;
    // Jobs counted from the first: job j lives in slot j % slots. Jobs [m_nReleased, m_nSubmitted)
    // are in flight, of which those from m_nTaken on wait for a worker. Only the calling thread
    // changes m_nSubmitted and m_nReleased, under m_mutex, so it reads them without.
    std::uint64_t m_nSubmitted = 0;
    std::uint64_t m_nReleased = 0;
    std::uint64_t m_nTaken = 0;
    bool m_bStopping = false;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_jobDone;
    std::vector<std::thread> m_threads;
};
