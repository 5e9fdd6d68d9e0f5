#include "http_backend.h"

#include "errors.h"
#include "router.h"
#include "service.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <sys/socket.h>

namespace velmora::server {

namespace {

thread_local std::chrono::steady_clock::time_point t_requestStart;

http::Request Translate(const httplib::Request& req) {
    http::Request out;
    out.method = req.method;
    out.path = req.path;
    out.params = http::Params(req.params.begin(), req.params.end());
    out.headers = http::Headers(req.headers.begin(), req.headers.end());
    out.remoteAddr = req.remote_addr;
    return out;
}

void Answer(const httplib::Request& req, http::Response& from, httplib::Response& to) {
    // Ranges are the service's own business: the library would cut its
    // ranges out of any reply otherwise.
    const_cast<httplib::Request&>(req).ranges.clear();
    to.status = from.status;
    for (const auto& [name, value] : from.headers)
        to.set_header(name, value);
    if (from.stream) {
        auto stream = std::make_shared<http::Stream>(std::move(*from.stream));
        to.set_content_provider(
            static_cast<size_t>(stream->length), stream->type,
            [stream](size_t offset, size_t length, httplib::DataSink& sink) {
                return stream->read(offset, length, [&sink](const char* data, std::size_t n) {
                    return sink.write(data, n);
                });
            },
            [stream](bool) {
                if (stream->done)
                    stream->done();
            });
    } else if (!from.type.empty()) {
        to.set_content(from.body, from.type.c_str());
    }
}

} // namespace

struct HttpBackend::Impl {
    Impl(const Router& r, const Options& o) : router(r), options(o) {}
    const Router& router;
    const Options& options;
    httplib::Server server;
};

HttpBackend::HttpBackend(const Router& router, const Options& options)
    : impl_(std::make_unique<Impl>(router, options)) {}

HttpBackend::~HttpBackend() {
    stop();
}

int HttpBackend::start() {
    auto& http = impl_->server;
    const Router& router = impl_->router;
    const Options& options = impl_->options;
    int threads = std::max(4, options.threads);
    http.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<size_t>(threads));
    };
    http.set_tcp_nodelay(true);
    http.set_keep_alive_max_count(1000);
    http.set_keep_alive_timeout(std::max(0, options.keepAliveTimeout));
    http.set_read_timeout(10, 0);
    http.set_write_timeout(10, 0);
    // The upload route counts bytes itself; this bounds what the library
    // accepts before any route sees the request.
    http.set_payload_max_length(static_cast<size_t>(options.maxUploadBytes));

    http.set_pre_routing_handler([&router](const httplib::Request& req, httplib::Response& res) {
        t_requestStart = std::chrono::steady_clock::now();
        http::Response refusal;
        if (!router.screen(Translate(req), refusal))
            return httplib::Server::HandlerResponse::Unhandled;
        Answer(req, refusal, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    auto withBody = [&router](const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader& reader) {
        http::Request request = Translate(req);
        request.readBody = [&reader](const http::Sink& sink) {
            return reader([&sink](const char* data, size_t length) { return sink(data, length); });
        };
        http::Response response;
        router.handle(request, response);
        Answer(req, response, res);
    };
    auto withoutBody = [&router](const httplib::Request& req, httplib::Response& res) {
        http::Request request = Translate(req);
        http::Response response;
        router.handle(request, response);
        Answer(req, response, res);
    };
    http.Get(".*", withoutBody);
    http.Post(".*", withBody);
    http.Delete(".*", withBody);

    const bool quiet = options.quiet;
    http.set_logger([quiet](const httplib::Request& req, const httplib::Response& res) {
        if (quiet)
            return;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - t_requestStart)
                      .count();
        std::fputs(http::LogLine(req.remote_addr, req.method, req.path, res.status, res.body.size(),
                                 static_cast<long long>(ms))
                       .c_str(),
                   stderr);
    });
    // What the library refuses on its own (a method it has no route for, a
    // malformed request) still gets a readable reason.
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(res.status == 404 ? "Not found\n" : "Request refused\n", http::kText);
    });

    // The library listens with a backlog of a few connections; bursts of
    // pollers connecting at once then wait for SYN retries (a whole second).
    // Remember the listening socket to give it a real backlog after bind.
    auto listenFd = std::make_shared<std::atomic<int>>(-1);
    http.set_socket_options([listenFd](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        int none = -1;
        listenFd->compare_exchange_strong(none, sock);
    });

    int port = options.port == 0
                   ? http.bind_to_any_port(options.listen)
                   : (http.bind_to_port(options.listen, options.port) ? options.port : -1);
    if (port <= 0)
        throw ServiceError(500, "Cannot listen on " + options.listen + ":" +
                                    std::to_string(options.port));
    if (*listenFd >= 0)
        ::listen(*listenFd, 4096);
    thread_ = std::thread([this] { impl_->server.listen_after_bind(); });
    // A stop() before the accept loop runs would be lost: the library only
    // stops a server that is already running.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!http.is_running()) {
        if (std::chrono::steady_clock::now() > deadline)
            throw ServiceError(500, "The server did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return port;
}

void HttpBackend::stop() {
    if (impl_)
        impl_->server.stop();
    if (thread_.joinable())
        thread_.join();
}

void HttpBackend::wait() {
    if (thread_.joinable())
        thread_.join();
}

} // namespace velmora::server
