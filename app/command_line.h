#pragma once

#include <string>
#include <vector>

namespace velmora {

// The framework's standard switches: embedding, automation and unregistering
// the automation server each end the program at once, with no window and no log.
bool EndsAtOnce(const std::vector<std::string>& arguments);

} // namespace velmora
