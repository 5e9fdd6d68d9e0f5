#include "percent.h"

namespace velmora::wire {

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

} // namespace

std::string PercentEncode(std::string_view text) {
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

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
            continue;
        }
        if (c == '%' && i + 2 < text.size()) {
            int high = HexValue(text[i + 1]);
            int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string FormEncode(const FormFields& fields) {
    std::string out;
    for (const auto& [name, value] : fields) {
        if (!out.empty())
            out += '&';
        out += PercentEncode(name);
        out += '=';
        out += PercentEncode(value);
    }
    return out;
}

void ParseForm(std::string_view body, FormMap& out) {
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string_view::npos)
            end = body.size();
        std::string_view pair = body.substr(start, end - start);
        if (!pair.empty()) {
            std::size_t eq = pair.find('=');
            std::string name = PercentDecode(pair.substr(0, eq));
            std::string value =
                eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
            out.emplace(std::move(name), std::move(value));
        }
        start = end + 1;
    }
}

} // namespace velmora::wire
