#include "http.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace velmora::server::http {

namespace {

// A request field as one safe log word: printable ASCII only, bounded.
std::string LogText(const std::string& text) {
    std::string out;
    for (char c : text.substr(0, 200)) {
        auto byte = static_cast<unsigned char>(c);
        out += (byte <= 0x20 || byte >= 0x7f) ? '?' : c;
    }
    return out.empty() ? "-" : out;
}

std::string IsoNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buffer;
}

} // namespace

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool Request::hasHeader(std::string_view name) const {
    return headers.find(std::string(name)) != headers.end();
}

std::string Request::header(std::string_view name) const {
    auto it = headers.find(std::string(name));
    return it == headers.end() ? std::string() : it->second;
}

std::string Request::cookie(std::string_view name) const {
    std::string cookies = header("Cookie");
    std::string key = std::string(name) + "=";
    std::size_t pos = 0;
    while ((pos = cookies.find(key, pos)) != std::string::npos) {
        if (pos == 0 || cookies[pos - 1] == ' ' || cookies[pos - 1] == ';') {
            std::size_t start = pos + key.size();
            std::size_t end = cookies.find(';', start);
            return cookies.substr(start,
                                  end == std::string::npos ? std::string::npos : end - start);
        }
        pos += key.size();
    }
    return {};
}

void Response::setHeader(const std::string& name, const std::string& value) {
    headers.erase(name);
    headers.emplace(name, value);
}

void Response::removeHeader(const std::string& name) {
    headers.erase(name);
}

void Response::send(int code, std::string content, const char* contentType) {
    status = code;
    body = std::move(content);
    type = contentType;
}

void Response::redirect(const std::string& location, int code) {
    setHeader("Location", location);
    status = code;
}

std::string LogLine(const std::string& remoteAddr, const std::string& method,
                    const std::string& path, int status, std::size_t bytes, long long ms) {
    return IsoNow() + " " + LogText(remoteAddr) + " " + LogText(method) + " " + LogText(path) +
           " " + std::to_string(status) + " " + std::to_string(bytes) + "B " + std::to_string(ms) +
           "ms\n";
}

} // namespace velmora::server::http
