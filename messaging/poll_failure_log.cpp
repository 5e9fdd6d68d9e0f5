#include "poll_failure_log.h"

namespace velmora {

void PollFailureLog::Failed(const std::string& text) {
    if (logged_ && *logged_ == text)
        return;
    logged_ = text;
    Write(kFailurePrefix + text);
}

void PollFailureLog::Succeeded() {
    if (!logged_)
        return;
    logged_.reset();
    Write(kRecovered);
}

void PollFailureLog::Write(const std::string& line) {
    if (write_)
        write_(line);
}

} // namespace velmora
