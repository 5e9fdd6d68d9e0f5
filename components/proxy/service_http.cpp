#include "service_http.h"

#include "wire/link.h"
#include "wire/percent.h"

#include <httplib.h>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora::proxy {

namespace {

constexpr std::size_t kMaxReasonBytes = 1000;
constexpr std::size_t kUploadChunk = 256 * 1024;

template <class Duration> std::pair<time_t, time_t> secUsec(Duration d) {
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    return {static_cast<time_t>(us / 1000000), static_cast<time_t>(us % 1000000)};
}

std::unique_ptr<httplib::Client> makeClient(const Endpoint& endpoint, const Timeouts& timeouts) {
    auto client = std::make_unique<httplib::Client>(endpoint.host, endpoint.port);
    // Without it every small request waits for the peer's delayed ACK.
    client->set_tcp_nodelay(true);
    client->set_keep_alive(false);
    auto [cs, cu] = secUsec(timeouts.connect);
    client->set_connection_timeout(cs, cu);
    auto [rs, ru] = secUsec(timeouts.read);
    client->set_read_timeout(rs, ru);
    auto [ws, wu] = secUsec(timeouts.write);
    client->set_write_timeout(ws, wu);
    return client;
}

httplib::Headers sessionHeaders(const Endpoint& endpoint) {
    httplib::Headers headers;
    if (!endpoint.token.empty())
        headers.emplace("X-Velmora-Session", endpoint.token);
    return headers;
}

// Why a connection could not be made: httplib keeps only "Connection", so
// one more attempt asks the system for the reason.
std::string connectFailureReason(const Endpoint& endpoint) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string port = std::to_string(endpoint.port);
    int rc = getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0)
        return std::string("Unknown host (") + gai_strerror(rc) + ")";
    std::string reason = "Connection failed";
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          ai->ai_protocol);
        if (fd < 0)
            continue;
        int err = 0;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                int ready = ::poll(&p, 1, 1000);
                if (ready == 0) {
                    err = ETIMEDOUT;
                } else {
                    socklen_t len = sizeof err;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                        err = errno;
                }
            }
        }
        ::close(fd);
        if (err != 0) {
            reason = std::strerror(err);
            break;
        }
    }
    freeaddrinfo(found);
    return reason;
}

using Reason = RequestFailure::Reason;

[[noreturn]] void cancelled() {
    throw RequestFailure(Reason::Cancelled, "Cancelled");
}

[[noreturn]] void throwTransport(httplib::Error error, const Endpoint& endpoint,
                                 const Timeouts& timeouts,
                                 std::chrono::steady_clock::time_point started) {
    const std::string where = "the Velmora service at " + endpoint.address();
    switch (error) {
    case httplib::Error::Connection:
        throw RequestFailure(Reason::Unreachable,
                             "Cannot reach " + where + ": " + connectFailureReason(endpoint));
    case httplib::Error::ConnectionTimeout:
        throw RequestFailure(Reason::Unreachable,
                             "Cannot reach " + where + ": Connection timed out");
    case httplib::Error::Read: {
        auto waited = std::chrono::steady_clock::now() - started;
        if (waited + std::chrono::milliseconds(200) >= timeouts.read)
            throw RequestFailure(Reason::TimedOut,
                                 "No answer from " + where + " within " +
                                     std::to_string(timeouts.read.count() / 1000) + " s");
        throw RequestFailure(Reason::ConnectionLost, "The connection to " + where + " was lost");
    }
    case httplib::Error::Write:
        throw RequestFailure(Reason::ConnectionLost,
                             "The connection to " + where + " was lost while sending");
    case httplib::Error::Canceled:
        cancelled();
    default:
        throw RequestFailure(Reason::Failed,
                             "Request to " + where + " failed (" + httplib::to_string(error) + ")");
    }
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

Reply finish(httplib::Result& result, const Endpoint& endpoint, const Timeouts& timeouts,
             std::chrono::steady_clock::time_point started) {
    if (!result)
        throwTransport(result.error(), endpoint, timeouts, started);
    if (!isSuccess(result->status))
        refused(result->status, result->body);
    return Reply{result->status, std::move(result->body)};
}

// Keeps a request cancellable while it runs.
class Attached {
public:
    Attached(CancelFlag& flag, httplib::Client& client) : flag_(flag) {
        flag_.attach([&client] { client.stop(); });
    }
    ~Attached() { flag_.detach(); }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;

private:
    CancelFlag& flag_;
};

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

void CancelFlag::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (stopper_)
        stopper_();
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

Reply Get(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts) {
    auto client = makeClient(endpoint, timeouts);
    auto started = std::chrono::steady_clock::now();
    auto result = client->Get(target, sessionHeaders(endpoint));
    return finish(result, endpoint, timeouts, started);
}

Reply Post(const Endpoint& endpoint, const std::string& target, const Fields& fields,
           const Timeouts& timeouts) {
    auto client = makeClient(endpoint, timeouts);
    auto started = std::chrono::steady_clock::now();
    auto result = client->Post(target, sessionHeaders(endpoint), wire::FormEncode(fields),
                               "application/x-www-form-urlencoded");
    return finish(result, endpoint, timeouts, started);
}

Reply Delete(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts) {
    auto client = makeClient(endpoint, timeouts);
    auto started = std::chrono::steady_clock::now();
    auto result = client->Delete(target, sessionHeaders(endpoint));
    return finish(result, endpoint, timeouts, started);
}

void GetStreamed(const Endpoint& endpoint, const std::string& target,
                 const std::function<bool(const char*, std::size_t)>& sink, CancelFlag& cancel,
                 const Timeouts& timeouts) {
    auto client = makeClient(endpoint, timeouts);
    Attached attached(cancel, *client);
    if (cancel.cancelled())
        cancelled();

    int status = 0;
    std::uint64_t announced = 0;
    bool hasLength = false;
    std::uint64_t received = 0;
    std::string refusal;
    bool sinkRefused = false;
    auto started = std::chrono::steady_clock::now();
    auto result = client->Get(
        target, sessionHeaders(endpoint),
        [&](const httplib::Response& response) {
            status = response.status;
            if (response.has_header("Content-Length")) {
                hasLength = true;
                announced =
                    std::strtoull(response.get_header_value("Content-Length").c_str(), nullptr, 10);
            }
            return !cancel.cancelled();
        },
        [&](const char* data, std::size_t size) {
            if (cancel.cancelled())
                return false;
            if (!isSuccess(status)) {
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
    if (cancel.cancelled())
        cancelled();
    if (sinkRefused)
        throw RequestFailure(Reason::LocalWriteFailed, "Writing the received data failed");
    if (!result)
        throwTransport(result.error(), endpoint, timeouts, started);
    if (!isSuccess(result->status))
        refused(result->status, refusal);
    if (hasLength && received != announced)
        throw RequestFailure(Reason::ConnectionLost, "The connection to the Velmora service at " +
                                                         endpoint.address() + " was lost after " +
                                                         std::to_string(received) + " of " +
                                                         std::to_string(announced) + " bytes");
}

Reply PostStreamed(const Endpoint& endpoint, const std::string& target, std::uint64_t length,
                   const std::function<std::int64_t(char*, std::size_t)>& source,
                   CancelFlag& cancel, const Timeouts& timeouts) {
    auto client = makeClient(endpoint, timeouts);
    Attached attached(cancel, *client);
    if (cancel.cancelled())
        cancelled();

    std::vector<char> buffer(kUploadChunk);
    bool sourceFailed = false;
    bool sendFailed = false;
    auto started = std::chrono::steady_clock::now();
    auto result = client->Post(
        target, sessionHeaders(endpoint), static_cast<std::size_t>(length),
        [&](std::size_t, std::size_t want, httplib::DataSink& sink) {
            if (cancel.cancelled())
                return false;
            std::int64_t got = source(buffer.data(), std::min(want, buffer.size()));
            if (got <= 0) {
                sourceFailed = true;
                return false;
            }
            if (!sink.write(buffer.data(), static_cast<std::size_t>(got))) {
                sendFailed = true;
                return false;
            }
            return true;
        },
        "application/octet-stream");
    if (cancel.cancelled())
        cancelled();
    if (sourceFailed)
        throw RequestFailure(Reason::LocalSourceFailed, "Reading the local file failed");
    // httplib reports a body it could not send as cancelled.
    if (sendFailed)
        throwTransport(httplib::Error::Write, endpoint, timeouts, started);
    return finish(result, endpoint, timeouts, started);
}

} // namespace velmora::proxy
