// Message polling under load: 1,000 signed-in clients ask for new messages
// every 3 s over keep-alive connections, against the same load on the health
// check as the baseline. The service runs in this process on a free loopback
// port with a temporary data folder.
//
// Each latency runs from the moment the request was due, not from the moment
// a client thread got round to sending it: a service that falls behind shows
// as slow, however busy the clients are. The offered and the achieved rates
// are printed, so a run where the clients could not keep up is seen as such.

#include "../common/poll_load.h"
#include "service.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace velmora::server;
using namespace velmora::bench;

int main(int argc, char** argv) {
    PollSettings s;
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
        std::vector<std::string> tokens;
        {
            std::string hash = service.hasher().hash("poll-password");
            std::vector<NewUser> users(static_cast<std::size_t>(s.clients));
            for (int i = 0; i < s.clients; ++i)
                users[static_cast<std::size_t>(i)].accountId = "poller-" + std::to_string(i);
            ids = service.store().addUsers(users, hash);
            tokens = SignInAll({port}, "poller-", s.clients, "poll-password");
            if (tokens.empty()) {
                std::fprintf(stderr, "service_poll: sign-ins failed\n");
                return 1;
            }
        }
        std::printf("service_poll: %d clients, one request each per %d ms (%.1f req/s offered), "
                    "%d s per phase, %d client threads, port %d\n",
                    s.clients, s.intervalMs, s.offeredPerSecond(), s.seconds, s.workers, port);

        PollResult health = RunPollLoad({port}, tokens, "/health", s);
        ReportPoll("health", health, s);

        // During the poll phase a trickle of messages makes some polls find
        // something, so delivery (a write) is part of what is measured.
        MessageTrickle trickle({port}, tokens, ids);
        PollResult poll = RunPollLoad({port}, tokens, "/messages", s);
        long long sendErrors = trickle.stop();
        ReportPoll("poll", poll, s);
        if (sendErrors > 0)
            std::printf("message sends failed: %lld\n", sendErrors);

        service.stop();
        double pollP99 = Percentile(poll.latenciesMs, 0.99);
        double healthP99 = Percentile(health.latenciesMs, 0.99);
        long long errors = poll.errors + health.errors + sendErrors;
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
