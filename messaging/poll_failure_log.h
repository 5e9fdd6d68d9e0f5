#pragma once

#include <functional>
#include <optional>
#include <string>

namespace velmora {

// The log lines of the message poller's failures: a failure is written once,
// and again only when its text changes or after polling worked in between,
// so a service that stays down does not add a line every poll.
class PollFailureLog {
public:
    using Writer = std::function<void(const std::string&)>;
    static constexpr const char* kFailurePrefix = "Messages could not be fetched: ";
    static constexpr const char* kRecovered = "Messages are fetched again";

    explicit PollFailureLog(Writer write) : write_(std::move(write)) {}

    void Failed(const std::string& text);
    // After a logged failure, says once that polling works again.
    void Succeeded();

private:
    void Write(const std::string& line);

    Writer write_;
    std::optional<std::string> logged_;
};

} // namespace velmora
