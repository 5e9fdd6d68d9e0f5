#pragma once

// The percent encoding of every text that crosses the wire: attribute values
// of the service's replies, query strings and form bodies.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::wire {

// Letters and digits as they are; every other byte, blank and "." included,
// as "%" and two lowercase hex digits. Safe inside any XML attribute, query
// string or form body.
std::string PercentEncode(std::string_view text);

// The inverse of PercentEncode for every byte, lenient with what a browser or
// another client may send: "+" is a blank; "%" and two hex digits (either
// case) is that byte, "%00" included, so that a name holding a zero byte is
// refused by the name rules rather than quietly becoming another name; a "%"
// without two hex digits after it stays as it is.
std::string PercentDecode(std::string_view text);

using FormFields = std::vector<std::pair<std::string, std::string>>;
using FormMap = std::multimap<std::string, std::string>;

// "name=value&name=value", both sides percent-encoded.
std::string FormEncode(const FormFields& fields);
// Adds the pairs of a query string or form body to out; a piece without "="
// is a name with an empty value, empty pieces are skipped.
void ParseForm(std::string_view body, FormMap& out);

} // namespace velmora::wire
