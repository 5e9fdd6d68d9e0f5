#include "resumable_transfer.h"

#include <optional>

namespace velmora::proxy {

namespace {

using Reason = RequestFailure::Reason;

[[noreturn]] void cancelled() {
    throw RequestFailure(Reason::Cancelled, "Cancelled");
}

std::string tries(std::size_t count) {
    return " (" + std::to_string(count) + (count == 1 ? " try)" : " tries)");
}

} // namespace

void GetResumable(const Endpoint& endpoint, const std::string& target,
                  const std::function<bool(const char*, std::size_t)>& sink, CancelFlag& cancel,
                  const Timeouts& timeouts, const RetryPauses& retry) {
    std::uint64_t received = 0;
    std::optional<std::uint64_t> total;
    // What ended the last try that got through to the service.
    std::optional<RequestFailure> lost;
    for (std::size_t attempt = 0;; ++attempt) {
        const std::uint64_t offset = received;
        Announced announced;
        bool checked = false;
        bool mismatch = false;
        // A reply's bytes reach sink only once its headers show that they
        // continue the file exactly.
        auto check = [&] {
            checked = true;
            if (offset == 0) {
                total = announced.total;
                return true;
            }
            mismatch =
                announced.status != 206 || announced.first != offset || announced.total != total;
            return !mismatch;
        };
        try {
            GetStreamedFrom(
                endpoint, target, offset,
                [&](const char* data, std::size_t size) {
                    if (!checked && !check())
                        return false;
                    if (!sink(data, size))
                        return false;
                    received += size;
                    return true;
                },
                cancel, timeouts, announced);
            if (!checked && offset > 0)
                check();
        } catch (const RequestFailure& e) {
            if (mismatch)
                break;
            // A lost connection is tried again, and so is a service that
            // cannot be reached after one: it may be back after a pause, and
            // the loss stays the reason to tell. A rest can only be checked
            // against the size the first reply announced; with nothing
            // received yet, the download starts afresh.
            const bool isLost = e.reason() == Reason::ConnectionLost;
            if (isLost)
                lost = e;
            if (!(isLost || (lost && e.reason() == Reason::Unreachable)) ||
                (received > 0 && !total))
                throw;
            if (attempt >= retry.pauses.size())
                throw RequestFailure(lost->reason(), lost->text() + tries(attempt + 1));
            if (!cancel.sleepFor(retry.pauses[attempt]))
                cancelled();
            continue;
        }
        if (mismatch)
            break;
        if (total && received != *total)
            throw RequestFailure(Reason::ConnectionLost,
                                 "The download from the Velmora service at " + endpoint.address() +
                                     " ended after " + std::to_string(received) + " of " +
                                     std::to_string(*total) + " bytes");
        return;
    }
    throw RequestFailure(Reason::BadReply, "The Velmora service at " + endpoint.address() +
                                               " did not resume the download where it stopped");
}

Reply PostRetried(const Endpoint& endpoint, const std::string& target, std::uint64_t length,
                  const std::function<std::int64_t(char*, std::size_t)>& source,
                  const std::function<bool()>& rewind, CancelFlag& cancel, const Timeouts& timeouts,
                  std::chrono::milliseconds pause) {
    std::optional<RequestFailure> lost;
    for (int attempt = 0;; ++attempt) {
        std::uint64_t sent = 0;
        try {
            return PostStreamed(
                endpoint, target, length,
                [&](char* buffer, std::size_t size) {
                    std::int64_t got = source(buffer, size);
                    if (got > 0)
                        sent += static_cast<std::uint64_t>(got);
                    return got;
                },
                cancel, timeouts);
        } catch (const RequestFailure& e) {
            if (attempt > 0) {
                // A service that cannot be reached again leaves the loss
                // as the reason to tell.
                if (e.reason() == Reason::Unreachable && lost)
                    throw *lost;
                throw;
            }
            if (length <= kRetriedUploadBytes || e.reason() != Reason::ConnectionLost ||
                sent >= length || !rewind())
                throw;
            lost = e;
            if (!cancel.sleepFor(pause))
                cancelled();
        }
    }
}

} // namespace velmora::proxy
