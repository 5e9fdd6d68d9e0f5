#pragma once

// Text rules of the service's own: escaping for XML and HTML and the checks
// on names, ids and mail addresses. What the player must agree on (percent
// encoding, media names) is in wire/.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::server {

std::string XmlEscape(std::string_view text);
std::string HtmlEscape(std::string_view text);

// A 32-bit signed decimal number, whole text, no blanks.
std::optional<std::int32_t> ParseId(std::string_view text);

// Empty when the name may be stored, else the reason it is refused.
std::string NameProblem(std::string_view name);
// A single plausible address: local@domain, no blanks, controls or brackets.
bool IsMailAddress(std::string_view address);

} // namespace velmora::server
