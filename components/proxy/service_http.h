#pragma once

// Requests to the Velmora service over libcurl. Every request opens its own
// connection, so any thread may make one at any time without sharing a
// client, and every request has connect and read timeouts. A host written as
// "https://name" is reached over TLS, its certificate checked against the
// system's store or the endpoint's CA file.
//
// How a failure travels from the wire to the user:
//  1. A request that does not succeed throws RequestFailure: its reason (for
//     the code to decide on), the HTTP status of a refusal, and a readable
//     text (for the user, never compared).
//  2. Each ServiceProxy call catches it at its edge: the text becomes the
//     calling thread's last error text (ErrorStore), and a ComError carrying
//     the failure's HRESULT and IServiceProxy's id is thrown to the caller.
//     The objects of the model fail the same way with their own interface id.
//     Two exceptions: Login throws nothing (the caller reads the signed-in
//     flag, then the sign-in failure text), and a transfer, which runs on the
//     pool after its call returned, ends with its text in the done message.
//  3. ServiceClient's operations catch the ComError, append the proxy's last
//     error text (read on the same thread) to its own last error, and return
//     false, 0, null or an empty text. Its Login replaces the last error
//     instead, with the sign-in failure text or the ComError's own message.
//  4. The caller shows ServiceClient's last error in a message box.

#include "com.h"
#include "wire/percent.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::proxy {

// Where the service is and the session to send.
struct Endpoint {
    Endpoint() = default;
    Endpoint(std::string host, int port, std::string token, std::string caFile = {})
        : host(std::move(host)), port(port), token(std::move(token)), caFile(std::move(caFile)) {}

    std::string host; // "name", "http://name" or "https://name"
    int port = 0;
    std::string token;
    // PEM certificates to trust instead of the system's store; empty for the
    // system's store.
    std::string caFile;

    // "name:port", as the error texts name the service.
    std::string address() const;
    // True when the host asks for TLS.
    bool secure() const;
};

// Silence ends a request: no byte moving either way for the read timeout,
// or while an upload's body goes out for the longer of the read and write
// timeouts. Both count in whole seconds, at least one.
struct Timeouts {
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds read{10000};
    std::chrono::milliseconds write{10000};
};

// A request that did not succeed, and why.
class RequestFailure : public std::exception {
public:
    enum class Reason {
        Unreachable,       // no connection could be made
        TimedOut,          // connected, but no answer within the read timeout
        ConnectionLost,    // the connection broke, or the body came short
        Cancelled,         // the request's CancelFlag stopped it
        Refused,           // the service answered with a non-2xx status
        BadReply,          // a reply that cannot be read
        LocalSourceFailed, // an upload's source gave no more bytes
        LocalWriteFailed,  // a download's sink would not take the bytes
        Untrusted,         // the service's TLS certificate was not accepted
        Failed,            // anything else the HTTP library reports
    };

    RequestFailure(Reason reason, std::string text, int status = 0)
        : reason_(reason), status_(status), text_(std::move(text)) {}
    Reason reason() const { return reason_; }
    // The HTTP status of a refusal, 0 otherwise.
    int status() const { return status_; }
    // The result code the proxy's caller sees for it.
    HRESULT hr() const;
    // Readable as it stands: the service's own reason for a refusal, or what
    // went wrong on the way.
    const std::string& text() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    Reason reason_;
    int status_;
    std::string text_;
};

struct Reply {
    int status = 0;
    std::string body;
};

using Fields = wire::FormFields;

// Lets another thread abort a request that is running: the socket is shut
// down, so a blocked read or write returns at once. It also stops a wait
// between tries.
class CancelFlag {
public:
    void cancel();
    bool cancelled() const;

    // Used by the request functions while a request runs.
    void attach(std::function<void()> stopper);
    void detach();
    // Waits until the time has passed (true) or the flag is raised (false).
    bool sleepFor(std::chrono::milliseconds duration);

private:
    mutable std::mutex mutex_;
    std::condition_variable raised_;
    bool cancelled_ = false;
    std::function<void()> stopper_;
};

// Plain requests; each throws RequestFailure unless the status is 2xx.
Reply Get(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts = {});
Reply Post(const Endpoint& endpoint, const std::string& target, const Fields& fields,
           const Timeouts& timeouts = {});
Reply Delete(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts = {});

// A GET whose body goes to sink piece by piece; a false answer from sink
// aborts (LocalWriteFailed). Throws RequestFailure on failure (the body of a
// refusal never reaches sink) and when fewer bytes arrive than the reply
// announced.
void GetStreamed(const Endpoint& endpoint, const std::string& target,
                 const std::function<bool(const char*, std::size_t)>& sink, CancelFlag& cancel,
                 const Timeouts& timeouts = {});

// What the reply of a streamed GET announced; filled in as soon as its
// headers arrive, so it stays readable when the body is cut short.
struct Announced {
    int status = 0;
    std::optional<std::uint64_t> length; // bytes of this reply's body
    std::optional<std::uint64_t> first;  // of a 206: where its bytes begin
    std::optional<std::uint64_t> total;  // the whole file's size
};

// GetStreamed from byte offset on, asked for with a Range header when offset
// is not 0; announced tells what the reply said about its bytes.
void GetStreamedFrom(const Endpoint& endpoint, const std::string& target, std::uint64_t offset,
                     const std::function<bool(const char*, std::size_t)>& sink, CancelFlag& cancel,
                     const Timeouts& timeouts, Announced& announced);

// A POST whose body of length bytes is read piece by piece from source, which
// fills the buffer and answers how many bytes it gave (0 or less aborts with
// LocalSourceFailed).
Reply PostStreamed(const Endpoint& endpoint, const std::string& target, std::uint64_t length,
                   const std::function<std::int64_t(char*, std::size_t)>& source,
                   CancelFlag& cancel, const Timeouts& timeouts = {});

} // namespace velmora::proxy
