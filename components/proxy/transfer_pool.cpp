#include "transfer_pool.h"

#include <chrono>

namespace velmora::proxy {

TransferPool::TransferPool(std::size_t maxRunning) : maxRunning_(maxRunning ? maxRunning : 1) {}

TransferPool::~TransferPool() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    waiting_.clear();
    wake_.notify_all();
    // A request cancelled before it had opened its connection cannot be
    // stopped then, and would sit out its read timeout; cancelling again
    // until it ends catches it as soon as the connection exists.
    while (!running_.empty()) {
        for (CancelFlag* flag : running_)
            flag->cancel();
        finished_.wait_for(lock, std::chrono::milliseconds(50));
    }
    lock.unlock();
    for (auto& thread : threads_)
        thread.join();
}

void TransferPool::submit(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        waiting_.push_back(std::move(job));
        // Jobs that come together each need a thread: an idle one that has
        // not yet claimed a job, or a new one while the bound allows.
        if (waiting_.size() > idle_ && threads_.size() < maxRunning_) {
            ++idle_;
            threads_.emplace_back([this] { work(); });
        }
    }
    wake_.notify_one();
}

std::size_t TransferPool::pending() const {
    std::lock_guard lock(mutex_);
    return waiting_.size() + running_.size();
}

// A new thread counts as idle from its start, so jobs submitted before it
// runs do not each start another.
void TransferPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        --idle_;
        if (stopping_)
            return;
        Job job = std::move(waiting_.front());
        waiting_.pop_front();
        CancelFlag flag;
        running_.insert(&flag);
        lock.unlock();
        try {
            job(flag);
        } catch (...) {
            // A transfer reports its own failures; nothing may end the worker.
        }
        lock.lock();
        running_.erase(&flag);
        ++idle_;
        finished_.notify_all();
    }
}

} // namespace velmora::proxy
