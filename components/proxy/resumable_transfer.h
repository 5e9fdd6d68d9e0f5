#pragma once

// Transfers that outlive a dropped connection. A download asks for the rest
// of the file with a Range request and goes on where it stopped; a large
// upload that did not get through is sent whole once more.

#include "service_http.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora::proxy {

// The pause before each further try; as many tries follow the first as
// there are pauses.
struct RetryPauses {
    std::vector<std::chrono::milliseconds> pauses{std::chrono::milliseconds(200),
                                                  std::chrono::milliseconds(500),
                                                  std::chrono::milliseconds(1000)};
};

// GetStreamed that resumes after a lost connection. Each resumed reply must
// be a 206 that starts at the first missing byte and names the size the
// first reply announced, or its bytes never reach sink; in the end sink has
// had exactly the file's bytes, or it throws RequestFailure.
void GetResumable(const Endpoint& endpoint, const std::string& target,
                  const std::function<bool(const char*, std::size_t)>& sink, CancelFlag& cancel,
                  const Timeouts& timeouts, const RetryPauses& retry = {});

// Uploads larger than this are sent once more when their connection is lost.
inline constexpr std::uint64_t kRetriedUploadBytes = 8ull * 1024 * 1024;

// PostStreamed that, for a body over kRetriedUploadBytes whose connection
// was lost before all of it went out, rewinds the source and sends it whole
// once more after the pause. A body sent complete is never sent again: the
// service may have stored it. rewind answers false when it cannot.
Reply PostRetried(const Endpoint& endpoint, const std::string& target, std::uint64_t length,
                  const std::function<std::int64_t(char*, std::size_t)>& source,
                  const std::function<bool()>& rewind, CancelFlag& cancel, const Timeouts& timeouts,
                  std::chrono::milliseconds pause = std::chrono::milliseconds(500));

} // namespace velmora::proxy
