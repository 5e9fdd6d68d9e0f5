#include "router.h"

#include "auth.h"
#include "errors.h"
#include "store_error.h"
#include "text.h"
#include "wire/percent.h"

#include <cstdio>
#include <cstdlib>

namespace velmora::server {

namespace {

int StatusOf(StoreError::Kind kind) {
    switch (kind) {
    case StoreError::Kind::NotFound:
        return 404;
    case StoreError::Kind::NameTaken:
    case StoreError::Kind::Conflict:
        return 409;
    case StoreError::Kind::Forbidden:
        return 403;
    case StoreError::Kind::TooLarge:
        return 413;
    case StoreError::Kind::InvalidInput:
        return 400;
    case StoreError::Kind::NotSignedIn:
        return 401;
    case StoreError::Kind::OutOfSpace:
        return 507;
    case StoreError::Kind::Internal:
        return 500;
    case StoreError::Kind::Unavailable:
        return 503;
    }
    return 500;
}

// A refusal that leaves the rest of the body unread: the connection must not
// take it for the next request.
void FailAndClose(http::Response& res, int status, const std::string& reason) {
    Fail(res, Refusal{status, reason, 0});
    res.setHeader("Connection", "close");
}

} // namespace

bool Call::has(const std::string& name) const {
    return req.params.count(name) > 0;
}

std::string Call::param(const std::string& name) const {
    auto it = req.params.find(name);
    if (it == req.params.end())
        throw ServiceError(400, "Missing parameter: " + name);
    return it->second;
}

std::string Call::optionalParam(const std::string& name) const {
    auto it = req.params.find(name);
    return it == req.params.end() ? std::string() : it->second;
}

std::int64_t Call::idParam(const std::string& name) const {
    auto id = ParseId(param(name));
    if (!id)
        throw ServiceError(400, "Invalid number: " + name);
    return *id;
}

std::int64_t Call::pathId(std::size_t index) const {
    auto id = index < req.matches.size() ? ParseId(req.matches[index]) : std::nullopt;
    if (!id)
        throw ServiceError(404, "Not found");
    return *id;
}

void Fail(http::Response& res, const Refusal& refusal) {
    res.stream.reset();
    res.send(refusal.status, refusal.reason + "\n", http::kText);
    if (refusal.retryAfter > 0)
        res.setHeader("Retry-After", std::to_string(refusal.retryAfter));
}

Refusal Router::RefusalOf(const std::exception& error) {
    if (const auto* e = dynamic_cast<const ServiceError*>(&error))
        return Refusal{e->status(), e->what(), e->retryAfter()};
    if (const auto* e = dynamic_cast<const StoreError*>(&error))
        return Refusal{StatusOf(e->kind()), e->what(),
                       e->kind() == StoreError::Kind::Unavailable ? 1 : 0};
    return Refusal{500, "Internal error", 0};
}

void Router::add(const char* method, const std::string& pattern, Access access, Body body,
                 std::uint64_t maxBody, Handler handler) {
    routes_.push_back(
        Route{method, std::regex(pattern), access, body, maxBody, std::move(handler)});
}

void Router::get(const std::string& pattern, Access access, Handler handler) {
    add("GET", pattern, access, Body::None, 0, std::move(handler));
}

void Router::post(const std::string& pattern, Access access, Handler handler) {
    add("POST", pattern, access, Body::Form, kFormLimit, std::move(handler));
}

void Router::del(const std::string& pattern, Access access, Handler handler) {
    add("DELETE", pattern, access, Body::Form, kFormLimit, std::move(handler));
}

void Router::postStream(const std::string& pattern, Access access, Handler handler,
                        std::uint64_t maxBody) {
    add("POST", pattern, access, Body::Stream, maxBody, std::move(handler));
}

void Router::postWaiting(const std::string& pattern, Access access, Handler handler) {
    add("POST", pattern, access, Body::Form, kFormLimit, std::move(handler));
    routes_.back().waits = true;
}

Router::Intake Router::intake(const std::string& method, const std::string& path) const {
    const Route* route = find(method, path, nullptr);
    if (!route)
        return {};
    return Intake{true, route->body == Body::Stream, route->waits, route->maxBody};
}

const Router::Route* Router::find(const std::string& method, const std::string& path,
                                  std::vector<std::string>* matches) const {
    // A HEAD request is answered like a GET without the body.
    std::string wanted = method == "HEAD" ? std::string("GET") : method;
    for (const auto& route : routes_) {
        std::smatch m;
        if (route.method != wanted || !std::regex_match(path, m, route.pattern))
            continue;
        if (matches) {
            matches->clear();
            for (const auto& part : m)
                matches->push_back(part.str());
        }
        return &route;
    }
    return nullptr;
}

void Router::handle(http::Request& req, http::Response& res) const {
    const Route* route = find(req.method, req.path, &req.matches);
    if (!route) {
        // The body of an unknown route is read and dropped, so the next
        // request on the connection starts where it should.
        if (req.readBody && (req.method == "POST" || req.method == "DELETE")) {
            std::size_t total = 0;
            bool whole = req.readBody([&](const char*, std::size_t length) {
                total += length;
                return total <= kFormLimit;
            });
            if (!whole)
                res.setHeader("Connection", "close");
        }
        res.send(404, "Not found\n", http::kText);
        return;
    }
    if (route->body == Body::Form) {
        if (req.header("Content-Type").rfind("multipart/form-data", 0) == 0) {
            FailAndClose(res, 415, "Use application/x-www-form-urlencoded");
            return;
        }
        std::string body;
        bool tooBig = false;
        bool whole = !req.readBody || req.readBody([&](const char* data, std::size_t length) {
            if (body.size() + length > kFormLimit) {
                tooBig = true;
                return false;
            }
            body.append(data, length);
            return true;
        });
        if (tooBig) {
            FailAndClose(res, 413, "Request body too large");
            return;
        }
        if (!whole) {
            FailAndClose(res, 400, "Incomplete request body");
            return;
        }
        wire::ParseForm(body, req.params);
    }
    run(*route, req, res);
}

void Router::run(const Route& route, http::Request& req, http::Response& res) const {
    try {
        Call call{req, res, 0};
        if (route.access != Access::Open) {
            std::string token = req.header(kSessionHeader);
            if (token.empty() && route.access == Access::SessionOrCookie)
                token = req.cookie(kCookieName);
            if (auto user = sessions_.user(token))
                call.user = *user;
            else if (route.access == Access::Session)
                throw ServiceError(401, "Not signed in");
        }
        route.handler(call);
    } catch (const std::exception& e) {
        if (!dynamic_cast<const ServiceError*>(&e) && !dynamic_cast<const StoreError*>(&e))
            std::fprintf(stderr, "internal error: %s\n", e.what());
        Fail(res, RefusalOf(e));
    }
}

} // namespace velmora::server
