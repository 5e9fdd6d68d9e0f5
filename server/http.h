#pragma once

// The service's own view of one HTTP exchange. Route handlers see only
// these types, never those of the HTTP library underneath, so that library
// can be exchanged without touching a route.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::server::http {

using Params = std::multimap<std::string, std::string>;

struct CaseInsensitiveLess {
    bool operator()(std::string_view a, std::string_view b) const;
};
using Headers = std::multimap<std::string, std::string, CaseInsensitiveLess>;

// Receives a piece of a body; false stops the transfer.
using Sink = std::function<bool(const char* data, std::size_t length)>;

struct Request {
    std::string method;
    std::string path;                 // without the query
    std::vector<std::string> matches; // of the route's pattern; [0] is the whole path
    Params params;                    // query, and for form routes the form fields
    Headers headers;
    std::string remoteAddr;
    // Feeds the body to the sink piece by piece; true when all of it arrived.
    std::function<bool(const Sink&)> readBody;

    bool hasHeader(std::string_view name) const;
    std::string header(std::string_view name) const; // empty when absent
    std::string cookie(std::string_view name) const; // empty when absent
};

// A body produced while it is sent: length bytes, read from an offset.
struct Stream {
    std::uint64_t length = 0;
    std::string type;
    // Writes up to `length` bytes starting at `offset` into the sink; false
    // ends the transfer.
    std::function<bool(std::uint64_t offset, std::uint64_t length, const Sink& sink)> read;
    // Runs once when the transfer is over, whether it completed or not.
    std::function<void()> done;
};

struct Response {
    int status = 200;
    Headers headers;
    std::string body;
    std::string type; // empty: no Content-Type and no body
    std::optional<Stream> stream;

    void setHeader(const std::string& name, const std::string& value);
    void removeHeader(const std::string& name);
    void send(int code, std::string content, const char* contentType);
    void redirect(const std::string& location, int code);
};

inline constexpr const char* kXml = "application/xml; charset=utf-8";
inline constexpr const char* kHtml = "text/html; charset=utf-8";
inline constexpr const char* kText = "text/plain; charset=utf-8";

// One line of the request log: time, client, method, path, status, bytes,
// milliseconds; every field as one printable word.
std::string LogLine(const std::string& remoteAddr, const std::string& method,
                    const std::string& path, int status, std::size_t bytes, long long ms);

} // namespace velmora::server::http
