// Message polling against PostgreSQL with two instances of the service,
// against SQLite with one, in the same run: 1,000 signed-in clients ask for
// new messages every 3 s over keep-alive connections while a trickle of
// messages makes some polls find something. Over PostgreSQL, half of the
// clients speak to each instance; both instances share one database and one
// data folder. Phases alternate (SQLite, PostgreSQL, SQLite, ...) so that a
// slow spell of the machine falls on both; each backend's p99 is the median
// of its phases' p99s. PostgreSQL is a throwaway cluster in a temporary
// folder; every service runs in this process on a free loopback port.

#include "../common/poll_load.h"
#include "postgres_cluster.h"
#include "service.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace velmora::server;
using namespace velmora::bench;

namespace {

struct Backend {
    const char* name;
    std::vector<std::unique_ptr<Service>> services;
    std::vector<int> ports;
    std::vector<std::int64_t> ids;
    std::vector<std::string> tokens;
    std::vector<double> p99s;
    long long errors = 0;
};

Options ServiceOptions(const std::filesystem::path& dataDir, const std::string& database,
                       int clients) {
    Options o;
    o.dataDir = dataDir;
    o.database = database;
    o.port = 0;
    o.hashCost = HashCost::Test;
    o.quiet = true;
    // Every client comes from the same loopback address.
    o.maxConnections = 2 * clients + 1024;
    o.maxClientConnections = o.maxConnections;
    o.signInsInFlight = 64;
    o.signInsPerMinute = 2 * clients + 1024;
    return o;
}

// Starts the instances, adds the users through the first and signs each in
// on the instance its client will poll.
bool Prepare(Backend& b, const std::vector<Options>& instances, int clients) {
    for (const Options& o : instances) {
        b.services.push_back(std::make_unique<Service>(o));
        b.ports.push_back(b.services.back()->start());
    }
    Service& first = *b.services.front();
    std::string hash = first.hasher().hash("poll-password");
    std::vector<NewUser> users(static_cast<std::size_t>(clients));
    for (int i = 0; i < clients; ++i)
        users[static_cast<std::size_t>(i)].accountId = "poller-" + std::to_string(i);
    b.ids = first.store().addUsers(users, hash);
    b.tokens = SignInAll(b.ports, "poller-", clients, "poll-password");
    if (b.tokens.empty())
        std::fprintf(stderr, "service_poll_pg: sign-ins on %s failed\n", b.name);
    return !b.tokens.empty();
}

void Phase(Backend& b, const PollSettings& s) {
    MessageTrickle trickle(b.ports, b.tokens, b.ids);
    PollResult poll = RunPollLoad(b.ports, b.tokens, "/messages", s);
    b.errors += poll.errors + trickle.stop();
    ReportPoll(b.name, poll, s);
    b.p99s.push_back(Percentile(poll.latenciesMs, 0.99));
}

} // namespace

int main(int argc, char** argv) {
    PollSettings s;
    s.seconds = 10;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string arg = argv[i];
        int value = std::atoi(argv[i + 1]);
        if (arg == "--clients" && value > 0)
            s.clients = value;
        else if (arg == "--seconds" && value > 0)
            s.seconds = value;
        else if (arg == "--rounds" && value > 0)
            rounds = value;
    }
    s.workers = std::max(16, s.clients / 25);
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
    const std::filesystem::path root = dir;
    int exitCode = 1;
    try {
        velmora::test::PostgresCluster cluster;
        const std::string uri = cluster.uri(cluster.createDatabase());
        Backend sqlite{"sqlite", {}, {}, {}, {}, {}, 0};
        Backend postgres{"pg x2", {}, {}, {}, {}, {}, 0};
        if (Prepare(sqlite, {ServiceOptions(root / "sqlite", "", s.clients)}, s.clients) &&
            Prepare(postgres,
                    {ServiceOptions(root / "pg", uri, s.clients),
                     ServiceOptions(root / "pg", uri, s.clients)},
                    s.clients)) {
            std::printf("service_poll_pg: %d clients, one poll each per %d ms (%.1f req/s), "
                        "%d s per phase, %d rounds; PostgreSQL ports %d and %d, SQLite port %d\n",
                        s.clients, s.intervalMs, s.offeredPerSecond(), s.seconds, rounds,
                        postgres.ports[0], postgres.ports[1], sqlite.ports[0]);
            for (int r = 0; r < rounds; ++r) {
                Phase(sqlite, s);
                Phase(postgres, s);
            }
            for (Backend* b : {&sqlite, &postgres})
                for (auto& service : b->services)
                    service->stop();
            double pg = Percentile(postgres.p99s, 0.5);
            double lite = Percentile(sqlite.p99s, 0.5);
            long long errors = sqlite.errors + postgres.errors;
            double ratio = lite > 0 ? pg / lite : 0.0;
            std::printf("service_poll_pg: %.2f ms p99 ratio=%.2f (target 2), errors=%lld\n", pg,
                        ratio, errors);
            exitCode = ratio <= 2.0 && errors == 0 ? 0 : 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "service_poll_pg: %s\n", e.what());
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return exitCode;
}
