#include "text.h"

#include <array>
#include <charconv>

namespace velmora::server {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsAlnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

constexpr std::array<std::string_view, 34> kMediaExtensions = {
    "mp3", "wma", "avi", "mpeg",   "wmv",  "midi", "au",  "aiff", "asf", "m4a", "jpg", "jpeg",
    "wmd", "wm",  "snd", "aif",    "aifc", "aiff", "mpg", "m1v",  "mp2", "mpa", "mpe", "ifo",
    "vob", "mi",  "mid", "dvr-ms", "asx",  "wax",  "m3u", "wpl",  "wvx", "wmx"};

} // namespace

std::string UrlEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (IsAlnum(byte)) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string FormDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

void ParseForm(std::string_view body, std::multimap<std::string, std::string>& out) {
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string_view::npos)
            end = body.size();
        std::string_view pair = body.substr(start, end - start);
        if (!pair.empty()) {
            std::size_t eq = pair.find('=');
            std::string key = FormDecode(pair.substr(0, eq));
            std::string value =
                eq == std::string_view::npos ? std::string() : FormDecode(pair.substr(eq + 1));
            out.emplace(std::move(key), std::move(value));
        }
        start = end + 1;
    }
}

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
        if (c == '/' || c == '\0' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            return "Invalid character in the name";
    }
    if (name == "." || name == "..")
        return "Invalid character in the name";
    return {};
}

bool HasMediaExtension(std::string_view name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    std::string extension;
    for (char c : name.substr(dot + 1))
        extension += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (std::string_view known : kMediaExtensions) {
        if (extension == known)
            return true;
    }
    return false;
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
