#pragma once

// The HTTP server underneath the router: it accepts connections, turns each
// request into an http::Request, lets the router answer it and sends the
// http::Response back. The only part of the service that knows the HTTP
// library. It bounds what a client can make the service hold: the request
// line and headers, the time to send them, the body a route takes, and the
// connections from one address and in all.

#include <memory>

namespace velmora::server {

class Router;
struct Options;

class HttpBackend {
public:
    HttpBackend(const Router& router, const Options& options);
    HttpBackend(const HttpBackend&) = delete;
    HttpBackend& operator=(const HttpBackend&) = delete;
    ~HttpBackend();

    // Binds the address and serves on threads of its own; returns the port.
    int start();
    // Stops taking connections, gives requests under way a few seconds to
    // finish and closes the rest.
    void stop();
    // Blocks until the server stops.
    void wait();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace velmora::server
