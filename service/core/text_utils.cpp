#include "text_utils.h"

#include <limits>

namespace velmora {

void Split(const std::string& text, char separator, std::vector<std::string>& out) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            out.emplace_back(text, start);
            return;
        }
        out.emplace_back(text, start, end - start);
        start = end + 1;
    }
}

std::string FileNameOfPath(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PadRight(const std::string& text, int width) {
    std::string out = text;
    if (width > 0 && out.size() < static_cast<std::size_t>(width))
        out.append(static_cast<std::size_t>(width) - out.size(), ' ');
    return out;
}

std::string NumberToText(std::int32_t number) {
    return std::to_string(number);
}

std::int32_t TextToNumber(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                     text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated in 64 bits and clamped as soon as it leaves the 32-bit
    // range, so no digit count can overflow.
    constexpr std::int64_t kMaxMagnitude =
        std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kMaxMagnitude)
            value = kMaxMagnitude;
    }
    if (negative)
        return static_cast<std::int32_t>(-value);
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

namespace {

std::string PercentCode(char c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(c);
    return {'%', kHex[byte >> 4], kHex[byte & 0xF]};
}

} // namespace

std::string EscapeSeparator(const std::string& text, char separator) {
    const std::string code = PercentCode(separator);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '%')
            out += "%25";
        else if (c == separator)
            out += code;
        else
            out += c;
    }
    return out;
}

std::string UnescapeSeparator(const std::string& text, char separator) {
    const std::string code = PercentCode(separator);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "%25") == 0) {
            out += '%';
            i += 2;
        } else if (text.compare(i, 3, code) == 0) {
            out += separator;
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace velmora
