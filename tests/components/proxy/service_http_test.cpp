// Requests to a real velmora-service: each way a request fails gives its own
// reason and the result code the proxy's callers see.

#include "service_http.h"
#include "service_process.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

namespace velmora::test {
namespace {

using proxy::CancelFlag;
using proxy::Endpoint;
using proxy::RequestFailure;
using proxy::Timeouts;
using Reason = RequestFailure::Reason;

// A session of demo-free: the endpoint with its token.
Endpoint SignedIn(int port) {
    Endpoint endpoint{"127.0.0.1", port, {}};
    auto reply = proxy::Post(endpoint, "/session",
                             {{"accountid", "demo-free"}, {"password", "free-demo-1"}});
    std::smatch token;
    if (std::regex_search(reply.body, token, std::regex("token=\"([^\"]+)\"")))
        endpoint.token = token[1];
    return endpoint;
}

struct FailureCase {
    const char* what;
    std::function<void(const Endpoint& session)> request;
    Reason reason;
    int status;
    HRESULT hr;
};

TEST(ServiceHttp, EachFailureCarriesItsReasonStatusAndResult) {
    ServiceProcess service;
    ASSERT_TRUE(service.start());
    const Endpoint session = SignedIn(service.port());
    ASSERT_FALSE(session.token.empty());
    const Endpoint anonymous{"127.0.0.1", service.port(), {}};
    Timeouts quick;
    quick.read = std::chrono::milliseconds(300);

    const std::vector<FailureCase> cases = {
        {"nobody listening",
         [](const Endpoint&) {
             proxy::Get({"127.0.0.1", UnusedPort(), {}}, "/acls");
         },
         Reason::Unreachable, 0, E_FAIL},
        {"no session", [&](const Endpoint&) { proxy::Get(anonymous, "/acls"); }, Reason::Refused,
         401, E_ACCESSDENIED},
        {"bad request", [&](const Endpoint&) { proxy::Post(anonymous, "/session", {}); },
         Reason::Refused, 400, E_INVALIDARG},
        {"no such path", [](const Endpoint& s) { proxy::Get(s, "/nothing-here"); }, Reason::Refused,
         404, E_FAIL},
        {"service frozen",
         [&](const Endpoint& s) {
             service.freeze();
             try {
                 proxy::Get(s, "/acls", quick);
             } catch (...) {
                 service.thaw();
                 throw;
             }
             service.thaw();
         },
         Reason::TimedOut, 0, E_FAIL},
        {"cancelled before it began",
         [](const Endpoint& s) {
             CancelFlag cancel;
             cancel.cancel();
             proxy::GetStreamed(
                 s, "/files/1/3/1", [](const char*, std::size_t) { return true; }, cancel);
         },
         Reason::Cancelled, 0, E_ABORT},
        {"sink refuses",
         [](const Endpoint& s) {
             CancelFlag cancel;
             proxy::GetStreamed(
                 s, "/files/1/3/1", [](const char*, std::size_t) { return false; }, cancel);
         },
         Reason::LocalWriteFailed, 0, E_FAIL},
        {"source fails",
         [](const Endpoint& s) {
             CancelFlag cancel;
             proxy::PostStreamed(
                 s, "/upload?folder=3&name=x.au", 1000,
                 [](char*, std::size_t) -> std::int64_t { return -1; }, cancel);
         },
         Reason::LocalSourceFailed, 0, E_FAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.request(session);
            ADD_FAILURE() << "no failure";
        } catch (const RequestFailure& e) {
            EXPECT_EQ(e.reason(), c.reason) << e.text();
            EXPECT_EQ(e.status(), c.status) << e.text();
            EXPECT_EQ(e.hr(), c.hr) << e.text();
            EXPECT_FALSE(e.text().empty());
        }
    }
}

} // namespace
} // namespace velmora::test
