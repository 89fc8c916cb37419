#include "crypto/chunk_workers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>

namespace {

// Copies a job's input to its output after a pause that differs from job to job, so later jobs
// often finish before earlier ones; input "throw" makes it throw instead.
class CShuffledWork : public IChunkWork {
public:
    explicit CShuffledWork(unsigned seed) : m_random(seed) {}

    void Run(SChunkJob& job) override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(m_pause(m_random)));
        if (job.m_input == std::vector<unsigned char> {'t', 'h', 'r', 'o', 'w'})
            throw std::runtime_error("no room");
        job.m_output = job.m_input;
    }

private:
    std::mt19937 m_random;
    std::uniform_int_distribution<int> m_pause {0, 2000};
};

std::vector<std::unique_ptr<IChunkWork>> ShuffledWorks(unsigned count)
{
    std::vector<std::unique_ptr<IChunkWork>> works;
    for (unsigned i = 0; i < count; ++i)
        works.push_back(std::make_unique<CShuffledWork>(i + 1));
    return works;
}

std::vector<unsigned char> BytesOf(int number)
{
    const std::string text = std::to_string(number);
    return {text.begin(), text.end()};
}

TEST(ChunkWorkers, GiveResultsBackInTheOrderTheJobsCameWhateverOrderTheyFinishIn)
{
    for (unsigned workers : {1u, 2u, 5u}) {
        CChunkWorkers pool(ShuffledWorks(workers), 2);
        std::vector<int> results;
        int submitted = 0;
        constexpr int kJobs = 200;
        while (submitted < kJobs || !pool.IsEmpty()) {
            if (submitted < kJobs && !pool.IsFull()) {
                SChunkJob& job = pool.Next();
                EXPECT_FALSE(job.m_bFailed);
                job.m_input = BytesOf(submitted++);
                pool.Submit();
                continue;
            }
            const SChunkJob& job = pool.Oldest();
            ASSERT_FALSE(job.m_bFailed) << job.m_szReason;
            results.push_back(std::stoi(std::string(job.m_output.begin(), job.m_output.end())));
            pool.Release();
        }
        ASSERT_EQ(results.size(), static_cast<std::size_t>(kJobs)) << workers;
        for (int i = 0; i < kJobs; ++i)
            ASSERT_EQ(results[i], i) << workers;
    }
}

TEST(ChunkWorkers, AThrowingWorkFailsItsJobAndTheOthersGoOn)
{
    CChunkWorkers pool(ShuffledWorks(3), 2);
    const std::vector<std::vector<unsigned char>> inputs = {
        BytesOf(1), {'t', 'h', 'r', 'o', 'w'}, BytesOf(3)};
    for (const auto& input : inputs) {
        pool.Next().m_input = input;
        pool.Submit();
    }
    EXPECT_FALSE(pool.Oldest().m_bFailed);
    pool.Release();
    EXPECT_TRUE(pool.Oldest().m_bFailed);
    EXPECT_EQ(pool.Oldest().m_szReason, "unexpected failure: no room");
    pool.Release();
    EXPECT_EQ(pool.Oldest().m_output, BytesOf(3));
    EXPECT_FALSE(pool.Oldest().m_bFailed);
    pool.Release();
    EXPECT_TRUE(pool.IsEmpty());
}

TEST(ChunkWorkers, GoingAwayWithJobsInFlightEndsEveryThread)
{
    // An operation that fails or is cancelled drops the pool with jobs running and waiting; the
    // threads must end without touching the slots afterwards (the sanitizer build would see it).
    for (int round = 0; round < 20; ++round) {
        CChunkWorkers pool(ShuffledWorks(3), 3);
        while (!pool.IsFull()) {
            pool.Next().m_input = BytesOf(round);
            pool.Submit();
        }
        if (round % 2 == 0)
            (void)pool.Oldest();
    }
}

} // namespace
