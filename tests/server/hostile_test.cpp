// The real service under hostile clients: each attack runs against a
// velmora-service process while /health is asked all along, and the
// process's memory is read from /proc before and after.

#include "harness.h"
#include "raw_http.h"
#include "service_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace velmora::server::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Process = std::unique_ptr<velmora::test::ServiceProcess>;

#ifdef __SANITIZE_ADDRESS__
// AddressSanitizer keeps freed memory in quarantine (256 MiB by default), so
// a service built with it holds what it freed; the bound is for real builds.
constexpr long kMaxGrowthKiB = 320 * 1024;
#else
constexpr long kMaxGrowthKiB = 64 * 1024;
#endif

std::string Ms(Clock::duration d) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()) + " ms";
}

Process Launch(const TempDir& dir, const QStringList& more, int& port) {
    auto p = std::make_unique<velmora::test::ServiceProcess>(
        QString::fromStdString(dir.path().string()));
    EXPECT_TRUE(p->launch(QStringList{"--quiet", "--port", "0"} + more));
    port = p->waitForPort();
    EXPECT_GT(port, 0);
    return p;
}

void AddUser(const TempDir& dir, const std::string& account, const std::string& password) {
    velmora::test::ServiceProcess admin(QString::fromStdString(dir.path().string()));
    EXPECT_TRUE(admin
                    .admin({"--add-user", QString::fromStdString(account), "--password",
                            QString::fromStdString(password)})
                    .startsWith("user "));
}

// Asks /health every 100 ms on a fresh connection and keeps the slowest
// answer and the number of failed ones.
class HealthWatch {
public:
    explicit HealthWatch(int port)
        : thread_([this, port] {
              while (!stop_) {
                  auto start = Clock::now();
                  RawReply r = Exchange(port, "GET /health HTTP/1.1\r\nHost: x\r\n\r\n", 2s);
                  auto took = Clock::now() - start;
                  std::lock_guard lock(mutex_);
                  slowest_ = std::max(slowest_, took);
                  failures_ += r.status == 200 ? 0 : 1;
                  ++asked_;
                  std::this_thread::sleep_for(100ms);
              }
          }) {}
    ~HealthWatch() { finish(); }
    void finish() {
        // At least one answer, however short the attack.
        while (!stop_ && asked() == 0)
            std::this_thread::sleep_for(10ms);
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    Clock::duration slowest() const { return slowest_; }
    int failures() const { return failures_; }
    int asked() {
        std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Clock::duration slowest_{};
    int failures_ = 0;
    int asked_ = 0;
    std::thread thread_;
};

struct Attack {
    const char* label;
    QStringList options; // of the service, beside the defaults
    // Runs the attack against the port and checks what the service answered.
    std::function<void(int port, const TempDir& dir)> run;
    // Hashing memory is taken and given back by design: such attacks are
    // judged by what stays, the others by the peak.
    bool peak = true;
    std::function<void(const TempDir& dir)> prepare = nullptr;
};

void PrintTo(const Attack& a, std::ostream* os) {
    *os << a.label;
}

// Sends the headers, then as much of the body as the service takes; the
// reply, which must come without the body having been read.
RawReply SendUnwantedBody(int port, const std::string& head, const std::string& piece,
                          std::size_t pieces) {
    RawConnection c(port);
    c.send(head);
    for (std::size_t i = 0; i < pieces && c.send(piece); ++i) {
    }
    return c.read();
}

std::string Chunk(const std::string& data) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + data + "\r\n";
}

void ExpectRefusedAndClosed(const RawReply& r, int status) {
    EXPECT_EQ(r.status, status) << r.head << r.body;
    EXPECT_TRUE(r.closed) << r.head;
}

const std::string kSignIn = "POST /session HTTP/1.1\r\nHost: x\r\n"
                            "Content-Type: application/x-www-form-urlencoded\r\n";

class ServerHostile : public ::testing::TestWithParam<Attack> {};

TEST_P(ServerHostile, ServiceHoldsAndStaysResponsive) {
    const Attack& attack = GetParam();
    TempDir dir;
    if (attack.prepare)
        attack.prepare(dir);
    int port = 0;
    Process service = Launch(dir, attack.options, port);
    ASSERT_GT(port, 0);
    pid_t pid = service->pid();
    long before = ProcessKiB(pid, "VmRSS");
    ASSERT_GT(before, 0);
    HealthWatch health(port);
    auto start = Clock::now();
    attack.run(port, dir);
    health.finish();
    EXPECT_LT(Clock::now() - start, 25s);
    EXPECT_GT(health.asked(), 0);
    EXPECT_EQ(health.failures(), 0);
    EXPECT_LT(health.slowest(), 1s) << "slowest /health: " << Ms(health.slowest());
    long after = ProcessKiB(pid, attack.peak ? "VmHWM" : "VmRSS");
    EXPECT_LT(after - before, kMaxGrowthKiB) << "grew by " << (after - before) / 1024 << " MiB";
    // Still serving as before.
    EXPECT_EQ(Exchange(port, "GET /health HTTP/1.1\r\nHost: x\r\n\r\n").status, 200);
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, ServerHostile,
    ::testing::Values(
        Attack{"GzipBodyToAPathWithoutHandler",
               {"--hash-cost", "test"},
               [](int port, const TempDir&) {
                   // 2 MB that would inflate to gigabytes: refused on the
                   // header, before a byte of it is read.
                   std::string gzip(64 * 1024, '\0');
                   gzip[0] = '\x1f';
                   gzip[1] = '\x8b';
                   ExpectRefusedAndClosed(
                       SendUnwantedBody(port,
                                        "POST /no/such/path HTTP/1.1\r\nHost: x\r\n"
                                        "Content-Encoding: gzip\r\nContent-Length: 2097152\r\n\r\n",
                                        gzip, 32),
                       415);
                   ExpectRefusedAndClosed(SendUnwantedBody(port,
                                                           kSignIn +
                                                               "Content-Encoding: gzip\r\n"
                                                               "Content-Length: 2097152\r\n\r\n",
                                                           gzip, 32),
                                          415);
               }},
        Attack{
            "ChunkedBodyToAPathWithoutHandler",
            {"--hash-cost", "test"},
            [](int port, const TempDir&) {
                std::string piece = Chunk(std::string(256 * 1024, 'a'));
                for (const char* head : {"POST /no/such/path", "DELETE /health", "GET /health"}) {
                    ExpectRefusedAndClosed(
                        SendUnwantedBody(port,
                                         std::string(head) + " HTTP/1.1\r\nHost: x\r\n"
                                                             "Transfer-Encoding: chunked\r\n\r\n",
                                         piece, 256),
                        std::string(head).rfind("GET", 0) == 0 ? 413 : 404);
                }
                // A form route takes 64 KiB: a chunked body beyond it is
                // cut off, not collected.
                RawConnection c(port);
                c.send(kSignIn + "Transfer-Encoding: chunked\r\n\r\n");
                for (int i = 0; i < 256 && c.send(piece); ++i) {
                }
                RawReply r = c.read(2s);
                EXPECT_NE(r.status, 200);
                EXPECT_TRUE(r.closed || c.closedWithin(2s));
            }},
        Attack{"AMillionHeaderLines",
               {"--hash-cost", "test"},
               [](int port, const TempDir&) {
                   std::string lines;
                   for (int i = 0; i < 10000; ++i)
                       lines += "X-Padding: " + std::to_string(i) + "\r\n";
                   RawConnection c(port);
                   c.send("GET /health HTTP/1.1\r\nHost: x\r\n");
                   for (int i = 0; i < 100 && c.send(lines); ++i) {
                   }
                   c.send("\r\n");
                   RawReply r = c.read(2s);
                   EXPECT_TRUE(r.status == 431 || r.status == 400 || r.status == 414 ||
                               (r.status == 0 && r.closed))
                       << r.head;
                   // A long request line is bounded the same way.
                   RawReply line = Exchange(
                       port, "GET /health?" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n", 2s);
                   EXPECT_NE(line.status, 200);
               }},
        Attack{"SlowHeadersFromManyConnections",
               {"--hash-cost", "test", "--threads", "4", "--header-timeout", "2"},
               [](int port, const TempDir&) {
                   std::vector<std::unique_ptr<RawConnection>> slow;
                   for (int i = 0; i < 32; ++i) {
                       slow.push_back(std::make_unique<RawConnection>(port));
                       slow.back()->send("GET /health HTTP/1.1\r\n");
                   }
                   // One header line each every half second: never idle,
                   // never done. The deadline for the whole header closes them.
                   auto start = Clock::now();
                   std::size_t open = slow.size();
                   while (open > 0 && Clock::now() - start < 5s) {
                       open = 0;
                       for (auto& c : slow)
                           open += c->send("X-Slow: 1\r\n") && !c->closedWithin(0ms) ? 1 : 0;
                       std::this_thread::sleep_for(500ms);
                   }
                   EXPECT_EQ(open, 0u);
                   EXPECT_LT(Clock::now() - start, 4s);
               }},
        Attack{"ManyConnectionsFromOneAddress",
               {"--hash-cost", "test", "--max-client-connections", "4"},
               [](int port, const TempDir&) {
                   // The health watch comes from another address and is not
                   // counted against this one.
                   std::vector<std::unique_ptr<RawConnection>> held;
                   for (int i = 0; i < 8; ++i) {
                       held.push_back(std::make_unique<RawConnection>(port, "127.0.0.5"));
                       held.back()->send("GET /health HTTP/1.1\r\n");
                   }
                   // Well within the idle timeout of the ones let in.
                   std::this_thread::sleep_for(300ms);
                   int closed = 0;
                   for (auto& c : held)
                       closed += c->closedWithin(0ms) ? 1 : 0;
                   EXPECT_EQ(closed, 4);
               }},
        Attack{"RedirectAfterSignInStaysOnTheService",
               {"--hash-cost", "test"},
               [](int port, const TempDir&) {
                   struct Next {
                       const char* sent; // as the form carries it
                       const char* location;
                   };
                   for (const Next& n :
                        {Next{"/%09/evil.example", "/health"}, Next{"//evil.example", "/health"},
                         Next{"/%5Cevil.example", "/health"}, Next{"%2F%2Fevil.example", "/health"},
                         Next{"/%20/evil.example", "/health"}, Next{"/a%7Fb", "/health"},
                         Next{"/%0D%0ASet-Cookie:x=1", "/health"},
                         Next{"http://evil.example/", "/health"},
                         Next{"/f%3Fk%3Dabc%26name%3Dx", "/f?k=abc&name=x"}}) {
                       std::string body =
                           std::string("accountid=anna&password=pw-anna&next=") + n.sent;
                       RawReply r =
                           Exchange(port, "POST /web/signin HTTP/1.1\r\nHost: x\r\n"
                                          "Content-Type: "
                                          "application/x-www-form-urlencoded\r\n"
                                          "Content-Length: " +
                                              std::to_string(body.size()) + "\r\n\r\n" + body);
                       EXPECT_EQ(r.status, 303) << n.sent;
                       EXPECT_EQ(r.header("Location"), n.location) << n.sent;
                   }
               },
               true,
               [](const TempDir& dir) { AddUser(dir, "anna", "pw-anna"); }},
        Attack{"SignInFloodWithUnknownAccountIds",
               {"--hash-cost", "interactive"},
               [](int port, const TempDir&) {
                   // 40 clients, each from an address of its own, ask for
                   // made-up accounts as fast as they are answered; half of
                   // them with 60 KB account ids.
                   std::atomic<bool> stop{false};
                   std::atomic<int> answered{0};
                   std::vector<std::thread> flood;
                   for (int i = 0; i < 40; ++i) {
                       flood.emplace_back([&, i] {
                           std::string source = "127.0.0." + std::to_string(2 + i);
                           for (int n = 0; !stop; ++n) {
                               std::string id = i % 2 ? std::string(60000, 'a' + n % 26)
                                                      : "nobody-" + std::to_string(i * 100000 + n);
                               std::string body = "accountid=" + id + "&password=x";
                               RawReply r = Exchange(
                                   port,
                                   kSignIn + "Content-Length: " + std::to_string(body.size()) +
                                       "\r\n\r\n" + body,
                                   5s, source);
                               if (r.status != 0)
                                   ++answered;
                           }
                       });
                   }
                   std::this_thread::sleep_for(1s);
                   auto start = Clock::now();
                   std::string body = "accountid=anna&password=pw-anna";
                   RawReply r =
                       Exchange(port,
                                kSignIn + "Content-Length: " + std::to_string(body.size()) +
                                    "\r\n\r\n" + body,
                                5s);
                   auto took = Clock::now() - start;
                   std::this_thread::sleep_for(500ms);
                   stop = true;
                   for (auto& t : flood)
                       t.join();
                   EXPECT_EQ(r.status, 200) << r.body;
                   EXPECT_LT(took, 3s) << Ms(took);
                   EXPECT_GT(answered.load(), 40);
               },
               false,
               [](const TempDir& dir) { AddUser(dir, "anna", "pw-anna"); }},
        Attack{"SmugglingFramesOnUpload",
               {"--hash-cost", "test"},
               [](int port, const TempDir&) {
                   const std::string head =
                       "POST /upload?folder=1&name=a.mp3 HTTP/1.1\r\nHost: x\r\n";
                   struct Framing {
                       std::string headers;
                       std::string body;
                       int status;
                   };
                   for (const Framing& f :
                        {Framing{"Transfer-Encoding: chunked\r\nContent-Length: 5\r\n",
                                 "5\r\nhello\r\n0\r\n\r\n", 400},
                         Framing{"Content-Length: 5\r\nTransfer-Encoding: chunked\r\n",
                                 "5\r\nhello\r\n0\r\n\r\n", 400},
                         Framing{"Content-Length: 5\r\nContent-Length: 6\r\n", "hello!", 400},
                         Framing{"Content-Length: 5, 6\r\n", "hello!", 400},
                         Framing{"Content-Length: +5\r\n", "hello", 400},
                         Framing{"Transfer-Encoding: gzip, chunked\r\n", "0\r\n\r\n", 501}}) {
                       // A second request hides in the body: it must never
                       // be answered.
                       RawConnection c(port);
                       c.send(head + f.headers + "\r\n" + f.body +
                              "GET /health HTTP/1.1\r\nHost: x\r\n\r\n");
                       RawReply r = c.read();
                       EXPECT_EQ(r.status, f.status) << f.headers << r.body;
                       EXPECT_TRUE(r.closed) << f.headers;
                   }
               }},
        Attack{"RefusedBodyClosesTheConnection",
               {"--hash-cost", "test"},
               [](int port, const TempDir&) {
                   // What follows a refused body must not pass for a request.
                   std::string smuggled = "GET /health HTTP/1.1\r\nHost: x\r\n\r\n";
                   std::string body(100000, 'a');
                   body.replace(70000, smuggled.size(), smuggled);
                   RawConnection c(port);
                   c.send(kSignIn + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n");
                   c.send(body);
                   RawReply r = c.read();
                   ExpectRefusedAndClosed(r, 413);
                   EXPECT_EQ(r.header("Connection"), "close");
               }}));

// A client trickling an upload cannot hold up a stop, and the stop loses
// nothing that was acknowledged.
TEST(ServerHostileStop, SigtermEndsATrickledUploadAndKeepsFinishedOnes) {
    TempDir dir;
    AddUser(dir, "anna", "pw-anna");
    int port = 0;
    Process service = Launch(dir, {"--hash-cost", "test"}, port);
    std::string token = Client(port).signIn("anna", "pw-anna");
    ASSERT_FALSE(token.empty());
    const std::string session = "X-Velmora-Session: " + token + "\r\n";
    RawReply done = Exchange(port, "POST /upload?folder=1&name=kept.mp3 HTTP/1.1\r\nHost: x\r\n" +
                                       session + "Content-Length: 5\r\n\r\nhello");
    ASSERT_EQ(done.status, 201) << done.body;

    RawConnection trickle(port);
    trickle.send("POST /upload?folder=1&name=cut.mp3 HTTP/1.1\r\nHost: x\r\n" + session +
                 "Content-Length: 1000000\r\n\r\n" + std::string(10000, 'x'));
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop && trickle.send("x"))
            std::this_thread::sleep_for(200ms);
    });
    std::this_thread::sleep_for(300ms);
    auto start = Clock::now();
    int status = service->finish(SIGTERM, 9000);
    auto took = Clock::now() - start;
    stop = true;
    feeder.join();
    EXPECT_EQ(status, 0);
    EXPECT_LT(took, 7s) << Ms(took);

    service = Launch(dir, {"--hash-cost", "test"}, port);
    Client http(port);
    Reply account = http.get("/account", http.signIn("anna", "pw-anna"));
    ASSERT_EQ(account.status, 200);
    EXPECT_NE(account.body.find("kept%2emp3"), std::string::npos);
    EXPECT_EQ(account.body.find("cut%2emp3"), std::string::npos);
}

// Output of a shell command; empty when it failed.
std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    return ::pclose(pipe) == 0 ? out : std::string();
}

TEST(ServerHostileTls, HttpsRoundTripWithASelfSignedPair) {
    if (Shell("command -v openssl && command -v curl").empty())
        GTEST_SKIP() << "needs the openssl and curl programs (scripts/install-deps)";
    TempDir dir;
    AddUser(dir, "anna", "pw-anna");
    std::string cert = (dir.path() / "cert.pem").string();
    std::string key = (dir.path() / "key.pem").string();
    ASSERT_FALSE(Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                       "-addext subjectAltName=IP:127.0.0.1 -keyout " +
                       key + " -out " + cert + " 2>&1")
                     .empty());
    int port = 0;
    Process service = Launch(dir,
                             {"--hash-cost", "test", "--tls-cert", QString::fromStdString(cert),
                              "--tls-key", QString::fromStdString(key)},
                             port);
    ASSERT_GT(port, 0);
    std::string base = "https://127.0.0.1:" + std::to_string(port);
    // The certificate is checked, not waved through.
    std::string signIn = Shell("curl -s -m 10 --cacert " + cert +
                               " -d accountid=anna -d password=pw-anna " + base + "/session");
    EXPECT_NE(signIn.find("<session token=\""), std::string::npos) << signIn;
    std::string token = ParseXml(signIn).attr("token");
    EXPECT_EQ(Shell("curl -s -m 10 --cacert " + cert + " -H 'X-Velmora-Session: " + token + "' " +
                    base + "/account -o /dev/null -w '%{http_code}'"),
              "200");
    // Links the service mails name the scheme it serves.
    EXPECT_EQ(Shell("curl -s -m 10 --cacert " + cert + " -H 'X-Velmora-Session: " + token +
                    "' -d sender=1 -d owner=1 -d folder=1 -d file=0 -d address=b@example.org " +
                    base + "/mail/link -o /dev/null -w '%{http_code}'"),
              "200");
    std::string mail = Shell("cat " + (dir.path() / "outbox").string() + "/*.eml");
    EXPECT_NE(mail.find(base + "/"), std::string::npos) << mail;
    // Plain HTTP on the same port gets no answer.
    EXPECT_EQ(Exchange(port, "GET /health HTTP/1.1\r\nHost: x\r\n\r\n", 2s).status, 0);
}

// The service's files hold password and session hashes, mail and everyone's
// media: nobody but the service's user may read them, whatever the umask.
TEST(ServerHostileFiles, DataFilesArePrivateWhateverTheUmask) {
    mode_t old = ::umask(0);
    {
        ServiceFixture fx;
        TestUser a = fx.addUser("anna");
        fx.upload(a, 1, "a.mp3", "data");
        ASSERT_EQ(fx.client()
                      .post("/mail", {{"recipient", "x@example.org"}, {"body", "b"}}, a.token)
                      .status,
                  200);
        namespace fs = std::filesystem;
        for (const auto& entry : fs::recursive_directory_iterator(fx.dataDir())) {
            auto perms = entry.status().permissions();
            EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none)
                << entry.path();
        }
        EXPECT_EQ(fs::status(fx.dataDir()).permissions() &
                      (fs::perms::group_all | fs::perms::others_all),
                  fs::perms::none);
    }
    ::umask(old);
}

} // namespace
} // namespace velmora::server::test
