// PostgreSQL restarted while a client keeps changing its library: during the
// outage every answer is a clear 503 within the client's timeout, and
// afterwards every change that got a 2xx is there.

#include "harness.h"
#include "postgres_cluster.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <thread>

namespace velmora::server::test {
namespace {

std::set<std::string> FolderNames(const Element& model) {
    std::set<std::string> names;
    std::function<void(const Element&)> walk = [&](const Element& e) {
        if (e.name == "folder")
            names.insert(e.decoded("name"));
        for (const Element& child : e.children)
            walk(child);
    };
    walk(model);
    return names;
}

TEST(ServerPostgresRestart, OutageAnswersAre503AndNoCommittedChangeIsLost) {
    ServiceFixture fx({}, Backend::Postgres);
    TestUser u = fx.addUser("alice");
    std::atomic<bool> running{true};
    std::atomic<bool> restarted{false};
    std::atomic<int> afterRestart{0};
    std::vector<std::string> committed;
    std::map<int, int> statuses; // status (0: no answer within the timeout) -> count
    std::thread client([&] {
        httplib::Client http("127.0.0.1", fx.port());
        http.set_connection_timeout(5, 0);
        http.set_read_timeout(5, 0);
        for (int i = 0; running; ++i) {
            std::string name = "folder " + std::to_string(i);
            auto r = http.Post("/folders", {{"X-Velmora-Session", u.token}},
                               httplib::Params{{"parent", "1"}, {"name", name}});
            int status = r ? r->status : 0;
            ++statuses[status];
            if (status == 201) {
                committed.push_back(name);
                if (restarted)
                    ++afterRestart;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    auto& cluster = velmora::test::PostgresCluster::Shared();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    cluster.stop();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    cluster.start();
    restarted = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (afterRestart < 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    running = false;
    client.join();

    EXPECT_GT(statuses[503], 0);
    for (const auto& [status, count] : statuses)
        EXPECT_TRUE(status == 201 || status == 503) << count << " answers of status " << status;
    EXPECT_GE(afterRestart.load(), 10);
    std::set<std::string> names = FolderNames(ParseXml(fx.client().get("/account", u.token).body));
    for (const std::string& name : committed)
        EXPECT_TRUE(names.count(name)) << name;
}

} // namespace
} // namespace velmora::server::test
