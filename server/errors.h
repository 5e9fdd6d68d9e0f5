#pragma once

#include <stdexcept>
#include <string>

namespace velmora::server {

// A refusal that reaches the client as an HTTP status and a readable reason.
class ServiceError : public std::runtime_error {
public:
    ServiceError(int status, const std::string& reason)
        : std::runtime_error(reason), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

} // namespace velmora::server
