#include "http_backend.h"

#include "errors.h"
#include "router.h"
#include "service.h"
#include "wire/percent.h"

#include <microhttpd.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <netdb.h>
#include <optional>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace velmora::server {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kPageSecurityPolicy =
    "default-src 'none'; media-src 'self'; img-src 'self'; form-action 'self'; "
    "frame-ancestors 'none'; base-uri 'none'";

// Carries a body from the connection's thread to a handler that runs on a
// thread of its own and pulls the body piece by piece, so an upload streams
// to the disk without the connection's thread waiting for the handler's
// whole run.
class BodyPipe {
public:
    // Handler side: feeds the sink until the body ends (true) or the sink
    // or the connection gives up (false).
    bool read(const http::Sink& sink) {
        std::unique_lock lock(mutex_);
        for (;;) {
            demand_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return state_ != State::Idle; });
            demand_ = false;
            if (state_ == State::Ended)
                return true;
            if (state_ == State::Aborted)
                return false;
            lock.unlock();
            bool more = sink(data_, size_);
            lock.lock();
            if (state_ == State::Offered)
                state_ = State::Idle;
            changed_.notify_all();
            if (!more) {
                refused_ = true;
                return false;
            }
        }
    }
    void handlerDone() {
        std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }

    // Connection side: true when the handler asks for the body, false when
    // it finished without.
    bool waitForDemand() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return demand_ || done_; });
        return !done_;
    }
    // Hands one piece over and waits until the handler took it; false when
    // the handler wants no more.
    bool offer(const char* data, std::size_t size) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return demand_ || done_ || refused_; });
        if (done_ || refused_)
            return false;
        data_ = data;
        size_ = size;
        state_ = State::Offered;
        changed_.notify_all();
        changed_.wait(lock, [this] { return state_ != State::Offered || done_; });
        return !refused_ && !done_;
    }
    void end() { finish(State::Ended); }
    void abort() { finish(State::Aborted); }

private:
    enum class State { Idle, Offered, Ended, Aborted };
    void finish(State state) {
        std::lock_guard lock(mutex_);
        if (state_ != State::Ended)
            state_ = state;
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Idle;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    bool demand_ = false;
    bool refused_ = false;
    bool done_ = false;
};

// One request from its headers to the end of its reply.
struct Exchange {
    http::Request request;
    http::Response response;
    Router::Intake intake;
    bool answered = false;
    std::uint64_t received = 0;
    std::string form;
    std::unique_ptr<BodyPipe> pipe;
    std::thread handler;
    bool suspended = false;
    Clock::time_point start = Clock::now();
    std::size_t bytes = 0;

    ~Exchange() {
        if (pipe)
            pipe->abort();
        if (handler.joinable())
            handler.join();
    }
};

// Framing a request must have before its body is read; nothing when it is
// acceptable. Request smuggling lives in the gaps between two readings of
// the same message, so anything ambiguous is refused rather than guessed.
std::optional<Refusal> CheckFraming(const http::Request& req, std::uint64_t& length,
                                    bool& chunked) {
    length = 0;
    chunked = false;
    if (req.hasHeader("Content-Encoding")) {
        std::string coding = req.header("Content-Encoding");
        if (coding != "identity")
            return Refusal{415, "Request bodies must not be encoded", 0};
    }
    auto lengths = req.headers.equal_range("Content-Length");
    bool hasLength = lengths.first != lengths.second;
    if (req.hasHeader("Transfer-Encoding")) {
        if (hasLength)
            return Refusal{400, "Transfer-Encoding and Content-Length together", 0};
        std::string coding = req.header("Transfer-Encoding");
        std::transform(coding.begin(), coding.end(), coding.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (coding != "chunked" || req.headers.count("Transfer-Encoding") > 1)
            return Refusal{501, "Only the chunked transfer coding is understood", 0};
        chunked = true;
        return std::nullopt;
    }
    std::optional<std::string> seen;
    for (auto it = lengths.first; it != lengths.second; ++it) {
        std::stringstream values(it->second);
        std::string value;
        while (std::getline(values, value, ',')) {
            auto first = value.find_first_not_of(" \t");
            auto last = value.find_last_not_of(" \t");
            value = first == std::string::npos ? "" : value.substr(first, last - first + 1);
            if (value.empty() || value.size() > 19 ||
                value.find_first_not_of("0123456789") != std::string::npos ||
                (seen && *seen != value))
                return Refusal{400, "Invalid Content-Length", 0};
            seen = value;
        }
    }
    if (seen)
        length = std::stoull(*seen);
    return std::nullopt;
}

std::string AddressText(const sockaddr* addr) {
    char text[INET6_ADDRSTRLEN] = "";
    if (!addr)
        return {};
    if (addr->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(addr)->sin_addr, text,
                  sizeof text);
    else if (addr->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr, text,
                  sizeof text);
    return text;
}

// Query keys and values are decoded as every client of ours encodes them, a
// "+" being a blank: the names in links ride as "+" for their blanks and
// "%2B" for their plus signs. The request path goes through here as well;
// none of its routes holds a "+".
std::size_t Unescape(void*, MHD_Connection*, char* text) {
    const std::string decoded = wire::PercentDecode(text);
    std::memcpy(text, decoded.data(), decoded.size());
    text[decoded.size()] = '\0';
    return decoded.size();
}

MHD_Result AddValue(void* cls, MHD_ValueKind, const char* key, std::size_t keySize,
                    const char* value, std::size_t valueSize) {
    auto* out = static_cast<std::multimap<std::string, std::string>*>(cls);
    out->emplace(std::string(key, keySize), value ? std::string(value, valueSize) : "");
    return MHD_YES;
}

MHD_Result AddHeader(void* cls, MHD_ValueKind, const char* key, std::size_t keySize,
                     const char* value, std::size_t valueSize) {
    auto* out = static_cast<http::Headers*>(cls);
    out->emplace(std::string(key, keySize), value ? std::string(value, valueSize) : "");
    return MHD_YES;
}

ssize_t ReadStream(void* cls, std::uint64_t pos, char* buffer, std::size_t max) {
    auto* stream = static_cast<http::Stream*>(cls);
    if (pos >= stream->length)
        return MHD_CONTENT_READER_END_OF_STREAM;
    std::uint64_t want = std::min<std::uint64_t>(max, stream->length - pos);
    std::size_t written = 0;
    stream->read(pos, want, [&](const char* data, std::size_t n) {
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, want - written));
        std::memcpy(buffer + written, data, n);
        written += n;
        return written < want;
    });
    if (written == 0)
        return MHD_CONTENT_READER_END_WITH_ERROR;
    return static_cast<ssize_t>(written);
}

void FreeStream(void* cls) {
    auto* stream = static_cast<http::Stream*>(cls);
    if (stream->done)
        stream->done();
    delete stream;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ServiceError(500, "Cannot read " + path.string());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

struct HttpBackend::Impl {
    Impl(const Router& r, const Options& o) : router(r), options(o) {}

    struct Connection {
        int fd = -1;
        bool inRequest = false;
        Clock::time_point since = Clock::now();
    };

    const Router& router;
    const Options& options;
    MHD_Daemon* daemon = nullptr;
    int listenFd = -1;
    std::string cert;
    std::string key;

    std::mutex mutex;
    std::condition_variable changed;
    std::map<MHD_Connection*, Connection> connections;
    int requests = 0;  // under way
    int suspended = 0; // connections waiting for a handler on its own thread
    bool stopping = false;
    bool running = false;
    std::thread reaper;

    MHD_Result access(MHD_Connection* connection, const char* url, const char* method,
                      const char* data, std::size_t* size, void** context);
    MHD_Result first(MHD_Connection* connection, Exchange& e);
    MHD_Result body(MHD_Connection* connection, Exchange& e, const char* data, std::size_t size);
    MHD_Result last(MHD_Connection* connection, Exchange& e);
    MHD_Result refuse(MHD_Connection* connection, Exchange& e, const Refusal& refusal);
    MHD_Result queue(MHD_Connection* connection, Exchange& e);
    void completed(MHD_Connection* connection, Exchange* e);
    void notify(MHD_Connection* connection, MHD_ConnectionNotificationCode code);
    void reap();
    int bind();
};

MHD_Result HttpBackend::Impl::access(MHD_Connection* connection, const char* url,
                                     const char* method, const char* data, std::size_t* size,
                                     void** context) {
    if (!*context) {
        {
            std::lock_guard lock(mutex);
            ++requests;
            auto it = connections.find(connection);
            if (it != connections.end())
                it->second.inRequest = true;
        }
        // The request may take longer between two pieces than a connection
        // may sit idle between requests.
        MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                                  static_cast<unsigned>(std::max(1, options.requestTimeout)));
        auto* e = new Exchange;
        *context = e;
        e->request.method = method;
        e->request.path = url;
        MHD_get_connection_values_n(connection, MHD_GET_ARGUMENT_KIND, &AddValue,
                                    &e->request.params);
        MHD_get_connection_values_n(connection, MHD_HEADER_KIND, &AddHeader, &e->request.headers);
        const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        e->request.remoteAddr = AddressText(info ? info->client_addr : nullptr);
        return first(connection, *e);
    }
    auto& e = *static_cast<Exchange*>(*context);
    if (*size > 0) {
        std::size_t n = *size;
        *size = 0;
        return body(connection, e, data, n);
    }
    return last(connection, e);
}

MHD_Result HttpBackend::Impl::first(MHD_Connection* connection, Exchange& e) {
    std::uint64_t length = 0;
    bool chunked = false;
    if (auto refusal = CheckFraming(e.request, length, chunked))
        return refuse(connection, e, *refusal);
    e.intake = router.intake(e.request.method, e.request.path);
    // A reply queued now would close the connection: requests without a
    // body are answered on the next call, which keeps it alive.
    if (!chunked && length == 0)
        return MHD_YES;
    // A body nobody takes is not read at all.
    if (!e.intake.routed)
        return refuse(connection, e, Refusal{404, "Not found", 0});
    if (!e.intake.streams && (length > e.intake.limit || (chunked && e.intake.limit == 0)))
        return refuse(connection, e, Refusal{413, "Request body too large", 0});
    if (!e.intake.streams)
        return MHD_YES;

    e.pipe = std::make_unique<BodyPipe>();
    BodyPipe* pipe = e.pipe.get();
    e.request.readBody = [pipe](const http::Sink& sink) { return pipe->read(sink); };
    e.handler = std::thread([this, &e, pipe] {
        try {
            router.handle(e.request, e.response);
        } catch (const std::exception& error) {
            Fail(e.response, Router::RefusalOf(error));
        }
        pipe->handlerDone();
    });
    if (pipe->waitForDemand())
        return MHD_YES;
    // Refused before the body: the reply goes out and the connection
    // closes, so the unread body cannot pass for a request.
    e.handler.join();
    e.response.setHeader("Connection", "close");
    return queue(connection, e);
}

MHD_Result HttpBackend::Impl::body(MHD_Connection* connection, Exchange& e, const char* data,
                                   std::size_t size) {
    if (e.answered)
        return MHD_NO;
    e.received += size;
    if (e.received > e.intake.limit) {
        if (!e.pipe)
            return refuse(connection, e, Refusal{413, "Request body too large", 0});
        e.pipe->abort();
    } else if (!e.pipe) {
        e.form.append(data, size);
        return MHD_YES;
    } else if (e.pipe->offer(data, size)) {
        return MHD_YES;
    }
    e.handler.join();
    e.pipe.reset();
    e.response.setHeader("Connection", "close");
    return queue(connection, e);
}

MHD_Result HttpBackend::Impl::last(MHD_Connection* connection, Exchange& e) {
    if (e.answered)
        return MHD_YES;
    if (e.suspended) {
        // Resumed: the handler is done.
        e.handler.join();
        return queue(connection, e);
    }
    if (e.intake.waits && !e.pipe) {
        const std::string& form = e.form;
        e.request.readBody = [&form](const http::Sink& sink) {
            return form.empty() || sink(form.data(), form.size());
        };
        e.suspended = true;
        {
            std::lock_guard lock(mutex);
            ++suspended;
        }
        MHD_suspend_connection(connection);
        e.handler = std::thread([this, &e, connection] {
            try {
                router.handle(e.request, e.response);
            } catch (const std::exception& error) {
                Fail(e.response, Router::RefusalOf(error));
            }
            MHD_resume_connection(connection);
            std::lock_guard lock(mutex);
            --suspended;
            changed.notify_all();
        });
        return MHD_YES;
    }
    if (e.pipe) {
        e.pipe->end();
        e.handler.join();
        e.pipe.reset();
    } else {
        const std::string& form = e.form;
        e.request.readBody = [&form](const http::Sink& sink) {
            return form.empty() || sink(form.data(), form.size());
        };
        router.handle(e.request, e.response);
    }
    return queue(connection, e);
}

MHD_Result HttpBackend::Impl::refuse(MHD_Connection* connection, Exchange& e,
                                     const Refusal& refusal) {
    e.response = http::Response{};
    Fail(e.response, refusal);
    e.response.setHeader("Connection", "close");
    return queue(connection, e);
}

MHD_Result HttpBackend::Impl::queue(MHD_Connection* connection, Exchange& e) {
    http::Response& res = e.response;
    e.answered = true;
    MHD_Response* reply = nullptr;
    std::string type = res.type;
    if (res.stream) {
        auto* stream = new http::Stream(std::move(*res.stream));
        res.stream.reset();
        type = stream->type;
        e.bytes = static_cast<std::size_t>(stream->length);
        reply = MHD_create_response_from_callback(stream->length, 64 * 1024, &ReadStream, stream,
                                                  &FreeStream);
        if (!reply)
            FreeStream(stream);
    } else {
        if (type.empty())
            res.body.clear();
        e.bytes = res.body.size();
        reply = MHD_create_response_from_buffer(res.body.size(), res.body.data(),
                                                MHD_RESPMEM_MUST_COPY);
    }
    if (!reply)
        return MHD_NO;
    for (const auto& [name, value] : res.headers)
        MHD_add_response_header(reply, name.c_str(), value.c_str());
    if (!type.empty())
        MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
    if (type.rfind("text/html", 0) == 0) {
        // The pages show names other people chose; nothing on them may run,
        // frame them or be sniffed into something else.
        MHD_add_response_header(reply, "X-Frame-Options", "DENY");
        MHD_add_response_header(reply, "X-Content-Type-Options", "nosniff");
        MHD_add_response_header(reply, "Content-Security-Policy", kPageSecurityPolicy);
    }
    MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(res.status), reply);
    MHD_destroy_response(reply);
    return queued;
}

void HttpBackend::Impl::completed(MHD_Connection* connection, Exchange* e) {
    if (!e)
        return;
    if (!options.quiet) {
        auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - e->start).count();
        std::fputs(http::LogLine(e->request.remoteAddr, e->request.method, e->request.path,
                                 e->answered ? e->response.status : 0, e->bytes,
                                 static_cast<long long>(ms))
                       .c_str(),
                   stderr);
    }
    delete e;
    MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT,
                              static_cast<unsigned>(std::max(1, options.keepAliveTimeout)));
    std::lock_guard lock(mutex);
    --requests;
    auto it = connections.find(connection);
    if (it != connections.end()) {
        it->second.inRequest = false;
        it->second.since = Clock::now();
    }
    changed.notify_all();
}

void HttpBackend::Impl::notify(MHD_Connection* connection, MHD_ConnectionNotificationCode code) {
    std::lock_guard lock(mutex);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        connections[connection] = Connection{info ? info->connect_fd : -1, false, Clock::now()};
    } else {
        connections.erase(connection);
    }
}

// A client that sends its request line and headers a byte at a time holds
// a connection as long as it likes unless the whole of them has a deadline.
// The library closes the socket it sees shut down; connections leave the
// table before their socket is closed, so no other socket is hit.
void HttpBackend::Impl::reap() {
    const auto deadline = std::chrono::seconds(std::max(1, options.headerTimeout));
    std::unique_lock lock(mutex);
    while (!stopping) {
        changed.wait_for(lock, std::chrono::milliseconds(200));
        auto now = Clock::now();
        for (auto& [connection, c] : connections) {
            if (!c.inRequest && c.fd >= 0 && now - c.since > deadline) {
                ::shutdown(c.fd, SHUT_RDWR);
                c.fd = -1;
            }
        }
    }
}

int HttpBackend::Impl::bind() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    std::string port = std::to_string(options.port);
    if (::getaddrinfo(options.listen.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return -1;
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    bool ok = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
              ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 &&
              // Bursts of pollers connecting at once must not wait for SYN
              // retries.
              ::listen(fd, 4096) == 0;
    ::freeaddrinfo(found);
    if (!ok) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

HttpBackend::HttpBackend(const Router& router, const Options& options)
    : impl_(std::make_unique<Impl>(router, options)) {}

HttpBackend::~HttpBackend() {
    stop();
}

int HttpBackend::start() {
    Impl& impl = *impl_;
    const Options& options = impl.options;
    impl.listenFd = impl.bind();
    if (impl.listenFd < 0)
        throw ServiceError(500, "Cannot listen on " + options.listen + ":" +
                                    std::to_string(options.port));
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(impl.listenFd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    int port = bound.ss_family == AF_INET6
                   ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                   : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
    bool tls = !options.tlsCert.empty() || !options.tlsKey.empty();
    if (tls) {
        impl.cert = ReadWholeFile(options.tlsCert);
        impl.key = ReadWholeFile(options.tlsKey);
        flags |= MHD_USE_TLS;
    }
    auto access = [](void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char* data, std::size_t* size,
                     void** context) -> MHD_Result {
        // Nothing may unwind into the library: a request that fails this
        // way loses its connection, the service stays up.
        try {
            return static_cast<Impl*>(cls)->access(connection, url, method, data, size, context);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "internal error: %s\n", e.what());
            return MHD_NO;
        }
    };
    auto completed =
        +[](void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
            static_cast<Impl*>(cls)->completed(connection, static_cast<Exchange*>(*context));
            *context = nullptr;
        };
    auto notify =
        +[](void* cls, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code) {
            static_cast<Impl*>(cls)->notify(connection, code);
        };
    MHD_OptionItem tlsOptions[] = {
        {tls ? MHD_OPTION_HTTPS_MEM_CERT : MHD_OPTION_END, 0, impl.cert.data()},
        {tls ? MHD_OPTION_HTTPS_MEM_KEY : MHD_OPTION_END, 0, impl.key.data()},
        {MHD_OPTION_END, 0, nullptr},
    };
    impl.daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, +access, &impl, MHD_OPTION_LISTEN_SOCKET, impl.listenFd,
        MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned>(std::max(1, options.threads)),
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(std::max(1, options.maxConnections)),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned>(std::max(1, options.maxClientConnections)),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(options.headerBytes),
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(std::max(1, options.keepAliveTimeout)),
        MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_NOTIFY_COMPLETED, completed, &impl,
        MHD_OPTION_NOTIFY_CONNECTION, notify, &impl, MHD_OPTION_UNESCAPE_CALLBACK, Unescape,
        nullptr, MHD_OPTION_ARRAY, tlsOptions, MHD_OPTION_END);
    if (!impl.daemon) {
        ::close(impl.listenFd);
        impl.listenFd = -1;
        throw ServiceError(500, "Cannot serve on " + options.listen + ":" + std::to_string(port));
    }
    impl.running = true;
    impl.stopping = false;
    impl.reaper = std::thread([&impl] { impl.reap(); });
    return port;
}

void HttpBackend::stop() {
    Impl& impl = *impl_;
    if (!impl.daemon)
        return;
    // No new connections; requests under way get a few seconds, then every
    // connection closes. An upload cut off here was never acknowledged.
    int fd = MHD_quiesce_daemon(impl.daemon);
    if (fd >= 0)
        ::close(fd);
    {
        std::unique_lock lock(impl.mutex);
        impl.changed.wait_for(lock, std::chrono::seconds(5),
                              [&impl] { return impl.requests == 0; });
        // The library must not stop with a connection suspended; those
        // handlers end on their own within their slot wait.
        impl.changed.wait(lock, [&impl] { return impl.suspended == 0; });
        impl.stopping = true;
        impl.changed.notify_all();
    }
    MHD_stop_daemon(impl.daemon);
    impl.daemon = nullptr;
    impl.listenFd = -1;
    if (impl.reaper.joinable())
        impl.reaper.join();
    std::lock_guard lock(impl.mutex);
    impl.running = false;
    impl.changed.notify_all();
}

void HttpBackend::wait() {
    Impl& impl = *impl_;
    std::unique_lock lock(impl.mutex);
    impl.changed.wait(lock, [&impl] { return !impl.running; });
}

} // namespace velmora::server
