#pragma once

#include <stdexcept>
#include <string>

namespace velmora::server {

// A refusal that reaches the client as an HTTP status and a readable reason.
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
