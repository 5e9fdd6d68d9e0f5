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

namespace {

std::int64_t Millis(SignInThrottle::Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

} // namespace

int SignInThrottle::DelaySeconds(int failures) {
    if (failures < kFreeFailures)
        return 0;
    int exponent = std::min(failures - kFreeFailures, 16);
    return std::min(1 << exponent, kMaxDelaySeconds);
}

int SignInThrottle::secondsLeft(const std::string& accountId, Clock::time_point now) {
    auto row = store_.signInBackOff(accountId);
    std::int64_t left = row ? row->untilMs - Millis(now) : 0;
    return left > 0 ? static_cast<int>((left + 999) / 1000) : 0;
}

void SignInThrottle::failed(const std::string& accountId, Clock::time_point now) {
    // Now and then forget the account ids that have been quiet for a while,
    // so sign-ins for made-up ids do not pile up rows.
    bool prune = false;
    {
        std::lock_guard lock(mutex_);
        if (now - lastPrune_ > std::chrono::seconds(60)) {
            lastPrune_ = now;
            prune = true;
        }
    }
    if (prune)
        store_.forgetSignInBackOffs(Millis(now), Millis(now - kForgetAfter));
    store_.addSignInFailure(accountId, Millis(now), &DelaySeconds);
}

std::size_t SignInThrottle::entries() {
    return store_.signInBackOffCount();
}

void SignInThrottle::succeeded(const std::string& accountId) {
    store_.clearSignInBackOff(accountId);
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
    return token;
}

std::optional<std::int64_t> Sessions::user(const std::string& token) {
    if (token.size() != 64)
        return std::nullopt;
    return store_.sessionUser(TokenHash(token), UnixNow());
}

void Sessions::close(const std::string& token) {
    store_.removeSession(TokenHash(token));
}

} // namespace velmora::server
