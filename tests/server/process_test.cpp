// The real executable: command line, restart after SIGKILL, clean stop on
// SIGTERM; and the seeded demo and benchmark data.

#include "harness.h"
#include "seed.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <sstream>

namespace velmora::server::test {
namespace {

std::string Id(std::int64_t n) {
    return std::to_string(n);
}

// A velmora-service child process with its stdout on a pipe.
class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
            std::vector<char*> argv;
            std::string exe = VELMORA_SERVICE_EXE;
            argv.push_back(exe.data());
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = out[0];
    }
    ~ServiceProcess() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0)
            ::close(stdout_);
    }

    // Reads stdout until a line starting with the prefix, up to the deadline.
    std::string waitForLine(const std::string& prefix, int timeoutMs = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            std::size_t pos = 0;
            while ((pos = buffer_.find('\n')) != std::string::npos) {
                std::string line = buffer_.substr(0, pos);
                buffer_.erase(0, pos + 1);
                if (line.rfind(prefix, 0) == 0)
                    return line;
            }
            pollfd p{stdout_, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char chunk[512];
                ssize_t n = ::read(stdout_, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                buffer_.append(chunk, static_cast<std::size_t>(n));
            }
        }
        return {};
    }

    int port() {
        std::string line = waitForLine("listening on ");
        std::size_t colon = line.rfind(':');
        return colon == std::string::npos ? 0 : std::stoi(line.substr(colon + 1));
    }

    // Sends the signal and waits for the exit; the exit status, or -1.
    int stop(int signal, int timeoutMs = 10000) {
        ::kill(pid_, signal);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    int wait() { return stop(0); }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool reaped_ = false;
    std::string buffer_;
};

std::vector<std::string> Args(const TempDir& dir, std::vector<std::string> more) {
    std::vector<std::string> args{"--data", dir.path().string(), "--hash-cost", "test", "--quiet"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(ServerProcess, CommittedChangesSurviveSigkillAndSigtermStopsCleanly) {
    TempDir dir;
    {
        ServiceProcess admin(Args(dir, {"--add-user", "alice", "--password", "pw-alice",
                                        "--first-name", "Alice", "--tier", "plus"}));
        EXPECT_FALSE(admin.waitForLine("user alice id ").empty());
        EXPECT_EQ(admin.wait(), 0);
    }
    std::string token;
    std::int64_t folder = 0, file = 0;
    const std::string bytes = RandomBytes(200000, 11);
    {
        ServiceProcess first(Args(dir, {"--port", "0"}));
        int port = first.port();
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
        EXPECT_EQ(first.stop(SIGKILL), 128 + SIGKILL);
    }
    {
        ServiceProcess second(Args(dir, {"--port", "0"}));
        int port = second.port();
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
        EXPECT_EQ(second.stop(SIGTERM), 0);
    }
}

TEST(ServerProcess, BadCommandLinesExitWithAnError) {
    TempDir dir;
    ServiceProcess unknown(Args(dir, {"--no-such-option"}));
    EXPECT_EQ(unknown.wait(), 1);
    ServiceProcess badPort(Args(dir, {"--port", "70000"}));
    EXPECT_EQ(badPort.wait(), 1);
    ServiceProcess noPassword(Args(dir, {"--add-user", "bob"}));
    EXPECT_EQ(noPassword.wait(), 1);
    ServiceProcess badCost({"--data", dir.path().string(), "--hash-cost", "free"});
    EXPECT_EQ(badCost.wait(), 1);
}

TEST(ServerProcess, ApplicationMessagesAreManagedFromTheCommandLine) {
    TempDir dir;
    {
        ServiceProcess add(
            Args(dir, {"--add-appmessage", "Hello & welcome", "--url", "http://127.0.0.1/x"}));
        EXPECT_EQ(add.waitForLine("appmessage "), "appmessage 1");
        EXPECT_EQ(add.wait(), 0);
    }
    {
        ServiceProcess list(Args(dir, {"--list-appmessages"}));
        EXPECT_EQ(list.waitForLine("1\t"), "1\tHello & welcome\thttp://127.0.0.1/x");
        EXPECT_EQ(list.wait(), 0);
    }
    {
        ServiceProcess remove(Args(dir, {"--remove-appmessage", "1"}));
        EXPECT_EQ(remove.wait(), 0);
        ServiceProcess again(Args(dir, {"--remove-appmessage", "1"}));
        EXPECT_EQ(again.wait(), 1);
    }
    ServiceProcess serve(Args(dir, {"--port", "0"}));
    Client http(serve.port());
    EXPECT_TRUE(ParseXml(http.get("/appmessages").body).children.empty());
    EXPECT_EQ(serve.stop(SIGTERM), 0);
}

TEST(ServerProcess, SeedDemoThenServeLinksToTheServedPort) {
    TempDir dir;
    ServiceProcess p(Args(dir, {"--seed-demo", "--serve", "--port", "0"}));
    EXPECT_FALSE(p.waitForLine("  demo-gold / gold-demo-1 / gold").empty());
    int port = p.port();
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
    EXPECT_EQ(p.stop(SIGINT), 0);
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
    ServiceProcess p(Args(dir, {"--port", "0"}));
    ASSERT_GT(p.port(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tmp" / "half.part"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "blobs" / "orphan"));
    EXPECT_EQ(p.stop(SIGTERM), 0);
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
    EXPECT_EQ(fx.blobFiles(), static_cast<std::size_t>(files));

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
