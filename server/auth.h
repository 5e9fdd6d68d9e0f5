#pragma once

// Passwords, sign-in back-off and sessions.

#include "store.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace velmora::server {

enum class HashCost { Interactive, Moderate, Test };

std::optional<HashCost> ParseHashCost(const std::string& text);

class PasswordHasher {
public:
    PasswordHasher(HashCost cost, int parallel);
    // Both wait for a free hashing slot in a bounded queue; 503 when the
    // queue is full or no slot frees up within kSlotWait, which is well
    // below the time a client waits for its answer.
    std::string hash(const std::string& password);
    bool verify(const std::string& hash, const std::string& password);
    bool needsRehash(const std::string& hash) const;
    // Verifies against a fixed hash, so an unknown account costs as much
    // time as a known one. It yields to real hashes: it waits only while
    // nobody else does, and is skipped when the slots stay busy, so a flood
    // of made-up account ids cannot keep a real user out.
    void burn(const std::string& password);

    static constexpr auto kSlotWait = std::chrono::seconds(2);
    static constexpr int kMaxWaiting = 64;

private:
    class Slot;
    unsigned long long ops_;
    std::size_t mem_;
    std::mutex mutex_;
    std::condition_variable freed_;
    int free_ = 0;
    int waiting_ = 0; // real hashes waiting for a slot
    int burnsWaiting_ = 0;
    int parallel_ = 1;
    std::string dummy_;
};

// Sign-ins from one client address: at most inFlight at once and perMinute
// a minute, checked before any hashing, so no single client can take the
// hashing slots. Entries of quiet clients are dropped.
class SignInGate {
public:
    using Clock = std::chrono::steady_clock;
    SignInGate(int inFlight, int perMinute) : inFlight_(inFlight), perMinute_(perMinute) {}

    // Holds one sign-in's place while it runs.
    class Pass {
    public:
        Pass(SignInGate& gate, std::string client) : gate_(&gate), client_(std::move(client)) {}
        Pass(Pass&& other) noexcept
            : gate_(std::exchange(other.gate_, nullptr)), client_(std::move(other.client_)) {}
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        Pass& operator=(Pass&&) = delete;
        ~Pass() {
            if (gate_)
                gate_->leave(client_);
        }

    private:
        SignInGate* gate_;
        std::string client_;
    };

    // 429 with the seconds to wait when the client is over a limit.
    Pass enter(const std::string& client, Clock::time_point now);
    std::size_t clients();

private:
    struct Entry {
        int inFlight = 0;
        int count = 0;
        Clock::time_point windowStart;
    };
    void leave(const std::string& client);

    int inFlight_;
    int perMinute_;
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
    Clock::time_point lastPrune_;
};

// Growing delays after repeated failed sign-ins for one account id. They
// live in the database, so failures on one instance hold on every other;
// times are wall-clock, the one clock all instances share. Refusing during
// back-off is one read and holds no thread.
class SignInThrottle {
public:
    using Clock = std::chrono::system_clock;
    explicit SignInThrottle(Store& store) : store_(store) {}
    // Seconds to wait, 0 when a sign-in may be tried now.
    int secondsLeft(const std::string& accountId, Clock::time_point now);
    void failed(const std::string& accountId, Clock::time_point now);
    void succeeded(const std::string& accountId);

    // Account ids this many seconds past their last failure and out of
    // back-off are forgotten.
    std::size_t entries();

    static constexpr int kFreeFailures = 3;
    static constexpr int kMaxDelaySeconds = 300;
    static constexpr auto kForgetAfter = std::chrono::minutes(15);

    // The back-off after this many failures in a row.
    static int DelaySeconds(int failures);

private:
    Store& store_;
    std::mutex mutex_;
    Clock::time_point lastPrune_; // when this instance last forgot quiet ids
};

// Sessions are read from the database on every request: a sign-out on any
// instance ends the session on all of them at once.
class Sessions {
public:
    explicit Sessions(Store& store) : store_(store) {}
    // A new random token for the user.
    std::string open(std::int64_t user);
    std::optional<std::int64_t> user(const std::string& token);
    void close(const std::string& token);

    static constexpr std::int64_t kLifetimeSeconds = 30LL * 24 * 3600;

private:
    Store& store_;
};

std::int64_t UnixNow();

} // namespace velmora::server
