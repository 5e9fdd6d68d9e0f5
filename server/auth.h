#pragma once

// Passwords, sign-in back-off and sessions.

#include "store.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <semaphore>
#include <shared_mutex>
#include <string>
#include <unordered_map>

namespace velmora::server {

enum class HashCost { Interactive, Moderate, Test };

std::optional<HashCost> ParseHashCost(const std::string& text);

class PasswordHasher {
public:
    PasswordHasher(HashCost cost, int parallel);
    // Both wait for a free hashing slot; 503 when none frees up in time.
    std::string hash(const std::string& password);
    bool verify(const std::string& hash, const std::string& password);
    bool needsRehash(const std::string& hash) const;
    // Verifies against a fixed hash, so an unknown account costs as much
    // time as a known one.
    void burn(const std::string& password);

private:
    class Slot;
    unsigned long long ops_;
    std::size_t mem_;
    std::counting_semaphore<64> slots_;
    std::string dummy_;
};

// Growing delays after repeated failed sign-ins for one account id, kept in
// memory: refusing during back-off holds no thread.
class SignInThrottle {
public:
    using Clock = std::chrono::steady_clock;
    // Seconds to wait, 0 when a sign-in may be tried now.
    int secondsLeft(const std::string& accountId, Clock::time_point now);
    void failed(const std::string& accountId, Clock::time_point now);
    void succeeded(const std::string& accountId);

    static constexpr int kFreeFailures = 3;
    static constexpr int kMaxDelaySeconds = 300;

private:
    struct Entry {
        int failures = 0;
        Clock::time_point until;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

class Sessions {
public:
    explicit Sessions(Store& store) : store_(store) {}
    // A new random token for the user.
    std::string open(std::int64_t user);
    std::optional<std::int64_t> user(const std::string& token);
    void close(const std::string& token);

    static constexpr std::int64_t kLifetimeSeconds = 30LL * 24 * 3600;

private:
    struct Cached {
        std::int64_t user;
        std::int64_t expires;
    };
    Store& store_;
    std::shared_mutex mutex_;
    std::unordered_map<std::string, Cached> cache_; // by token hash
};

std::int64_t UnixNow();

} // namespace velmora::server
