#include "text_utils.h"

#include <limits>

namespace velmora {

namespace {

bool IsAsciiAlnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

} // namespace

std::string UrlEncode(const char* bytes, int count) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    if (!bytes || count < 1)
        return out;
    out.reserve(static_cast<std::size_t>(count) * 3);
    for (int i = 0; i < count; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (IsAsciiAlnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string UrlEncode(const std::string& text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return {};
    return UrlEncode(text.data(), static_cast<int>(text.size()));
}

std::string UrlDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && n - i > 2) {
            int value = HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]);
            if (value != 0)
                out += static_cast<char>(value);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

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

std::string BlanksToPlus(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == ' ')
            c = '+';
    return out;
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

} // namespace velmora
