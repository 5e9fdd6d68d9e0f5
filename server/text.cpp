#include "text.h"

#include <charconv>

namespace velmora::server {

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            // Control characters other than tab and line breaks are not
            // allowed in XML 1.0 at all.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

std::string HtmlEscape(std::string_view text) {
    return XmlEscape(text);
}

std::optional<std::int32_t> ParseId(std::string_view text) {
    std::int32_t value = 0;
    if (text.empty())
        return std::nullopt;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string NameProblem(std::string_view name) {
    if (name.empty())
        return "The name is empty";
    if (name.size() > 255)
        return "The name is longer than 255 bytes";
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f)
            return "Invalid character in the name";
    }
    if (name == "." || name == "..")
        return "Invalid character in the name";
    return {};
}

bool IsMailAddress(std::string_view address) {
    if (address.size() < 3 || address.size() > 254)
        return false;
    std::size_t at = address.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 >= address.size() ||
        address.find('@', at + 1) != std::string_view::npos)
        return false;
    for (char c : address) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == '<' || c == '>' || c == ',' || c == ';' ||
            c == '"' || c == '(' || c == ')' || c == '\\')
            return false;
    }
    std::string_view domain = address.substr(at + 1);
    return domain.find('.') != std::string_view::npos && domain.front() != '.' &&
           domain.back() != '.';
}

} // namespace velmora::server
