#pragma once

// The service: a Store, the routes of every area on a Router, and the HTTP
// server in front of them. Start() binds and serves on a thread of its own,
// so the same object runs in the executable and inside tests.

#include "auth.h"
#include "store.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace velmora::server {

class HttpBackend;
class Router;

struct Options {
    std::string listen = "127.0.0.1";
    int port = 8080;
    std::filesystem::path dataDir;
    // A postgresql:// URI or an SQLite file; empty: velmora.db in dataDir.
    std::string database;
    // Database connections of this instance.
    int databaseConnections = 8;
    std::string publicUrl;               // empty: DefaultPublicUrl
    int threads = 16;                    // worker threads, each serving many connections
    int keepAliveTimeout = 1;            // idle seconds between requests
    int requestTimeout = 10;             // idle seconds within a request or a reply
    int headerTimeout = 10;              // seconds for a whole request line and headers
    std::size_t headerBytes = 32 * 1024; // request line and headers of one request
    int maxConnections = 8192;
    int maxClientConnections = 1024; // from one address
    std::uint64_t maxUploadBytes = 4ULL << 30;
    LibraryLimits libraryLimits;
    std::filesystem::path tlsCert; // both set: HTTPS
    std::filesystem::path tlsKey;
    HashCost hashCost = HashCost::Interactive;
    int hashParallel = 2;
    int signInsInFlight = 32;   // from one address at once
    int signInsPerMinute = 120; // from one address
    bool quiet = false;
};

std::filesystem::path DefaultDataDir();
// The base of the links the service hands out when no public URL is given:
// the address it serves, with "https://" when it serves TLS.
std::string DefaultPublicUrl(const Options& options, int port);

class Service {
public:
    explicit Service(Options options);
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    ~Service();

    // Binds the address and serves on a thread; returns the port.
    int start();
    void stop();
    // Blocks until the server stops.
    void wait();

    Store& store() { return *store_; }
    PasswordHasher& hasher() { return *hasher_; }
    Sessions& sessions() { return *sessions_; }
    SignInThrottle& throttle() { return *throttle_; }
    SignInGate& gate() { return *gate_; }
    const Options& options() const { return options_; }
    std::string publicUrl() const;
    std::int64_t addUser(const NewUser& user, const std::string& password);

private:
    Options options_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<PasswordHasher> hasher_;
    std::unique_ptr<Sessions> sessions_;
    std::unique_ptr<SignInThrottle> throttle_;
    std::unique_ptr<SignInGate> gate_;
    std::unique_ptr<Router> router_;
    std::unique_ptr<HttpBackend> http_;
    std::atomic<int> port_{0};
};

} // namespace velmora::server
