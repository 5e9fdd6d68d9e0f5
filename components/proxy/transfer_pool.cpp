#include "transfer_pool.h"

namespace velmora::proxy {

TransferPool::TransferPool(std::size_t maxRunning) : maxRunning_(maxRunning ? maxRunning : 1) {}

TransferPool::~TransferPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.clear();
        for (CancelFlag* flag : running_)
            flag->cancel();
    }
    wake_.notify_all();
    for (auto& thread : threads_)
        thread.join();
}

void TransferPool::submit(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        waiting_.push_back(std::move(job));
        if (idle_ == 0 && threads_.size() < maxRunning_)
            threads_.emplace_back([this] { work(); });
    }
    wake_.notify_one();
}

std::size_t TransferPool::pending() const {
    std::lock_guard lock(mutex_);
    return waiting_.size() + running_.size();
}

void TransferPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
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
    }
}

} // namespace velmora::proxy
