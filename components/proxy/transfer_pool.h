#pragma once

// A bounded set of worker threads that run transfers: at most a given number
// at once, the rest wait in the order they came. Threads are started only
// when there is work for them and no idle thread to take it.

#include "service_http.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace velmora::proxy {

class TransferPool {
public:
    // A transfer; it polls its flag (and passes it to the request, which the
    // flag can then abort) and stops early once it is cancelled.
    using Job = std::function<void(CancelFlag&)>;

    explicit TransferPool(std::size_t maxRunning = 4);
    // Cancels the running transfers, drops the waiting ones and waits for
    // the workers, which the cancel releases at once.
    ~TransferPool();
    TransferPool(const TransferPool&) = delete;
    TransferPool& operator=(const TransferPool&) = delete;

    void submit(Job job);

    std::size_t maxRunning() const { return maxRunning_; }
    // Running plus waiting.
    std::size_t pending() const;

private:
    void work();

    const std::size_t maxRunning_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::deque<Job> waiting_;
    std::set<CancelFlag*> running_;
    std::vector<std::thread> threads_;
    // Threads free to claim a waiting job (started ones included).
    std::size_t idle_ = 0;
    bool stopping_ = false;
};

} // namespace velmora::proxy
