#include "text.h"

#include <charconv>
#include <cstdint>

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

namespace {

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int more = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xc2 && lead <= 0xdf) {
            more = 1;
            code = lead & 0x1fu;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            more = 2;
            code = lead & 0x0fu;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            more = 3;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i <= static_cast<std::size_t>(more))
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xc0u) != 0x80u)
                return false;
            code = (code << 6) | (next & 0x3fu);
        }
        if ((more == 2 && code < 0x800) || (more == 3 && code < 0x10000) || code > 0x10ffff ||
            (code >= 0xd800 && code <= 0xdfff))
            return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

} // namespace

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
    // A name must be text on every system it reaches: the player's file
    // names, the tree, links and mail.
    if (!IsUtf8(name))
        return "The name is not valid UTF-8 text";
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
