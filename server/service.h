#pragma once

// The HTTP face of the service: routes, authorization, transfers and link
// pages over a Store. Start() binds and serves on a thread of its own, so
// the same object runs in the executable and inside tests.

#include "auth.h"
#include "store.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace velmora::server {

struct Options {
    std::string listen = "127.0.0.1";
    int port = 8080;
    std::filesystem::path dataDir;
    std::string publicUrl; // empty: http://listen:port
    int threads = 512;
    int keepAliveTimeout = 1;
    std::uint64_t maxUploadBytes = 4ULL << 30;
    HashCost hashCost = HashCost::Interactive;
    int hashParallel = 2;
    bool quiet = false;
};

std::filesystem::path DefaultDataDir();

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
    const Options& options() const { return options_; }
    std::string publicUrl() const;
    std::int64_t addUser(const NewUser& user, const std::string& password);

private:
    void routes();

    Options options_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<PasswordHasher> hasher_;
    std::unique_ptr<Sessions> sessions_;
    SignInThrottle throttle_;
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
    std::atomic<int> port_{0};
};

} // namespace velmora::server
