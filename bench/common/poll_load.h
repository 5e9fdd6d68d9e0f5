#pragma once

// The load of the poll benchmarks: signed-in clients that each ask once per
// interval over keep-alive connections, their first requests spread evenly
// over the first interval, carried in turn by a few worker threads. Client i
// speaks to ports[i % ports.size()], so a load spreads over several instances.
//
// Each latency runs from the moment the request was due, not from the moment
// a client thread got round to sending it: a service that falls behind shows
// as slow, however busy the clients are.

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace velmora::bench {

using PollClock = std::chrono::steady_clock;

struct PollSettings {
    int clients = 1000;
    int seconds = 30;
    int intervalMs = 3000;
    int workers = 0; // 0: one client thread per 25 clients, at least 16

    double offeredPerSecond() const { return clients * 1000.0 / intervalMs; }
};

struct PollResult {
    std::vector<double> latenciesMs;
    long long errors = 0;
    std::string firstError; // what the first failed request got
    double seconds = 0;     // from the first request due to the last answer

    double achievedPerSecond() const {
        return seconds > 0 ? static_cast<double>(latenciesMs.size() + errors) / seconds : 0;
    }
};

inline double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

inline int PortOf(const std::vector<int>& ports, std::size_t client) {
    return ports[client % ports.size()];
}

inline PollResult RunPollLoad(const std::vector<int>& ports, const std::vector<std::string>& tokens,
                              const std::string& path, const PollSettings& s) {
    const auto start = PollClock::now() + std::chrono::milliseconds(200);
    const auto end = start + std::chrono::seconds(s.seconds);
    std::mutex mutex;
    PollResult total;
    std::vector<std::thread> threads;
    for (int w = 0; w < s.workers; ++w) {
        threads.emplace_back([&, w] {
            struct Client {
                std::unique_ptr<httplib::Client> http;
                std::string token;
                PollClock::time_point next;
            };
            std::vector<Client> mine;
            for (int i = w; i < s.clients; i += s.workers) {
                auto http = std::make_unique<httplib::Client>(
                    "127.0.0.1", PortOf(ports, static_cast<std::size_t>(i)));
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
            std::string firstError;
            while (true) {
                auto it = std::min_element(mine.begin(), mine.end(),
                                           [](auto& a, auto& b) { return a.next < b.next; });
                if (it == mine.end() || it->next >= end)
                    break;
                std::this_thread::sleep_until(it->next);
                auto r = it->http->Get(path, {{"X-Velmora-Session", it->token}});
                auto took =
                    std::chrono::duration<double, std::milli>(PollClock::now() - it->next).count();
                if (!r || r->status != 200) {
                    if (errors++ == 0)
                        firstError = r ? std::to_string(r->status) + " " + r->body
                                       : httplib::to_string(r.error());
                } else {
                    latencies.push_back(took);
                }
                it->next += std::chrono::milliseconds(s.intervalMs);
            }
            std::lock_guard lock(mutex);
            total.latenciesMs.insert(total.latenciesMs.end(), latencies.begin(), latencies.end());
            total.errors += errors;
            if (total.firstError.empty())
                total.firstError = firstError;
        });
    }
    for (auto& t : threads)
        t.join();
    total.seconds = std::chrono::duration<double>(PollClock::now() - start).count();
    return total;
}

inline void ReportPoll(const char* name, const PollResult& r, const PollSettings& s) {
    std::printf(
        "%-8s %8zu requests  offered %7.1f req/s  achieved %7.1f req/s  p50 %6.2f ms  "
        "p99 %6.2f ms  max %7.2f ms  errors %lld\n",
        name, r.latenciesMs.size(), s.offeredPerSecond(), r.achievedPerSecond(),
        Percentile(r.latenciesMs, 0.50), Percentile(r.latenciesMs, 0.99),
        r.latenciesMs.empty() ? 0.0 : *std::max_element(r.latenciesMs.begin(), r.latenciesMs.end()),
        r.errors);
    if (!r.firstError.empty())
        std::printf("         first error: %s\n", r.firstError.c_str());
    std::fflush(stdout);
}

// Signs in the users "PREFIX0".."PREFIXn-1", each on its client's port;
// their tokens, or nothing when a sign-in failed.
inline std::vector<std::string> SignInAll(const std::vector<int>& ports, const std::string& prefix,
                                          int count, const std::string& password) {
    std::vector<std::string> tokens(static_cast<std::size_t>(count));
    std::atomic<int> failed{0};
    std::vector<std::thread> signers;
    for (int w = 0; w < 4; ++w) {
        signers.emplace_back([&, w] {
            for (int i = w; i < count; i += 4) {
                httplib::Client c("127.0.0.1", PortOf(ports, static_cast<std::size_t>(i)));
                auto r =
                    c.Post("/session", httplib::Params{{"accountid", prefix + std::to_string(i)},
                                                       {"password", password}});
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
    if (failed > 0)
        return {};
    return tokens;
}

// A trickle of messages while it lives, so that some polls find something and
// delivery (a write) is part of what is measured; sends go round the ports.
class MessageTrickle {
public:
    MessageTrickle(const std::vector<int>& ports, const std::vector<std::string>& tokens,
                   const std::vector<std::int64_t>& ids)
        : thread_([this, ports, &tokens, &ids] {
              std::vector<std::unique_ptr<httplib::Client>> clients;
              for (int port : ports) {
                  clients.push_back(std::make_unique<httplib::Client>("127.0.0.1", port));
                  clients.back()->set_keep_alive(true);
                  clients.back()->set_tcp_nodelay(true);
              }
              std::mt19937 rng(1);
              for (std::size_t n = 0; running_; ++n) {
                  std::size_t from = rng() % tokens.size();
                  std::int64_t to = ids[rng() % ids.size()];
                  auto r = clients[n % clients.size()]->Post(
                      "/messages", {{"X-Velmora-Session", tokens[from]}},
                      httplib::Params{{"user", std::to_string(to)},
                                      {"acl", "-1"},
                                      {"text", "ping from the bench"}});
                  if (!r || r->status != 200)
                      ++errors_;
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          }) {}
    ~MessageTrickle() { stop(); }
    MessageTrickle(const MessageTrickle&) = delete;
    MessageTrickle& operator=(const MessageTrickle&) = delete;

    // Stops sending; the failed sends.
    long long stop() {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
        return errors_;
    }

private:
    std::atomic<bool> running_{true};
    std::atomic<long long> errors_{0};
    std::thread thread_;
};

} // namespace velmora::bench
