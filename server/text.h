#pragma once

// Text rules of the service: the URL encoding of reply values, form
// decoding, escaping for XML and HTML, and the checks on names.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::server {

// Letters and digits as they are, every other byte as "%" and two lowercase
// hex digits: the form the player decodes, and safe inside any XML attribute.
std::string UrlEncode(std::string_view text);
// "%XX" and "+" for blank, as in query strings and form bodies.
std::string FormDecode(std::string_view text);
// Parses "a=1&b=2" into the map; later values do not replace earlier ones.
void ParseForm(std::string_view body, std::multimap<std::string, std::string>& out);

std::string XmlEscape(std::string_view text);
std::string HtmlEscape(std::string_view text);

// A 32-bit signed decimal number, whole text, no blanks.
std::optional<std::int32_t> ParseId(std::string_view text);

// Empty when the name may be stored, else the reason it is refused.
std::string NameProblem(std::string_view name);
// The name ends in "." and one of the media extensions (any case).
bool HasMediaExtension(std::string_view name);
// A single plausible address: local@domain, no blanks, controls or brackets.
bool IsMailAddress(std::string_view address);

} // namespace velmora::server
