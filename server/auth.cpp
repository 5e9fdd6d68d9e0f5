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

// One hashing slot, taken for the life of the object. A real hash waits in
// line; a burn goes only when no real hash is waiting and gives up when the
// slots stay busy.
class PasswordHasher::Slot {
public:
    Slot(PasswordHasher& hasher, bool burn) : hasher_(hasher) {
        std::unique_lock lock(hasher.mutex_);
        auto deadline = std::chrono::steady_clock::now() + kSlotWait;
        if (burn) {
            if (hasher.burnsWaiting_ >= hasher.parallel_)
                return;
            ++hasher.burnsWaiting_;
            held_ = hasher.freed_.wait_until(
                lock, deadline, [&] { return hasher.free_ > 0 && hasher.waiting_ == 0; });
            --hasher.burnsWaiting_;
        } else {
            if (hasher.waiting_ >= kMaxWaiting)
                throw ServiceError(503, "Service busy; try again", 1);
            ++hasher.waiting_;
            held_ = hasher.freed_.wait_until(lock, deadline, [&] { return hasher.free_ > 0; });
            --hasher.waiting_;
            if (!held_) {
                hasher.freed_.notify_all();
                throw ServiceError(503, "Service busy; try again", 1);
            }
        }
        if (held_)
            --hasher.free_;
        else
            hasher.freed_.notify_all();
    }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    ~Slot() {
        if (!held_)
            return;
        std::lock_guard lock(hasher_.mutex_);
        ++hasher_.free_;
        hasher_.freed_.notify_all();
    }
    bool held() const { return held_; }

private:
    PasswordHasher& hasher_;
    bool held_ = false;
};

PasswordHasher::PasswordHasher(HashCost cost, int parallel)
    : free_(std::clamp(parallel, 1, 64)), parallel_(std::clamp(parallel, 1, 64)) {
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
    Slot slot(*this, false);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), ops_, mem_,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw ServiceError(503, "Service busy; try again");
    return out;
}

bool PasswordHasher::verify(const std::string& hash, const std::string& password) {
    Slot slot(*this, false);
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool PasswordHasher::needsRehash(const std::string& hash) const {
    return crypto_pwhash_str_needs_rehash(hash.c_str(), ops_, mem_) != 0;
}

void PasswordHasher::burn(const std::string& password) {
    Slot slot(*this, true);
    if (slot.held())
        (void)!crypto_pwhash_str_verify(dummy_.c_str(), password.data(), password.size());
}

SignInGate::Pass SignInGate::enter(const std::string& client, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (now - lastPrune_ > std::chrono::seconds(10)) {
        lastPrune_ = now;
        std::erase_if(entries_, [now](const auto& item) {
            return item.second.inFlight == 0 &&
                   now - item.second.windowStart >= std::chrono::minutes(1);
        });
    }
    Entry& entry = entries_[client];
    if (entry.count == 0 || now - entry.windowStart >= std::chrono::minutes(1)) {
        entry.windowStart = now;
        entry.count = 0;
    }
    if (entry.inFlight >= inFlight_)
        throw ServiceError(429, "Too many sign-ins at once from this address; try again in 1 s", 1);
    if (entry.count >= perMinute_) {
        auto left = std::chrono::duration_cast<std::chrono::seconds>(entry.windowStart +
                                                                     std::chrono::minutes(1) - now)
                        .count() +
                    1;
        int wait = static_cast<int>(std::clamp<long long>(left, 1, 60));
        throw ServiceError(
            429, "Too many sign-ins from this address; try again in " + std::to_string(wait) + " s",
            wait);
    }
    ++entry.count;
    ++entry.inFlight;
    return Pass(*this, client);
}

void SignInGate::leave(const std::string& client) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(client);
    if (it != entries_.end() && it->second.inFlight > 0)
        --it->second.inFlight;
}

std::size_t SignInGate::clients() {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

int SignInThrottle::secondsLeft(const std::string& accountId, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(accountId);
    if (it == entries_.end() || it->second.until <= now)
        return 0;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(it->second.until - now);
    return static_cast<int>((left.count() + 999) / 1000);
}

void SignInThrottle::prune(Clock::time_point now) {
    std::erase_if(entries_, [now](const auto& item) {
        return item.second.until <= now && now - item.second.last > kForgetAfter;
    });
}

void SignInThrottle::failed(const std::string& accountId, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    // Bound the memory that sign-ins for made-up account ids can take: now
    // and then, and whenever the table grows large, forget the account ids
    // that have been quiet for a while.
    auto every = entries_.size() > 100000 ? std::chrono::seconds(1) : std::chrono::seconds(60);
    if (now - lastPrune_ > every) {
        lastPrune_ = now;
        prune(now);
    }
    Entry& entry = entries_[accountId];
    entry.last = now;
    entry.failures = std::min(entry.failures + 1, 1000);
    if (entry.failures >= kFreeFailures) {
        int exponent = std::min(entry.failures - kFreeFailures, 16);
        int delay = std::min(1 << exponent, kMaxDelaySeconds);
        entry.until = now + std::chrono::seconds(delay);
    }
}

std::size_t SignInThrottle::entries() {
    std::lock_guard lock(mutex_);
    return entries_.size();
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
    auto row = store_.session(key, now);
    std::unique_lock lock(mutex_);
    if (!row) {
        cache_.erase(key);
        return std::nullopt;
    }
    // Re-read soon, so a session closed elsewhere ends here too; never past
    // the session's own end.
    cache_[key] = Cached{row->user, std::min(row->expires, now + 60)};
    return row->user;
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
