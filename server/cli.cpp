#include "cli.h"

#include "errors.h"
#include "seed.h"
#include "service.h"
#include "wire/link.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <string>
#include <vector>

namespace velmora::server {

namespace {

constexpr const char* kUsage = R"(usage: velmora-service [options]
  --listen ADDR               address to bind (127.0.0.1)
  --port N                    port (8080; 0 picks a free one and prints it)
  --data DIR                  data folder ($XDG_DATA_HOME/velmora-service)
  --database FILE|URI         SQLite file, or postgresql://... (DIR/velmora.db)
  --database-connections N    database connections of this instance (8)
  --public-url URL            base of links in mails and pages (http://ADDR:PORT)
  --threads N                 worker threads, each serving many connections (16)
  --keep-alive-timeout S      idle seconds between requests (1)
  --request-timeout S         idle seconds within a request or a reply (10)
  --header-timeout S          seconds for a request line and its headers (10)
  --header-bytes N            largest request line and headers (32768)
  --max-connections N         open connections in all (8192)
  --max-client-connections N  open connections from one address (1024)
  --tls-cert FILE --tls-key FILE   serve HTTPS with this PEM certificate and key
  --max-upload-bytes N        largest upload (4294967296)
  --max-folder-depth N        folders nested below My Media (100)
  --max-folder-entries N      files and folders in one folder (50000)
  --hash-cost interactive|moderate|test   password hash cost (interactive)
  --hash-parallel N           password hashes at once (2)
  --sign-ins-in-flight N      sign-ins at once from one address (32)
  --sign-ins-per-minute N     sign-ins a minute from one address (120)
  --quiet                     no request log
  --serve                     serve after a seeding or admin command
  --seed-demo | --seed-bench  create demo or benchmark data
  --add-user ACCOUNTID --password PW|- [--first-name F] [--last-name L]
             [--email E] [--tier free|plus|gold|platinum] [--public] [--expired]
  --add-appmessage TEXT [--url URL] | --remove-appmessage ID | --list-appmessages
)";

struct Command {
    Options options;
    bool serve = false;
    bool seedDemo = false;
    bool seedBench = false;
    std::optional<NewUser> addUser;
    std::optional<std::string> password;
    std::optional<std::string> addAppMessage;
    std::string url;
    std::optional<long long> removeAppMessage;
    bool listAppMessages = false;
};

bool ParseNumber(const std::string& text, long long min, long long max, long long& out) {
    try {
        std::size_t used = 0;
        long long value = std::stoll(text, &used);
        if (used != text.size() || value < min || value > max)
            return false;
        out = value;
        return true;
    } catch (...) {
        return false;
    }
}

std::optional<Command> Parse(const std::vector<std::string>& args, std::string& error) {
    Command cmd;
    NewUser user;
    bool wantsUser = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        auto number = [&](long long min, long long max) -> std::optional<long long> {
            auto text = value();
            long long n = 0;
            if (!text)
                return std::nullopt;
            if (!ParseNumber(*text, min, max, n)) {
                error = "bad number for " + arg + ": " + *text;
                return std::nullopt;
            }
            return n;
        };
        if (arg == "--listen") {
            auto v = value();
            if (!v)
                return std::nullopt;
            cmd.options.listen = *v;
        } else if (arg == "--port") {
            auto n = number(0, 65535);
            if (!n)
                return std::nullopt;
            cmd.options.port = static_cast<int>(*n);
        } else if (arg == "--data") {
            auto v = value();
            if (!v)
                return std::nullopt;
            cmd.options.dataDir = *v;
        } else if (arg == "--database") {
            auto v = value();
            if (!v)
                return std::nullopt;
            cmd.options.database = *v;
        } else if (arg == "--database-connections") {
            auto n = number(1, 1000);
            if (!n)
                return std::nullopt;
            cmd.options.databaseConnections = static_cast<int>(*n);
        } else if (arg == "--public-url") {
            auto v = value();
            if (!v)
                return std::nullopt;
            cmd.options.publicUrl = *v;
        } else if (arg == "--threads") {
            auto n = number(1, 1024);
            if (!n)
                return std::nullopt;
            cmd.options.threads = static_cast<int>(*n);
        } else if (arg == "--keep-alive-timeout") {
            auto n = number(0, 3600);
            if (!n)
                return std::nullopt;
            cmd.options.keepAliveTimeout = static_cast<int>(*n);
        } else if (arg == "--request-timeout" || arg == "--header-timeout") {
            auto n = number(1, 3600);
            if (!n)
                return std::nullopt;
            (arg == "--request-timeout" ? cmd.options.requestTimeout : cmd.options.headerTimeout) =
                static_cast<int>(*n);
        } else if (arg == "--header-bytes") {
            auto n = number(4096, 1 << 24);
            if (!n)
                return std::nullopt;
            cmd.options.headerBytes = static_cast<std::size_t>(*n);
        } else if (arg == "--max-connections" || arg == "--max-client-connections") {
            auto n = number(1, 1 << 20);
            if (!n)
                return std::nullopt;
            (arg == "--max-connections" ? cmd.options.maxConnections
                                        : cmd.options.maxClientConnections) = static_cast<int>(*n);
        } else if (arg == "--tls-cert" || arg == "--tls-key") {
            auto v = value();
            if (!v)
                return std::nullopt;
            (arg == "--tls-cert" ? cmd.options.tlsCert : cmd.options.tlsKey) = *v;
        } else if (arg == "--max-upload-bytes") {
            auto n = number(1, (1LL << 62));
            if (!n)
                return std::nullopt;
            cmd.options.maxUploadBytes = static_cast<std::uint64_t>(*n);
        } else if (arg == "--max-folder-depth" || arg == "--max-folder-entries") {
            auto n = number(1, 1000000);
            if (!n)
                return std::nullopt;
            (arg == "--max-folder-depth" ? cmd.options.libraryLimits.folderDepth
                                         : cmd.options.libraryLimits.folderEntries) =
                static_cast<int>(*n);
        } else if (arg == "--hash-cost") {
            auto v = value();
            if (!v)
                return std::nullopt;
            auto cost = ParseHashCost(*v);
            if (!cost) {
                error = "unknown hash cost: " + *v;
                return std::nullopt;
            }
            cmd.options.hashCost = *cost;
        } else if (arg == "--hash-parallel") {
            auto n = number(1, 64);
            if (!n)
                return std::nullopt;
            cmd.options.hashParallel = static_cast<int>(*n);
        } else if (arg == "--sign-ins-in-flight" || arg == "--sign-ins-per-minute") {
            auto n = number(1, 1 << 20);
            if (!n)
                return std::nullopt;
            (arg == "--sign-ins-in-flight" ? cmd.options.signInsInFlight
                                           : cmd.options.signInsPerMinute) = static_cast<int>(*n);
        } else if (arg == "--quiet") {
            cmd.options.quiet = true;
        } else if (arg == "--serve") {
            cmd.serve = true;
        } else if (arg == "--seed-demo") {
            cmd.seedDemo = true;
        } else if (arg == "--seed-bench") {
            cmd.seedBench = true;
        } else if (arg == "--add-user") {
            auto v = value();
            if (!v)
                return std::nullopt;
            user.accountId = *v;
            wantsUser = true;
        } else if (arg == "--password") {
            auto v = value();
            if (!v)
                return std::nullopt;
            cmd.password = *v;
        } else if (arg == "--first-name" || arg == "--last-name" || arg == "--email") {
            auto v = value();
            if (!v)
                return std::nullopt;
            (arg == "--first-name"  ? user.firstName
             : arg == "--last-name" ? user.lastName
                                    : user.email) = *v;
        } else if (arg == "--tier") {
            auto v = value();
            if (!v)
                return std::nullopt;
            if (*v == "free")
                user.tier = Tier::Free;
            else if (*v == "plus")
                user.tier = Tier::Plus;
            else if (*v == "gold")
                user.tier = Tier::Gold;
            else if (*v == "platinum")
                user.tier = Tier::Platinum;
            else {
                error = "unknown tier: " + *v;
                return std::nullopt;
            }
        } else if (arg == "--public") {
            user.listed = true;
        } else if (arg == "--expired") {
            user.expired = true;
        } else if (arg == "--add-appmessage") {
            auto v = value();
            if (!v)
                return std::nullopt;
            cmd.addAppMessage = *v;
        } else if (arg == "--url") {
            auto v = value();
            if (!v)
                return std::nullopt;
            cmd.url = *v;
        } else if (arg == "--remove-appmessage") {
            auto n = number(1, (1LL << 62));
            if (!n)
                return std::nullopt;
            cmd.removeAppMessage = *n;
        } else if (arg == "--list-appmessages") {
            cmd.listAppMessages = true;
        } else if (arg == "--help" || arg == "-h") {
            error = "";
            return std::nullopt;
        } else {
            error = "unknown option: " + arg;
            return std::nullopt;
        }
    }
    if (cmd.options.tlsCert.empty() != cmd.options.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return std::nullopt;
    }
    if (wantsUser) {
        if (!cmd.password) {
            error = "--add-user needs --password";
            return std::nullopt;
        }
        cmd.addUser = user;
    }
    return cmd;
}

} // namespace

int RunCommandLine(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto cmd = Parse(args, error);
    if (!cmd) {
        if (!error.empty())
            std::cerr << "velmora-service: " << error << "\n";
        std::cerr << kUsage;
        return error.empty() ? 0 : 1;
    }

    // Signals are taken by sigwait below; every thread started from here on
    // inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<Service> service;
    try {
        service = std::make_unique<Service>(cmd->options);
    } catch (const std::exception& e) {
        std::cerr << "velmora-service: " << e.what() << "\n";
        return 2;
    }
    bool admin = cmd->seedDemo || cmd->seedBench || cmd->addUser || cmd->addAppMessage ||
                 cmd->removeAppMessage || cmd->listAppMessages;
    try {
        if (cmd->addUser) {
            std::string password = *cmd->password;
            if (password == "-" && !std::getline(std::cin, password)) {
                std::cerr << "velmora-service: no password on stdin\n";
                return 1;
            }
            std::int64_t id = service->addUser(*cmd->addUser, password);
            std::cout << "user " << cmd->addUser->accountId << " id " << id << std::endl;
        }
        if (cmd->addAppMessage)
            std::cout << "appmessage "
                      << service->store().addAppMessage(*cmd->addAppMessage, cmd->url) << std::endl;
        if (cmd->removeAppMessage) {
            if (!service->store().removeAppMessage(*cmd->removeAppMessage)) {
                std::cerr << "velmora-service: no application message " << *cmd->removeAppMessage
                          << "\n";
                return 1;
            }
        }
        if (cmd->listAppMessages) {
            for (const auto& m : service->store().appMessages())
                std::cout << m.id << "\t" << m.msg << "\t" << m.url << "\n";
            std::cout.flush();
        }
        // With --serve the links of the demo messages name the port that is
        // really served, so seeding waits until the port is bound.
        if (cmd->seedDemo && !cmd->serve) {
            std::string base = cmd->options.publicUrl.empty()
                                   ? DefaultPublicUrl(cmd->options, cmd->options.port)
                                   : cmd->options.publicUrl;
            SeedDemo(service->store(), service->hasher(), base, std::cout);
        }
        if (cmd->seedBench)
            SeedBench(service->store(), service->hasher(), std::cout);
    } catch (const std::exception& e) {
        std::cerr << "velmora-service: " << e.what() << "\n";
        return 1;
    }
    std::cout.flush();
    if (admin && !cmd->serve)
        return 0;

    int port = 0;
    try {
        port = service->start();
    } catch (const std::exception& e) {
        std::cerr << "velmora-service: " << e.what() << "\n";
        return 2;
    }
    if (cmd->seedDemo) {
        try {
            SeedDemo(service->store(), service->hasher(), service->publicUrl(), std::cout);
        } catch (const std::exception& e) {
            std::cerr << "velmora-service: " << e.what() << "\n";
            service->stop();
            return 1;
        }
    }
    std::cout << "listening on " << cmd->options.listen << ":" << port << std::endl;

    int received = 0;
    sigwait(&signals, &received);
    std::cerr << "velmora-service: stopping on signal " << received << "\n";
    service->stop();
    return 0;
}

} // namespace velmora::server
