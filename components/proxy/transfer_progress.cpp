#include "transfer_progress.h"

#include <algorithm>
#include <utility>

namespace velmora::proxy {

TransferProgress::TransferProgress(Report report, std::uint64_t total,
                                   std::function<Clock::time_point()> now)
    : report_(std::move(report)), now_(std::move(now)), total_(total) {
    if (report_)
        last_ = now_();
}

void TransferProgress::update(std::uint64_t doneSoFar) {
    if (!report_ || doneSoFar <= done_)
        return;
    done_ = doneSoFar;
    const Clock::time_point now = now_();
    if (now - last_ < kInterval)
        return;
    last_ = now;
    send();
}

void TransferProgress::finish() {
    if (!report_)
        return;
    total_ = done_;
    send();
}

void TransferProgress::send() {
    // A total that was unknown or too small grows with the bytes: a bar
    // never shows more than all of it.
    total_ = std::max(total_, done_);
    report_(done_, total_);
}

std::string ProgressText(std::uint64_t done, std::uint64_t total) {
    return std::to_string(done) + " " + std::to_string(total);
}

} // namespace velmora::proxy
