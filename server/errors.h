#pragma once

#include <stdexcept>
#include <string>

namespace velmora::server {

// A refusal of the HTTP layer itself (a missing parameter, a bad range, a
// sign-in during back-off): the status and a readable reason. The store's
// refusals are StoreErrors; the router turns both into replies.
class ServiceError : public std::runtime_error {
public:
    ServiceError(int status, const std::string& reason, int retryAfter = 0)
        : std::runtime_error(reason), status_(status), retryAfter_(retryAfter) {}
    int status() const { return status_; }
    // Seconds after which the same request may succeed; 0 when unknown.
    int retryAfter() const { return retryAfter_; }

private:
    int status_;
    int retryAfter_;
};

} // namespace velmora::server
