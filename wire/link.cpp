#include "link.h"

#include <cctype>
#include <charconv>

namespace velmora::wire::link {

std::string Encode(std::string_view key) {
    std::string out;
    out.reserve(key.size() * 3);
    for (char c : key) {
        if (c >= '0' && c <= '9')
            out += kCodes[static_cast<std::size_t>(c - '0')];
        else if (c == '~')
            out += kCodes[10];
    }
    return out;
}

std::optional<std::string> Decode(std::string_view encoded) {
    if (encoded.size() % 3 != 0)
        return std::nullopt;
    std::string key;
    key.reserve(encoded.size() / 3);
    for (std::size_t i = 0; i < encoded.size(); i += 3) {
        std::string_view code = encoded.substr(i, 3);
        std::size_t k = 0;
        while (k < kCodes.size() && kCodes[k] != code)
            ++k;
        if (k == kCodes.size())
            return std::nullopt;
        key += k == 10 ? '~' : static_cast<char>('0' + k);
    }
    return key;
}

std::optional<std::vector<std::int32_t>> DecodeIds(std::string_view encoded, std::size_t count) {
    auto key = Decode(encoded);
    if (!key)
        return std::nullopt;
    std::vector<std::int32_t> ids;
    std::string_view rest = *key;
    while (true) {
        std::size_t end = rest.find('~');
        std::string_view field = rest.substr(0, end);
        std::int32_t id = 0;
        auto [stop, error] = std::from_chars(field.data(), field.data() + field.size(), id);
        if (field.empty() || error != std::errc() || stop != field.data() + field.size())
            return std::nullopt;
        ids.push_back(id);
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    if (ids.size() != count)
        return std::nullopt;
    return ids;
}

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

} // namespace

ServiceHost SplitHost(std::string_view host) {
    ServiceHost out;
    if (StartsWithNoCase(host, "https://")) {
        out.secure = true;
        host.remove_prefix(8);
    } else if (StartsWithNoCase(host, "http://")) {
        host.remove_prefix(7);
    }
    while (!host.empty() && host.back() == '/')
        host.remove_suffix(1);
    out.name = host;
    return out;
}

std::string HostPort(std::string_view host, int port) {
    host = SplitHost(host).name;
    std::string out;
    if (host.find(':') != std::string_view::npos && host.front() != '[')
        out = "[" + std::string(host) + "]";
    else
        out = host;
    return out + ":" + std::to_string(port);
}

std::string WebOrigin(std::string_view host, int port) {
    return (SplitHost(host).secure ? "https://" : "http://") + HostPort(host, port);
}

std::string NameValue(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out += c;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string BlanksToPlus(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == ' ')
            c = '+';
    }
    return out;
}

} // namespace velmora::wire::link
