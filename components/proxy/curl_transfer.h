#pragma once

// One HTTP request on a libcurl easy handle: the URL, headers and timeouts
// of an endpoint, the body going out and coming in through callbacks, and
// every transport failure turned into a RequestFailure with a readable text.

#include "service_http.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <curl/curl.h>

namespace velmora::proxy {

class CurlTransfer {
public:
    // With a cancel flag, raising it stops the request at once.
    CurlTransfer(const Endpoint& endpoint, const std::string& target, const Timeouts& timeouts,
                 CancelFlag* cancel = nullptr);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    void addHeader(const std::string& line);
    void setMethod(const char* method);
    // A POST of a form-encoded body.
    void postForm(std::string body);
    // A POST of length bytes of application/octet-stream; source fills the
    // buffer and answers how many bytes it gave, or nothing to abort.
    using Source = std::function<std::optional<std::size_t>(char*, std::size_t)>;
    void postStream(std::uint64_t length, Source source);
    // Every piece of the reply's body; false aborts the request.
    void onBody(std::function<bool(const char*, std::size_t)> body);

    // Runs the request. Throws RequestFailure when it was cancelled or did
    // not complete; a reply of any status counts as complete.
    void perform();

    int status() const;
    std::optional<std::uint64_t> contentLength() const;
    std::optional<std::string> header(const char* name) const;
    // The failure of a body that came short.
    [[noreturn]] void lost(std::uint64_t received, std::uint64_t announced) const;

private:
    static std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onRead(char* buffer, std::size_t size, std::size_t count, void* self);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
    static int onCloseSocket(void* self, curl_socket_t socket);
    // No byte moving either way for this long ends the request.
    void setSilenceLimit(std::chrono::milliseconds limit);
    // Shuts the request's sockets down, so a blocked read or write returns.
    void stopSockets();
    [[noreturn]] void fail(CURLcode code) const;

    Endpoint endpoint_;
    Timeouts timeouts_;
    CancelFlag* cancel_;
    CURL* curl_;
    curl_slist* headers_ = nullptr;
    std::string form_;
    Source source_;
    std::function<bool(const char*, std::size_t)> body_;
    std::uint64_t bodyBytes_ = 0;
    std::exception_ptr callbackError_;
    std::vector<char> errorText_;
    long lowSpeedSeconds_ = 1;

    std::mutex socketsMutex_;
    std::vector<curl_socket_t> sockets_;
    bool stopped_ = false;
};

} // namespace velmora::proxy
