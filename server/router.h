#pragma once

// The routes of the service and what runs around every handler: matching,
// who may call, reading a form body within its limit, and turning every
// refusal into a status and a readable reason, in this one place.

#include "http.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace velmora::server {

class Sessions;

// Who may call a route.
enum class Access { Open, Session, SessionOrCookie };

inline constexpr const char* kSessionHeader = "X-Velmora-Session";
inline constexpr const char* kCookieName = "velmora_session";

// What a handler gets: the exchange, its parameters and the signed-in user.
struct Call {
    http::Request& req;
    http::Response& res;
    std::int64_t user = 0; // 0: no session

    bool has(const std::string& name) const;
    // 400 when missing.
    std::string param(const std::string& name) const;
    std::string optionalParam(const std::string& name) const;
    // 400 when missing or not a 32-bit number.
    std::int64_t idParam(const std::string& name) const;
    // A number captured by the route's pattern; 404 when it is out of range.
    std::int64_t pathId(std::size_t index) const;
};

using Handler = std::function<void(Call&)>;

// How a refusal reaches the client.
struct Refusal {
    int status = 500;
    std::string reason;
    int retryAfter = 0; // seconds; 0 when unknown
};

class Router {
public:
    explicit Router(Sessions& sessions) : sessions_(sessions) {}

    // The largest form body; only streaming routes take more.
    static constexpr std::size_t kFormLimit = 64 * 1024;

    void get(const std::string& pattern, Access access, Handler handler);
    // POST and DELETE read a form body into the parameters first.
    void post(const std::string& pattern, Access access, Handler handler);
    void del(const std::string& pattern, Access access, Handler handler);
    // POST with a form whose handler may wait for a shared resource (a
    // password hashing slot): a front runs it off the threads that serve
    // connections, so the wait holds up no other request.
    void postWaiting(const std::string& pattern, Access access, Handler handler);
    // POST whose body the handler reads itself through Request::readBody,
    // up to maxBody bytes.
    void postStream(const std::string& pattern, Access access, Handler handler,
                    std::uint64_t maxBody = kFormLimit);

    // What the route for a request takes as a body, known from its request
    // line alone, so a front can refuse a body before reading any of it.
    struct Intake {
        bool routed = false;  // a route exists for the method and path
        bool streams = false; // the handler reads the body itself
        bool waits = false;   // the handler may wait
        std::uint64_t limit = 0;
    };
    Intake intake(const std::string& method, const std::string& path) const;

    // Runs the route for the request; unknown routes get 404.
    void handle(http::Request& req, http::Response& res) const;

    // The status, reason and wait of a failure, for every kind of error.
    static Refusal RefusalOf(const std::exception& error);

private:
    enum class Body { None, Form, Stream };
    struct Route {
        std::string method;
        std::regex pattern;
        Access access;
        Body body;
        std::uint64_t maxBody;
        Handler handler;
        bool waits = false;
    };
    void add(const char* method, const std::string& pattern, Access access, Body body,
             std::uint64_t maxBody, Handler handler);
    const Route* find(const std::string& method, const std::string& path,
                      std::vector<std::string>* matches) const;
    void run(const Route& route, http::Request& req, http::Response& res) const;

    Sessions& sessions_;
    std::vector<Route> routes_;
};

// A refusal as a one-line text reply.
void Fail(http::Response& res, const Refusal& refusal);

} // namespace velmora::server
