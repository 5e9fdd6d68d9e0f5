#pragma once

// How far one transfer has come, told to whoever shows it: bytes done and the
// total, at most one report per interval while the bytes flow, and one last
// report with done equal to total when the transfer completes. The reports of
// a transfer never go backwards, whatever the transfer does underneath (a
// download that starts again from a byte it already had reports nothing until
// it has passed the last byte reported).

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace velmora::proxy {

class TransferProgress {
public:
    using Clock = std::chrono::steady_clock;
    // Receives (done, total) in bytes.
    using Report = std::function<void(std::uint64_t done, std::uint64_t total)>;

    // Ten reports a second at most, per transfer.
    static constexpr std::chrono::milliseconds kInterval{100};

    TransferProgress() = default;
    // An empty report makes a reporter that tells nobody and costs nothing.
    // total may be 0 when it is not known yet. The first report comes one
    // interval after the start, so a short transfer reports only its end.
    TransferProgress(Report report, std::uint64_t total,
                     std::function<Clock::time_point()> now = Clock::now);

    void setTotal(std::uint64_t total) { total_ = total; }
    // Bytes done so far (a position, not a step).
    void update(std::uint64_t doneSoFar);
    // The transfer completed: reports done == total, the total becoming the
    // bytes actually done.
    void finish();

    std::uint64_t done() const { return done_; }
    bool reporting() const { return static_cast<bool>(report_); }

private:
    void send();

    Report report_;
    std::function<Clock::time_point()> now_;
    Clock::time_point last_{};
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
};

// The text a progress message carries in its wParam: "<done> <total>", both
// in bytes and decimal. The done message's context text travels in lParam.
std::string ProgressText(std::uint64_t done, std::uint64_t total);

} // namespace velmora::proxy
