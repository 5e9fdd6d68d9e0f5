#include "auth.h"

#include "errors.h"

#include <sodium.h>

#include <algorithm>

namespace velmora::server {

namespace {

std::string TokenHash(const std::string& token) {
    unsigned char digest[32];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

} // namespace

std::int64_t UnixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::optional<HashCost> ParseHashCost(const std::string& text) {
    if (text == "interactive")
        return HashCost::Interactive;
    if (text == "moderate")
        return HashCost::Moderate;
    if (text == "test")
        return HashCost::Test;
    return std::nullopt;
}

class PasswordHasher::Slot {
public:
    explicit Slot(std::counting_semaphore<64>& slots) : slots_(slots) {
        if (!slots_.try_acquire_for(std::chrono::seconds(10)))
            throw ServiceError(503, "Service busy; try again");
    }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() { slots_.release(); }

private:
    std::counting_semaphore<64>& slots_;
};

PasswordHasher::PasswordHasher(HashCost cost, int parallel) : slots_(std::clamp(parallel, 1, 64)) {
    if (sodium_init() < 0)
        throw ServiceError(500, "libsodium cannot start");
    switch (cost) {
    case HashCost::Interactive:
        ops_ = crypto_pwhash_OPSLIMIT_INTERACTIVE;
        mem_ = crypto_pwhash_MEMLIMIT_INTERACTIVE;
        break;
    case HashCost::Moderate:
        ops_ = crypto_pwhash_OPSLIMIT_MODERATE;
        mem_ = crypto_pwhash_MEMLIMIT_MODERATE;
        break;
    case HashCost::Test:
        ops_ = crypto_pwhash_OPSLIMIT_MIN;
        mem_ = crypto_pwhash_MEMLIMIT_MIN;
        break;
    }
    dummy_ = hash("velmora-no-such-account");
}

std::string PasswordHasher::hash(const std::string& password) {
    Slot slot(slots_);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), ops_, mem_,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw ServiceError(503, "Service busy; try again");
    return out;
}

bool PasswordHasher::verify(const std::string& hash, const std::string& password) {
    Slot slot(slots_);
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool PasswordHasher::needsRehash(const std::string& hash) const {
    return crypto_pwhash_str_needs_rehash(hash.c_str(), ops_, mem_) != 0;
}

void PasswordHasher::burn(const std::string& password) {
    verify(dummy_, password);
}

int SignInThrottle::secondsLeft(const std::string& accountId, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(accountId);
    if (it == entries_.end() || it->second.until <= now)
        return 0;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(it->second.until - now);
    return static_cast<int>((left.count() + 999) / 1000);
}

void SignInThrottle::failed(const std::string& accountId, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    // Bound the memory that sign-ins for made-up account ids can take: drop
    // entries that are out of back-off.
    if (entries_.size() > 100000) {
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->second.until + std::chrono::hours(1) < now)
                it = entries_.erase(it);
            else
                ++it;
        }
    }
    Entry& entry = entries_[accountId];
    entry.failures = std::min(entry.failures + 1, 1000);
    if (entry.failures >= kFreeFailures) {
        int exponent = std::min(entry.failures - kFreeFailures, 16);
        int delay = std::min(1 << exponent, kMaxDelaySeconds);
        entry.until = now + std::chrono::seconds(delay);
    }
}

void SignInThrottle::succeeded(const std::string& accountId) {
    std::lock_guard lock(mutex_);
    entries_.erase(accountId);
}

std::string Sessions::open(std::int64_t user) {
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    std::string token = hex;
    std::string key = TokenHash(token);
    std::int64_t expires = UnixNow() + kLifetimeSeconds;
    store_.addSession(key, user, expires);
    std::unique_lock lock(mutex_);
    cache_[key] = Cached{user, expires};
    return token;
}

std::optional<std::int64_t> Sessions::user(const std::string& token) {
    if (token.size() != 64)
        return std::nullopt;
    std::string key = TokenHash(token);
    std::int64_t now = UnixNow();
    {
        std::shared_lock lock(mutex_);
        auto it = cache_.find(key);
        if (it != cache_.end() && it->second.expires > now)
            return it->second.user;
    }
    // Sessions outlive a restart: look in the database once, then remember.
    auto user = store_.sessionUser(key, now);
    std::unique_lock lock(mutex_);
    if (user)
        cache_[key] = Cached{*user, now + 60}; // re-read soon; the row holds the real expiry
    else
        cache_.erase(key);
    return user;
}

void Sessions::close(const std::string& token) {
    std::string key = TokenHash(token);
    {
        std::unique_lock lock(mutex_);
        cache_.erase(key);
    }
    store_.removeSession(key);
}

} // namespace velmora::server
