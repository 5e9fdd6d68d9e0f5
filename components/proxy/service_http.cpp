#include "service_http.h"

#include "curl_transfer.h"
#include "wire/link.h"
#include "wire/percent.h"

#include <curl/curl.h>

#include <charconv>

namespace velmora::proxy {

namespace {

constexpr std::size_t kMaxReasonBytes = 1000;

using Reason = RequestFailure::Reason;

[[noreturn]] void cancelled() {
    throw RequestFailure(Reason::Cancelled, "Cancelled");
}

// The service puts a one-line reason in the body of a refusal.
std::string refusalText(int status, const std::string& body) {
    std::string reason = body.substr(0, std::min(body.find_first_of("\r\n"), kMaxReasonBytes));
    while (!reason.empty() && (reason.back() == ' ' || reason.back() == '\t'))
        reason.pop_back();
    if (reason.empty())
        return "The Velmora service refused the request (HTTP " + std::to_string(status) + ")";
    return reason;
}

[[noreturn]] void refused(int status, const std::string& body) {
    throw RequestFailure(Reason::Refused, refusalText(status, body), status);
}

bool isSuccess(int status) {
    return status >= 200 && status < 300;
}

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// "bytes FIRST-LAST/TOTAL" of a Content-Range header.
void readContentRange(std::string_view header, Announced& announced) {
    constexpr std::string_view kUnit = "bytes ";
    if (header.substr(0, kUnit.size()) != kUnit)
        return;
    header.remove_prefix(kUnit.size());
    std::size_t dash = header.find('-');
    std::size_t slash = header.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return;
    announced.first = number(header.substr(0, dash));
    announced.total = number(header.substr(slash + 1));
}

// A plain request: the whole body in memory, a refusal thrown.
Reply plain(CurlTransfer& transfer) {
    std::string body;
    transfer.onBody([&](const char* data, std::size_t size) {
        body.append(data, size);
        return true;
    });
    transfer.perform();
    int status = transfer.status();
    if (!isSuccess(status))
        refused(status, body);
    return Reply{status, std::move(body)};
}

} // namespace

HRESULT RequestFailure::hr() const {
    switch (reason_) {
    case Reason::Cancelled:
        return E_ABORT;
    case Reason::Refused:
        switch (status_) {
        case 400:
        case 409:
        case 411:
        case 413:
            return E_INVALIDARG;
        case 401:
        case 403:
            return E_ACCESSDENIED;
        default:
            return E_FAIL;
        }
    default:
        return E_FAIL;
    }
}

std::string Endpoint::address() const {
    return wire::link::HostPort(host, port);
}

bool Endpoint::secure() const {
    return wire::link::SplitHost(host).secure;
}

void CancelFlag::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (stopper_)
        stopper_();
    raised_.notify_all();
}

bool CancelFlag::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void CancelFlag::attach(std::function<void()> stopper) {
    std::lock_guard lock(mutex_);
    stopper_ = std::move(stopper);
}

void CancelFlag::detach() {
    std::lock_guard lock(mutex_);
    stopper_ = nullptr;
}

bool CancelFlag::sleepFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !raised_.wait_for(lock, duration, [this] { return cancelled_; });
}

Reply Get(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts) {
    CurlTransfer transfer(endpoint, target, timeouts);
    return plain(transfer);
}

Reply Post(const Endpoint& endpoint, const std::string& target, const Fields& fields,
           const Timeouts& timeouts) {
    CurlTransfer transfer(endpoint, target, timeouts);
    transfer.postForm(wire::FormEncode(fields));
    return plain(transfer);
}

Reply Delete(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts) {
    CurlTransfer transfer(endpoint, target, timeouts);
    transfer.setMethod("DELETE");
    return plain(transfer);
}

void GetStreamed(const Endpoint& endpoint, const std::string& target,
                 const std::function<bool(const char*, std::size_t)>& sink, CancelFlag& cancel,
                 const Timeouts& timeouts) {
    Announced announced;
    GetStreamedFrom(endpoint, target, 0, sink, cancel, timeouts, announced);
}

void GetStreamedFrom(const Endpoint& endpoint, const std::string& target, std::uint64_t offset,
                     const std::function<bool(const char*, std::size_t)>& sink, CancelFlag& cancel,
                     const Timeouts& timeouts, Announced& announced) {
    if (cancel.cancelled())
        cancelled();
    CurlTransfer transfer(endpoint, target, timeouts, &cancel);
    if (offset > 0)
        transfer.addHeader("Range: bytes=" + std::to_string(offset) + "-");

    bool headersRead = false;
    auto readHeaders = [&] {
        if (headersRead)
            return;
        headersRead = true;
        announced = Announced{};
        announced.status = transfer.status();
        announced.length = transfer.contentLength();
        if (announced.status == 206) {
            if (auto range = transfer.header("Content-Range"))
                readContentRange(*range, announced);
        } else if (isSuccess(announced.status)) {
            announced.total = announced.length;
        }
    };
    std::uint64_t received = 0;
    std::string refusal;
    bool sinkRefused = false;
    transfer.onBody([&](const char* data, std::size_t size) {
        readHeaders();
        if (!isSuccess(announced.status)) {
            if (refusal.size() < kMaxReasonBytes)
                refusal.append(data, std::min(size, kMaxReasonBytes - refusal.size()));
            return true;
        }
        received += size;
        if (!sink(data, size)) {
            sinkRefused = true;
            return false;
        }
        return true;
    });
    try {
        transfer.perform();
    } catch (const RequestFailure&) {
        if (sinkRefused && !cancel.cancelled())
            throw RequestFailure(Reason::LocalWriteFailed, "Writing the received data failed");
        throw;
    }
    readHeaders();
    if (!isSuccess(announced.status))
        refused(announced.status, refusal);
    if (announced.length && received != *announced.length)
        transfer.lost(received, *announced.length);
}

Reply PostStreamed(const Endpoint& endpoint, const std::string& target, std::uint64_t length,
                   const std::function<std::int64_t(char*, std::size_t)>& source,
                   CancelFlag& cancel, const Timeouts& timeouts) {
    if (cancel.cancelled())
        cancelled();
    CurlTransfer transfer(endpoint, target, timeouts, &cancel);
    std::uint64_t sent = 0;
    bool sourceFailed = false;
    transfer.postStream(length, [&](char* buffer, std::size_t size) -> std::optional<std::size_t> {
        // Never more than announced, even when the file grew meanwhile.
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, length - sent));
        if (want == 0)
            return 0;
        std::int64_t got = source(buffer, want);
        if (got <= 0) {
            sourceFailed = true;
            return std::nullopt;
        }
        sent += static_cast<std::uint64_t>(got);
        return static_cast<std::size_t>(got);
    });
    try {
        return plain(transfer);
    } catch (const RequestFailure&) {
        if (sourceFailed && !cancel.cancelled())
            throw RequestFailure(Reason::LocalSourceFailed, "Reading the local file failed");
        throw;
    }
}

} // namespace velmora::proxy
