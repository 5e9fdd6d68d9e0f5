#pragma once

// Requests to the Velmora service. Every request opens its own connection, so
// any thread may make one at any time without sharing a client, and every
// request has connect, read and write timeouts.

#include "com.h"
#include "wire/percent.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::proxy {

// Where the service is and the session to send.
struct Endpoint {
    std::string host;
    int port = 0;
    std::string token;

    // "host:port", as the error texts name the service.
    std::string address() const;
};

struct Timeouts {
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds read{10000};
    std::chrono::milliseconds write{10000};
};

// A request that failed: on the way (no reply) or with a non-2xx status.
// text is readable as it stands: the service's own reason for a refusal, or
// what went wrong with the connection.
class ServiceError : public std::exception {
public:
    ServiceError(HRESULT hr, int status, std::string text)
        : hr_(hr), status_(status), text_(std::move(text)) {}
    HRESULT hr() const { return hr_; }
    // The HTTP status, or 0 when no reply came.
    int status() const { return status_; }
    const std::string& text() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    HRESULT hr_;
    int status_;
    std::string text_;
};

struct Reply {
    int status = 0;
    std::string body;
};

using Fields = wire::FormFields;

inline constexpr const char* kSourceFailed = "Reading the local file failed";

// Lets another thread abort a request that is running: the socket is shut
// down, so a blocked read or write returns at once.
class CancelFlag {
public:
    void cancel();
    bool cancelled() const;

    // Used by the request functions while a request runs.
    void attach(std::function<void()> stopper);
    void detach();

private:
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    std::function<void()> stopper_;
};

// Plain requests; each throws ServiceError unless the status is 2xx.
Reply Get(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts = {});
Reply Post(const Endpoint& endpoint, const std::string& target, const Fields& fields,
           const Timeouts& timeouts = {});
Reply Delete(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts = {});

// A GET whose body goes to sink piece by piece; a false answer from sink
// aborts. Throws ServiceError on failure (the body of a refusal never reaches
// sink) and when fewer bytes arrive than the reply announced.
void GetStreamed(const Endpoint& endpoint, const std::string& target,
                 const std::function<bool(const char*, std::size_t)>& sink, CancelFlag& cancel,
                 const Timeouts& timeouts = {});

// A POST whose body of length bytes is read piece by piece from source, which
// fills the buffer and answers how many bytes it gave (0 or less aborts, and
// the ServiceError then carries kSourceFailed).
Reply PostStreamed(const Endpoint& endpoint, const std::string& target, std::uint64_t length,
                   const std::function<std::int64_t(char*, std::size_t)>& source,
                   CancelFlag& cancel, const Timeouts& timeouts = {});

} // namespace velmora::proxy
