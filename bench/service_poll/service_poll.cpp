// Message polling under load: 1,000 signed-in clients ask for new messages
// every 3 s over keep-alive connections, against the same load on the health
// check as the baseline. The service runs in this process on a free loopback
// port with a temporary data folder.
//
// Each latency runs from the moment the request was due, not from the moment
// a client thread got round to sending it: a service that falls behind shows
// as slow, however busy the clients are. The offered and the achieved rates
// are printed, so a run where the clients could not keep up is seen as such.

#include "service.h"

#include <httplib.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace velmora::server;
using Clock = std::chrono::steady_clock;

namespace {

struct Settings {
    int clients = 1000;
    int seconds = 30;
    int intervalMs = 3000;
    int workers = 0; // 0: one client thread per 25 clients, at least 16

    double offeredPerSecond() const { return clients * 1000.0 / intervalMs; }
};

struct Result {
    std::vector<double> latenciesMs;
    long long errors = 0;
    double seconds = 0; // from the first request due to the last answer

    double achievedPerSecond() const {
        return seconds > 0 ? static_cast<double>(latenciesMs.size() + errors) / seconds : 0;
    }
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Every client asks once per interval, its first request spread evenly over
// the first interval; a few worker threads carry the clients in turn.
Result RunLoad(int port, const std::vector<std::string>& tokens, const std::string& path,
               const Settings& s) {
    const auto start = Clock::now() + std::chrono::milliseconds(200);
    const auto end = start + std::chrono::seconds(s.seconds);
    std::mutex mutex;
    Result total;
    std::vector<std::thread> threads;
    for (int w = 0; w < s.workers; ++w) {
        threads.emplace_back([&, w] {
            struct Client {
                std::unique_ptr<httplib::Client> http;
                std::string token;
                Clock::time_point next;
            };
            std::vector<Client> mine;
            for (int i = w; i < s.clients; i += s.workers) {
                auto http = std::make_unique<httplib::Client>("127.0.0.1", port);
                http->set_keep_alive(true);
                http->set_tcp_nodelay(true);
                http->set_connection_timeout(5, 0);
                http->set_read_timeout(5, 0);
                mine.push_back(
                    {std::move(http), tokens[static_cast<std::size_t>(i)],
                     start + std::chrono::microseconds(static_cast<long long>(i) * s.intervalMs *
                                                       1000 / s.clients)});
            }
            std::vector<double> latencies;
            latencies.reserve(static_cast<std::size_t>(s.seconds * 1000 / s.intervalMs + 1) *
                              mine.size());
            long long errors = 0;
            while (true) {
                auto it = std::min_element(mine.begin(), mine.end(),
                                           [](auto& a, auto& b) { return a.next < b.next; });
                if (it == mine.end() || it->next >= end)
                    break;
                std::this_thread::sleep_until(it->next);
                auto r = it->http->Get(path, {{"X-Velmora-Session", it->token}});
                auto took =
                    std::chrono::duration<double, std::milli>(Clock::now() - it->next).count();
                if (!r || r->status != 200)
                    ++errors;
                else
                    latencies.push_back(took);
                it->next += std::chrono::milliseconds(s.intervalMs);
            }
            std::lock_guard lock(mutex);
            total.latenciesMs.insert(total.latenciesMs.end(), latencies.begin(), latencies.end());
            total.errors += errors;
        });
    }
    for (auto& t : threads)
        t.join();
    total.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return total;
}

void Report(const char* name, const Result& r, const Settings& s) {
    std::printf(
        "%-8s %8zu requests  offered %7.1f req/s  achieved %7.1f req/s  p50 %6.2f ms  "
        "p99 %6.2f ms  max %7.2f ms  errors %lld\n",
        name, r.latenciesMs.size(), s.offeredPerSecond(), r.achievedPerSecond(),
        Percentile(r.latenciesMs, 0.50), Percentile(r.latenciesMs, 0.99),
        r.latenciesMs.empty() ? 0.0 : *std::max_element(r.latenciesMs.begin(), r.latenciesMs.end()),
        r.errors);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    Settings s;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string arg = argv[i];
        int value = std::atoi(argv[i + 1]);
        if (arg == "--clients" && value > 0)
            s.clients = value;
        else if (arg == "--seconds" && value > 0)
            s.seconds = value;
        else if (arg == "--workers" && value > 0)
            s.workers = value;
    }
    // Blocking clients: enough threads that each has time for its clients'
    // requests and the client side is not what limits the rate.
    if (s.workers == 0)
        s.workers = std::max(16, s.clients / 25);
    // Each client holds a connection; leave room for both ends of each.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }

    char pattern[] = "/tmp/velmora-bench-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) {
        std::perror("mkdtemp");
        return 1;
    }
    int exitCode = 0;
    {
        Options o;
        o.dataDir = dir;
        o.port = 0;
        o.hashCost = HashCost::Test;
        o.quiet = true;
        // Every client comes from the same loopback address.
        o.maxConnections = 2 * s.clients + 1024;
        o.maxClientConnections = o.maxConnections;
        o.signInsInFlight = 64;
        o.signInsPerMinute = 2 * s.clients + 1024;
        Service service(o);
        int port = service.start();

        // Setup: the users, each signed in once.
        std::vector<std::int64_t> ids;
        std::vector<std::string> tokens(static_cast<std::size_t>(s.clients));
        {
            std::string hash = service.hasher().hash("poll-password");
            std::vector<NewUser> users(static_cast<std::size_t>(s.clients));
            for (int i = 0; i < s.clients; ++i)
                users[static_cast<std::size_t>(i)].accountId = "poller-" + std::to_string(i);
            ids = service.store().addUsers(users, hash);
            std::vector<std::thread> signers;
            std::atomic<int> failed{0};
            for (int w = 0; w < 4; ++w) {
                signers.emplace_back([&, w] {
                    httplib::Client c("127.0.0.1", port);
                    c.set_keep_alive(true);
                    for (int i = w; i < s.clients; i += 4) {
                        auto r =
                            c.Post("/session",
                                   httplib::Params{{"accountid", "poller-" + std::to_string(i)},
                                                   {"password", "poll-password"}});
                        std::string body = r ? r->body : "";
                        auto at = body.find("token=\"");
                        if (!r || r->status != 200 || at == std::string::npos) {
                            ++failed;
                            continue;
                        }
                        tokens[static_cast<std::size_t>(i)] = body.substr(at + 7, 64);
                    }
                });
            }
            for (auto& t : signers)
                t.join();
            if (failed > 0) {
                std::fprintf(stderr, "service_poll: %d sign-ins failed\n", failed.load());
                return 1;
            }
        }
        std::printf("service_poll: %d clients, one request each per %d ms (%.1f req/s offered), "
                    "%d s per phase, %d client threads, port %d\n",
                    s.clients, s.intervalMs, s.offeredPerSecond(), s.seconds, s.workers, port);

        Result health = RunLoad(port, tokens, "/health", s);
        Report("health", health, s);

        // During the poll phase a trickle of messages makes some polls find
        // something, so delivery (a write) is part of what is measured.
        std::atomic<bool> sending{true};
        std::atomic<long long> sendErrors{0};
        std::thread sender([&] {
            httplib::Client c("127.0.0.1", port);
            c.set_keep_alive(true);
            c.set_tcp_nodelay(true);
            std::mt19937 rng(1);
            while (sending) {
                std::size_t from = rng() % tokens.size();
                std::int64_t to = ids[rng() % ids.size()];
                auto r = c.Post("/messages", {{"X-Velmora-Session", tokens[from]}},
                                httplib::Params{{"user", std::to_string(to)},
                                                {"acl", "-1"},
                                                {"text", "ping from the bench"}});
                if (!r || r->status != 200)
                    ++sendErrors;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        Result poll = RunLoad(port, tokens, "/messages", s);
        sending = false;
        sender.join();
        Report("poll", poll, s);
        if (sendErrors > 0)
            std::printf("message sends failed: %lld\n", sendErrors.load());

        service.stop();
        double pollP99 = Percentile(poll.latenciesMs, 0.99);
        double healthP99 = Percentile(health.latenciesMs, 0.99);
        long long errors = poll.errors + health.errors + sendErrors.load();
        double rate =
            std::min(health.achievedPerSecond(), poll.achievedPerSecond()) / s.offeredPerSecond();
        std::printf("service_poll: %.2f ms p99 ratio=%.2f (target 3), errors=%lld, rate=%.2f\n",
                    pollP99, healthP99 > 0 ? pollP99 / healthP99 : 0.0, errors, rate);
        exitCode = (pollP99 < (s.clients > 1000 ? 100 : 50) && errors == 0 && rate >= 0.95) ? 0 : 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return exitCode;
}
