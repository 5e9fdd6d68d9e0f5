// The real executable: command line, restart after SIGKILL, clean stop on
// SIGTERM; and the seeded demo and benchmark data.

#include "harness.h"
#include "seed.h"
#include "service_process.h"

#include <gtest/gtest.h>

#include <csignal>

#include <chrono>
#include <fstream>
#include <limits>
#include <sstream>

namespace velmora::server::test {
namespace {

std::string Id(std::int64_t n) {
    return std::to_string(n);
}

using Process = std::unique_ptr<velmora::test::ServiceProcess>;

// The service on the test's data folder with the given arguments; with
// defaults, also the cheap hash and no request log.
Process Launch(const TempDir& dir, const QStringList& more, bool defaults = true) {
    auto p = std::make_unique<velmora::test::ServiceProcess>(
        QString::fromStdString(dir.path().string()));
    QStringList args = defaults ? QStringList{"--hash-cost", "test", "--quiet"} : QStringList{};
    EXPECT_TRUE(p->launch(args + more));
    return p;
}

TEST(ServerProcess, CommittedChangesSurviveSigkillAndSigtermStopsCleanly) {
    TempDir dir;
    {
        Process admin = Launch(dir, {"--add-user", "alice", "--password", "pw-alice",
                                     "--first-name", "Alice", "--tier", "plus"});
        EXPECT_FALSE(admin->waitForLine("user alice id ").isEmpty());
        EXPECT_EQ(admin->finish(0), 0);
    }
    std::string token;
    std::int64_t folder = 0, file = 0;
    const std::string bytes = RandomBytes(200000, 11);
    {
        Process first = Launch(dir, {"--port", "0"});
        int port = first->waitForPort();
        ASSERT_GT(port, 0);
        Client http(port);
        token = http.signIn("alice", "pw-alice");
        ASSERT_FALSE(token.empty());
        Reply f = http.post("/folders", {{"parent", "1"}, {"name", "Kept"}}, token);
        ASSERT_EQ(f.status, 201);
        folder = std::stoll(ParseXml(f.body).attr("id"));
        httplib::Client c("127.0.0.1", port);
        auto up = c.Post("/upload?folder=" + Id(folder) + "&name=kept.mp3",
                         {{"X-Velmora-Session", token}}, bytes, "application/octet-stream");
        ASSERT_TRUE(up);
        ASSERT_EQ(up->status, 201);
        file = std::stoll(ParseXml(up->body).attr("id"));
        ASSERT_EQ(
            http.post("/messages", {{"user", "1"}, {"acl", "-1"}, {"text", "note to self"}}, token)
                .status,
            200);
        EXPECT_EQ(first->finish(SIGKILL), 128 + SIGKILL);
    }
    {
        Process second = Launch(dir, {"--port", "0"});
        int port = second->waitForPort();
        ASSERT_GT(port, 0);
        Client http(port);
        // The session outlives the restart, and so does everything committed.
        Element model = ParseXml(http.get("/account", token).body);
        ASSERT_TRUE(model.find("folder", Id(folder)));
        EXPECT_EQ(model.child("user")->decoded("first_name"), "Alice");
        EXPECT_EQ(model.child("user")->attr("isplus"), "1");
        Reply got = http.get("/files/1/" + Id(folder) + "/" + Id(file), token);
        EXPECT_EQ(got.status, 200);
        EXPECT_TRUE(got.body == bytes);
        Element messages = ParseXml(http.get("/messages", token).body);
        ASSERT_EQ(messages.all("message").size(), 1u);
        EXPECT_EQ(messages.child("message")->decoded("text"), "note to self");
        // Signing in again still works after the restart.
        EXPECT_FALSE(http.signIn("alice", "pw-alice").empty());
        EXPECT_EQ(second->finish(SIGTERM), 0);
    }
}

TEST(ServerProcess, BadCommandLinesExitWithAnError) {
    TempDir dir;
    Process unknown = Launch(dir, {"--no-such-option"});
    EXPECT_EQ(unknown->finish(0), 1);
    Process badPort = Launch(dir, {"--port", "70000"});
    EXPECT_EQ(badPort->finish(0), 1);
    Process noPassword = Launch(dir, {"--add-user", "bob"});
    EXPECT_EQ(noPassword->finish(0), 1);
    Process badCost = Launch(dir, {"--hash-cost", "free"}, false);
    EXPECT_EQ(badCost->finish(0), 1);
    Process noConnections = Launch(dir, {"--database-connections", "0"});
    EXPECT_EQ(noConnections->finish(0), 1);
    // A database out of reach stops the start, not the first request.
    Process unreachable = Launch(dir, {"--database", "postgresql://velmora@127.0.0.1:1/none"});
    EXPECT_EQ(unreachable->finish(0), 2);
}

class ServerProcessDatabase : public ::testing::TestWithParam<Backend> {
protected:
    // --database for the backend under test; SQLite stays the default.
    QStringList database() {
        if (GetParam() == Backend::Sqlite)
            return {};
        if (!scratch_)
            scratch_ = std::make_unique<velmora::test::ScratchDatabase>();
        return {"--database", QString::fromStdString(scratch_->uri())};
    }

private:
    std::unique_ptr<velmora::test::ScratchDatabase> scratch_;
};

TEST_P(ServerProcessDatabase, ApplicationMessagesAreManagedFromTheCommandLine) {
    TempDir dir;
    {
        Process add = Launch(dir, database() + QStringList{"--add-appmessage", "Hello & welcome",
                                                           "--url", "http://127.0.0.1/x"});
        EXPECT_EQ(add->waitForLine("appmessage "), "appmessage 1");
        EXPECT_EQ(add->finish(0), 0);
    }
    {
        Process list = Launch(dir, database() + QStringList{"--list-appmessages"});
        EXPECT_EQ(list->waitForLine("1\t"), "1\tHello & welcome\thttp://127.0.0.1/x");
        EXPECT_EQ(list->finish(0), 0);
    }
    {
        Process remove = Launch(dir, database() + QStringList{"--remove-appmessage", "1"});
        EXPECT_EQ(remove->finish(0), 0);
        Process again = Launch(dir, database() + QStringList{"--remove-appmessage", "1"});
        EXPECT_EQ(again->finish(0), 1);
    }
    Process serve = Launch(dir, database() + QStringList{"--port", "0"});
    Client http(serve->waitForPort());
    EXPECT_TRUE(ParseXml(http.get("/appmessages").body).children.empty());
    EXPECT_EQ(serve->finish(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerProcessDatabase, kBothBackends, BackendName);

TEST(ServerProcess, SeedDemoThenServeLinksToTheServedPort) {
    TempDir dir;
    Process p = Launch(dir, {"--seed-demo", "--serve", "--port", "0"});
    EXPECT_FALSE(p->waitForLine("  demo-gold / gold-demo-1 / gold").isEmpty());
    int port = p->waitForPort();
    ASSERT_GT(port, 0);
    Client http(port);
    Element messages = ParseXml(http.get("/appmessages").body);
    auto items = messages.all("appmessage");
    ASSERT_EQ(items.size(), 3u);
    std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
    for (const Element* item : items)
        EXPECT_EQ(item->child("url")->text.rfind(base, 0), 0u) << item->child("url")->text;
    // The shared-folder link opens for the member it is shared with.
    std::string link = items[1]->child("url")->text.substr(base.size() - 1);
    std::string token = http.signIn("demo-free", "free-demo-1");
    Reply page = http.get(link, token);
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("Shared tones"), std::string::npos);
    EXPECT_EQ(p->finish(SIGINT), 0);
}

TEST(ServerProcess, StartUpRemovesLeftoversOfACrash) {
    TempDir dir;
    {
        Store store(dir.path(), 1);
        store.addSession("expired-session", 1, 1000);
        store.addSession("live-session", 1, std::numeric_limits<std::int32_t>::max());
    }
    std::filesystem::create_directories(dir.path() / "tmp");
    { std::ofstream(dir.path() / "tmp" / "half.part") << "partial"; }
    { std::ofstream(dir.path() / "blobs" / "orphan") << "no row"; }
    // Leftovers of a crash are old; young ones may be another instance's.
    for (const char* left : {"tmp/half.part", "blobs/orphan"})
        std::filesystem::last_write_time(dir.path() / left,
                                         std::filesystem::file_time_type::clock::now() -
                                             Store::kSweepAge - std::chrono::minutes(1));
    Process p = Launch(dir, {"--port", "0"});
    ASSERT_GT(p->waitForPort(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tmp" / "half.part"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "blobs" / "orphan"));
    EXPECT_EQ(p->finish(SIGTERM), 0);
    Store store(dir.path(), 1);
    EXPECT_FALSE(store.sessionUser("expired-session", 0));
    EXPECT_TRUE(store.sessionUser("live-session", 0));
}

std::int64_t Count(Store& store, const char* sql) {
    auto c = store.pool().acquire();
    auto q = c->query(sql);
    q->step();
    return q->integer(0);
}

TEST(ServerSeed, DemoDataIsIdempotentAndShared) {
    Options o;
    ServiceFixture fx(o);
    std::ostringstream first, second;
    SeedDemo(fx.store(), fx.service().hasher(), "http://127.0.0.1:1", first);
    std::int64_t files = Count(fx.store(), "SELECT COUNT(*) FROM files");
    std::int64_t users = Count(fx.store(), "SELECT COUNT(*) FROM users");
    SeedDemo(fx.store(), fx.service().hasher(), "http://127.0.0.1:1", second);
    EXPECT_EQ(first.str(), second.str());
    EXPECT_EQ(Count(fx.store(), "SELECT COUNT(*) FROM files"), files);
    EXPECT_EQ(Count(fx.store(), "SELECT COUNT(*) FROM users"), users);
    EXPECT_EQ(Count(fx.store(), "SELECT COUNT(*) FROM appmessages"), 3);
    // Files with the same bytes share one blob.
    EXPECT_EQ(fx.blobFiles(), static_cast<std::size_t>(
                                  Count(fx.store(), "SELECT COUNT(DISTINCT blob) FROM files")));

    Client& http = fx.client();
    std::string token = http.signIn("demo-free", "free-demo-1");
    ASSERT_FALSE(token.empty());
    Element model = ParseXml(http.get("/account", token).body);
    auto sharers = model.child("sharing")->all("user");
    ASSERT_EQ(sharers.size(), 1u);
    EXPECT_EQ(sharers[0]->decoded("accountid"), "demo-gold");
    const Element* shared = sharers[0]->child("folder");
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->decoded("name"), "Shared tones");
    // The shared tone downloads and is a real .au file.
    const Element* tone = shared->child("file");
    ASSERT_TRUE(tone);
    Reply bytes = http.get("/files/" + sharers[0]->attr("id") + "/" + shared->attr("id") + "/" +
                               tone->attr("id"),
                           token);
    EXPECT_EQ(bytes.body.substr(0, 4), ".snd");
    EXPECT_EQ(ParseXml(http.get("/directory", token).body).all("user").size(), 5u);
    EXPECT_FALSE(http.signIn("demo-gold", "gold-demo-1").empty());
    EXPECT_EQ(ParseXml(http.get("/account", http.signIn("demo-gold", "gold-demo-1")).body)
                  .child("user")
                  ->attr("gold"),
              "1");
}

TEST(ServerSeed, BenchmarkAccountModelIsBuiltQuickly) {
    ServiceFixture fx;
    std::ostringstream out;
    SeedBench(fx.store(), fx.service().hasher(), out);
    SeedBench(fx.store(), fx.service().hasher(), out); // idempotent
    EXPECT_EQ(Count(fx.store(), "SELECT COUNT(*) FROM files WHERE owner = 1"), kBenchFiles);
    EXPECT_EQ(Count(fx.store(), "SELECT COUNT(*) FROM folders WHERE owner = 1"), kBenchFolders + 1);
    EXPECT_EQ(Count(fx.store(), "SELECT COUNT(*) FROM users"), kBenchPeers + 1);

    std::string token = fx.client().signIn(kBenchAccount, kBenchPassword);
    ASSERT_FALSE(token.empty());
    auto start = std::chrono::steady_clock::now();
    Reply r = fx.client().get("/account", token);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    ASSERT_EQ(r.status, 200);
    std::cout << "bench account model: " << r.body.size() << " bytes in " << ms << " ms\n";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // Instrumented builds run many times slower; the figure means nothing there.
#else
    EXPECT_LT(ms, 1500);
#endif
    Element model = ParseXml(r.body);
    EXPECT_EQ(model.child("sharing")->all("user").size(), static_cast<std::size_t>(kBenchPeers));
    EXPECT_EQ(model.child("library")->child("folder")->all("folder").size(), 50u);
}

} // namespace
} // namespace velmora::server::test
