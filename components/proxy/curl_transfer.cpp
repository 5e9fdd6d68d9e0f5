#include "curl_transfer.h"

#include "wire/link.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace velmora::proxy {

namespace {

// libcurl reads at most this much of a reply at once; larger pieces cost
// fewer calls per byte.
constexpr long kBufferBytes = 512 * 1024;

using Reason = RequestFailure::Reason;

void initialiseOnce() {
    // curl_global_init is not safe to run on two threads at once.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (initialised != CURLE_OK)
        throw RequestFailure(Reason::Failed, "The HTTP library could not start");
}

template <class T> void set(CURL* curl, CURLoption option, T value) {
    curl_easy_setopt(curl, option, value);
}

} // namespace

CurlTransfer::CurlTransfer(const Endpoint& endpoint, const std::string& target,
                           const Timeouts& timeouts, CancelFlag* cancel)
    : endpoint_(endpoint), timeouts_(timeouts), cancel_(cancel),
      errorText_(CURL_ERROR_SIZE + 1, '\0') {
    initialiseOnce();
    curl_ = curl_easy_init();
    if (!curl_)
        throw RequestFailure(Reason::Failed, "The HTTP library could not start");
    const std::string url =
        (endpoint.secure() ? "https://" : "http://") + endpoint.address() + target;
    set(curl_, CURLOPT_URL, url.c_str());
    set(curl_, CURLOPT_PROTOCOLS_STR, "http,https");
    set(curl_, CURLOPT_PATH_AS_IS, 1L);
    set(curl_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // The service is reached directly, whatever proxy the environment names.
    set(curl_, CURLOPT_PROXY, "");
    // Worker threads must not get signals from name look-ups.
    set(curl_, CURLOPT_NOSIGNAL, 1L);
    set(curl_, CURLOPT_TCP_NODELAY, 1L);
    set(curl_, CURLOPT_BUFFERSIZE, kBufferBytes);
    set(curl_, CURLOPT_UPLOAD_BUFFERSIZE, kBufferBytes);
    set(curl_, CURLOPT_ERRORBUFFER, errorText_.data());
    if (!endpoint.caFile.empty())
        set(curl_, CURLOPT_CAINFO, endpoint.caFile.c_str());

    set(curl_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
    // Silence either way for the read timeout ends the request.
    setSilenceLimit(timeouts.read);

    set(curl_, CURLOPT_WRITEFUNCTION, &CurlTransfer::onWrite);
    set(curl_, CURLOPT_WRITEDATA, this);
    set(curl_, CURLOPT_NOPROGRESS, 0L);
    set(curl_, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::onProgress);
    set(curl_, CURLOPT_XFERINFODATA, this);
    set(curl_, CURLOPT_OPENSOCKETFUNCTION, &CurlTransfer::onOpenSocket);
    set(curl_, CURLOPT_OPENSOCKETDATA, this);
    set(curl_, CURLOPT_CLOSESOCKETFUNCTION, &CurlTransfer::onCloseSocket);
    set(curl_, CURLOPT_CLOSESOCKETDATA, this);

    if (!endpoint.token.empty())
        addHeader("X-Velmora-Session: " + endpoint.token);
}

CurlTransfer::~CurlTransfer() {
    curl_easy_cleanup(curl_);
    curl_slist_free_all(headers_);
}

void CurlTransfer::addHeader(const std::string& line) {
    curl_slist* grown = curl_slist_append(headers_, line.c_str());
    if (!grown)
        throw std::bad_alloc();
    headers_ = grown;
}

void CurlTransfer::setMethod(const char* method) {
    set(curl_, CURLOPT_CUSTOMREQUEST, method);
}

void CurlTransfer::postForm(std::string body) {
    form_ = std::move(body);
    set(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form_.size()));
    set(curl_, CURLOPT_POSTFIELDS, form_.c_str());
}

void CurlTransfer::postStream(std::uint64_t length, Source source) {
    source_ = std::move(source);
    set(curl_, CURLOPT_POST, 1L);
    set(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length));
    set(curl_, CURLOPT_READFUNCTION, &CurlTransfer::onRead);
    set(curl_, CURLOPT_READDATA, this);
    addHeader("Content-Type: application/octet-stream");
    // While the body goes out, the peer's silence is a stalled write.
    setSilenceLimit(std::max(timeouts_.read, timeouts_.write));
    // The service takes the body without a "100 Continue" round trip.
    addHeader("Expect:");
}

void CurlTransfer::setSilenceLimit(std::chrono::milliseconds limit) {
    lowSpeedSeconds_ = std::max<long>(1, static_cast<long>((limit.count() + 999) / 1000));
    set(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(curl_, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds_);
}

void CurlTransfer::onBody(std::function<bool(const char*, std::size_t)> body) {
    body_ = std::move(body);
}

std::size_t CurlTransfer::onWrite(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const std::size_t bytes = size * count;
    try {
        if (t->body_ && !t->body_(data, bytes))
            return 0;
    } catch (...) {
        t->callbackError_ = std::current_exception();
        return 0;
    }
    t->bodyBytes_ += bytes;
    return bytes;
}

std::size_t CurlTransfer::onRead(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    try {
        auto given = t->source_(buffer, size * count);
        return given ? *given : CURL_READFUNC_ABORT;
    } catch (...) {
        t->callbackError_ = std::current_exception();
        return CURL_READFUNC_ABORT;
    }
}

int CurlTransfer::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<CurlTransfer*>(self);
    return t->cancel_ && t->cancel_->cancelled() ? 1 : 0;
}

curl_socket_t CurlTransfer::onOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
    auto* t = static_cast<CurlTransfer*>(self);
    std::lock_guard lock(t->socketsMutex_);
    if (t->stopped_)
        return CURL_SOCKET_BAD;
    curl_socket_t fd =
        ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (fd != CURL_SOCKET_BAD)
        t->sockets_.push_back(fd);
    return fd;
}

int CurlTransfer::onCloseSocket(void* self, curl_socket_t socket) {
    auto* t = static_cast<CurlTransfer*>(self);
    {
        std::lock_guard lock(t->socketsMutex_);
        t->sockets_.erase(std::remove(t->sockets_.begin(), t->sockets_.end(), socket),
                          t->sockets_.end());
    }
    return ::close(socket);
}

void CurlTransfer::stopSockets() {
    std::lock_guard lock(socketsMutex_);
    stopped_ = true;
    for (curl_socket_t fd : sockets_)
        ::shutdown(fd, SHUT_RDWR);
}

void CurlTransfer::perform() {
    set(curl_, CURLOPT_HTTPHEADER, headers_);
    CURLcode code;
    if (cancel_) {
        cancel_->attach([this] { stopSockets(); });
        code = curl_easy_perform(curl_);
        cancel_->detach();
        if (cancel_->cancelled())
            throw RequestFailure(Reason::Cancelled, "Cancelled");
    } else {
        code = curl_easy_perform(curl_);
    }
    if (callbackError_)
        std::rethrow_exception(callbackError_);
    if (code != CURLE_OK)
        fail(code);
}

int CurlTransfer::status() const {
    long status = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
    return static_cast<int>(status);
}

std::optional<std::uint64_t> CurlTransfer::contentLength() const {
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(length);
}

std::optional<std::string> CurlTransfer::header(const char* name) const {
    curl_header* found = nullptr;
    if (curl_easy_header(curl_, name, 0, CURLH_HEADER, -1, &found) != CURLHE_OK || !found)
        return std::nullopt;
    return std::string(found->value);
}

void CurlTransfer::lost(std::uint64_t received, std::uint64_t announced) const {
    throw RequestFailure(Reason::ConnectionLost, "The connection to the Velmora service at " +
                                                     endpoint_.address() + " was lost after " +
                                                     std::to_string(received) + " of " +
                                                     std::to_string(announced) + " bytes");
}

void CurlTransfer::fail(CURLcode code) const {
    const std::string where = "the Velmora service at " + endpoint_.address();
    const std::string detail = errorText_[0] ? errorText_.data() : curl_easy_strerror(code);
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        throw RequestFailure(Reason::Unreachable, "Cannot reach " + where + ": Unknown host");
    case CURLE_COULDNT_CONNECT: {
        long err = 0;
        curl_easy_getinfo(curl_, CURLINFO_OS_ERRNO, &err);
        throw RequestFailure(Reason::Unreachable, "Cannot reach " + where + ": " +
                                                      (err ? std::strerror(static_cast<int>(err))
                                                           : "Connection failed"));
    }
    case CURLE_OPERATION_TIMEDOUT: {
        // Before the connection stood (the TLS handshake included) the
        // service could not be reached; after, it did not answer.
        curl_off_t connected = 0;
        curl_easy_getinfo(curl_,
                          endpoint_.secure() ? CURLINFO_APPCONNECT_TIME_T : CURLINFO_CONNECT_TIME_T,
                          &connected);
        if (connected == 0)
            throw RequestFailure(Reason::Unreachable,
                                 "Cannot reach " + where + ": Connection timed out");
        throw RequestFailure(Reason::TimedOut, "No answer from " + where + " within " +
                                                   std::to_string(lowSpeedSeconds_) + " s");
    }
    case CURLE_PARTIAL_FILE:
        if (auto length = contentLength())
            lost(bodyBytes_, *length);
        [[fallthrough]];
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        throw RequestFailure(Reason::ConnectionLost, "The connection to " + where + " was lost");
    case CURLE_SEND_ERROR:
        throw RequestFailure(Reason::ConnectionLost,
                             "The connection to " + where + " was lost while sending");
    case CURLE_PEER_FAILED_VERIFICATION:
        throw RequestFailure(Reason::Untrusted,
                             "The certificate of " + where + " is not trusted: " + detail);
    case CURLE_SSL_CACERT_BADFILE:
        throw RequestFailure(Reason::Untrusted,
                             "The certificate file " + endpoint_.caFile + " cannot be used");
    case CURLE_SSL_CONNECT_ERROR:
        throw RequestFailure(Reason::Unreachable,
                             "Cannot make a secure connection to " + where + ": " + detail);
    case CURLE_WEIRD_SERVER_REPLY:
        throw RequestFailure(Reason::BadReply,
                             "The reply of " + where + " cannot be read: " + detail);
    default:
        throw RequestFailure(Reason::Failed, "Request to " + where + " failed (" + detail + ")");
    }
}

} // namespace velmora::proxy
