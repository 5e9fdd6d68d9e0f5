#pragma once

// The encoding of node keys in web links, shared by the player (which makes
// links) and the service (which opens them): each "0"-"9" and "~" becomes a
// three-character code; any other character is dropped.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::link_codec {

// Codes for "0" to "9", then "~". All differ and none is a prefix of another.
inline constexpr std::array<std::string_view, 11> kCodes = {
    "q3z", "b8m", "x1r", "n5t", "h2w", "c9p", "v4k", "j6d", "f0s", "y7g", "u2e"};

inline std::string Encode(std::string_view key) {
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

// The key an encoded text stands for; nothing when the text is not made of
// whole codes.
inline std::optional<std::string> Decode(std::string_view encoded) {
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

} // namespace velmora::link_codec
