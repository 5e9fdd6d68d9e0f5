// The transfer pool on its own: how many jobs run at once, their order, and
// release.

#include "transfer_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora::proxy {
namespace {

using namespace std::chrono_literals;

// Jobs meet here; each waits, for a bounded time, until `parties` have come.
class Meeting {
public:
    explicit Meeting(int parties) : parties_(parties) {}
    // True when everybody came in time.
    bool arriveAndWait() {
        std::unique_lock lock(mutex_);
        if (++arrived_ >= parties_)
            all_.notify_all();
        return all_.wait_for(lock, 2s, [this] { return arrived_ >= parties_; });
    }

private:
    const int parties_;
    std::mutex mutex_;
    std::condition_variable all_;
    int arrived_ = 0;
};

// Waits, for a bounded time, until the pool has nothing running or waiting.
bool WaitUntilIdle(const TransferPool& pool) {
    for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(1ms))
        if (pool.pending() == 0)
            return true;
    return false;
}

// A pool whose thread already sits idle must still start more threads for
// jobs that come together: they overlap up to the bound, and one more waits
// until one of them ends.
TEST(TransferPool, JobsSubmittedTogetherOverlapUpToTheBound) {
    Meeting meeting(4);
    std::atomic<int> met{0};
    std::atomic<int> ended{0};
    std::atomic<int> endedBeforeFifth{-1};
    TransferPool pool(4);
    pool.submit([](CancelFlag&) {});
    ASSERT_TRUE(WaitUntilIdle(pool));

    for (int i = 0; i < 4; ++i)
        pool.submit([&](CancelFlag&) {
            if (meeting.arriveAndWait())
                ++met;
            ++ended;
        });
    pool.submit([&](CancelFlag&) { endedBeforeFifth = ended.load(); });
    EXPECT_TRUE(WaitUntilIdle(pool));
    EXPECT_EQ(met, 4) << "the four jobs did not run at the same time";
    EXPECT_GE(endedBeforeFifth, 1) << "the fifth job ran beside the four";
}

TEST(TransferPool, WaitingTransfersStartInTheirOrder) {
    TransferPool pool(1);
    std::mutex mutex;
    std::vector<int> order;
    for (int i = 0; i < 20; ++i)
        pool.submit([&, i](CancelFlag&) {
            std::lock_guard lock(mutex);
            order.push_back(i);
        });
    ASSERT_TRUE(WaitUntilIdle(pool));
    std::vector<int> expected(20);
    for (int i = 0; i < 20; ++i)
        expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(order, expected);
}

TEST(TransferPool, ReleaseCancelsRunningAndDropsWaiting) {
    std::atomic<int> started{0};
    std::atomic<int> sawCancel{0};
    auto begin = std::chrono::steady_clock::now();
    {
        TransferPool pool(2);
        for (int i = 0; i < 6; ++i)
            pool.submit([&](CancelFlag& cancel) {
                ++started;
                // A transfer that would run for a minute unless cancelled.
                for (int t = 0; t < 6000 && !cancel.cancelled(); ++t)
                    std::this_thread::sleep_for(10ms);
                if (cancel.cancelled())
                    ++sawCancel;
            });
        while (started < 2)
            std::this_thread::sleep_for(1ms);
        EXPECT_EQ(pool.pending(), 6u);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    EXPECT_EQ(started, 2) << "waiting transfers never start";
    EXPECT_EQ(sawCancel, 2);
}

} // namespace
} // namespace velmora::proxy
