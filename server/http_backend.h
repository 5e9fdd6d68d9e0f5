#pragma once

// The HTTP server underneath the router: it accepts connections, turns each
// request into an http::Request, lets the router answer it and sends the
// http::Response back. The only part of the service that knows the HTTP
// library.

#include <atomic>
#include <memory>
#include <thread>

namespace velmora::server {

class Router;
struct Options;

class HttpBackend {
public:
    HttpBackend(const Router& router, const Options& options);
    HttpBackend(const HttpBackend&) = delete;
    HttpBackend& operator=(const HttpBackend&) = delete;
    ~HttpBackend();

    // Binds the address and serves on a thread of its own; returns the port.
    int start();
    void stop();
    // Blocks until the server stops.
    void wait();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::thread thread_;
};

} // namespace velmora::server
