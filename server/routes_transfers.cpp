// Uploads and downloads: bodies stream between the connection and the disk,
// never whole in memory.

#include "blobs.h"
#include "errors.h"
#include "router.h"
#include "routes.h"
#include "service.h"
#include "wire/percent.h"
#include "xml_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::server {

namespace {

struct ByteRange {
    bool satisfiable = true;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// A Range header that is not a list of byte ranges, or names a range
// backwards, cannot be served in any reading.
bool MalformedRanges(const std::string& header) {
    static const std::regex syntax(R"(bytes=(\d*)-(\d*)(\s*,\s*\d*-\d*)*)");
    std::smatch m;
    if (!std::regex_match(header, m, syntax))
        return true;
    std::string first = m[1].str();
    std::string last = m[2].str();
    if (first.empty() && last.empty())
        return true;
    return !first.empty() && !last.empty() && first.size() <= 18 && last.size() <= 18 &&
           std::stoull(first) > std::stoull(last);
}

// One "bytes=a-b", "bytes=a-" or "bytes=-n" range. Nothing for no header or
// several ranges: those get the whole body.
std::optional<ByteRange> ParseRange(const std::string& header, std::uint64_t size) {
    if (!header.empty() && MalformedRanges(header))
        return ByteRange{false, 0, 0};
    if (header.rfind("bytes=", 0) != 0 || header.find(',') != std::string::npos)
        return std::nullopt;
    std::string bounds = header.substr(6);
    std::size_t dash = bounds.find('-');
    if (dash == std::string::npos)
        return std::nullopt;
    auto number = [](const std::string& text) -> std::optional<std::uint64_t> {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
            text.size() > 18)
            return std::nullopt;
        return std::stoull(text);
    };
    std::string a = bounds.substr(0, dash);
    std::string b = bounds.substr(dash + 1);
    ByteRange r;
    if (a.empty()) {
        auto suffix = number(b);
        if (!suffix)
            return std::nullopt;
        if (*suffix == 0 || size == 0) {
            r.satisfiable = false;
            return r;
        }
        r.first = *suffix >= size ? 0 : size - *suffix;
        r.last = size - 1;
        return r;
    }
    auto first = number(a);
    if (!first)
        return std::nullopt;
    std::optional<std::uint64_t> last =
        b.empty() ? std::optional<std::uint64_t>(*first) : number(b);
    if (!last || *last < *first)
        return std::nullopt;
    if (*first >= size) {
        r.satisfiable = false;
        return r;
    }
    if (b.empty())
        last = size - 1;
    r.first = *first;
    r.last = std::min(*last, size - 1);
    return r;
}

ServiceError UploadTooLarge(std::uint64_t limit) {
    return ServiceError(413, "Upload exceeds the limit of " + std::to_string(limit) + " bytes");
}

// The body goes to a temporary file and becomes a library file only when
// every announced byte arrived.
void Upload(Store& store, std::uint64_t maxUpload, Call& c) {
    std::int64_t folder = c.idParam("folder");
    std::string name = c.param("name");
    // Refusals before the body is read leave it unread: close the
    // connection so the rest of it is not taken for a request.
    c.res.setHeader("Connection", "close");
    if (!c.req.hasHeader("Content-Length"))
        throw ServiceError(411, "Content-Length required");
    std::string lengthText = c.req.header("Content-Length");
    char* end = nullptr;
    errno = 0;
    unsigned long long expected = std::strtoull(lengthText.c_str(), &end, 10);
    if (lengthText.empty() || *end != '\0' || errno != 0 || lengthText[0] == '-')
        throw ServiceError(400, "Invalid Content-Length");
    if (expected > maxUpload)
        throw UploadTooLarge(maxUpload);
    store.checkUploadTarget(c.user, folder, name);

    // The bytes get their name (their hash) only when every one is on the
    // disk; a failure at any point leaves no trace.
    std::optional<StagedBlob> part;
    try {
        part.emplace(store.tempDir());
    } catch (const std::system_error&) {
        throw ServiceError(507, "Cannot store the upload");
    }
    std::uint64_t received = 0;
    bool writeFailed = false;
    bool whole = c.req.readBody([&](const char* data, std::size_t length) {
        received += length;
        if (received > expected || received > maxUpload)
            return false;
        try {
            part->write(data, length);
        } catch (const std::system_error&) {
            writeFailed = true;
            return false;
        }
        return true;
    });
    if (writeFailed)
        throw ServiceError(507, "Cannot store the upload");
    if (!whole || received != expected) {
        if (received > maxUpload)
            throw UploadTooLarge(maxUpload);
        throw ServiceError(400, "Upload incomplete");
    }
    std::string blob;
    try {
        blob = part->place(store.blobDir());
    } catch (const std::system_error&) {
        throw ServiceError(507, "Cannot store the upload");
    }
    try {
        auto row = store.commitFile(c.user, folder, name, static_cast<std::int64_t>(received), blob,
                                    part->path());
        c.res.removeHeader("Connection");
        c.res.send(201, ElementReply(WriteFile, row), http::kXml);
    } catch (...) {
        // Other files may hold the same bytes: the blob goes only when none
        // does.
        try {
            store.releaseBlob(blob);
        } catch (const std::exception&) {
            // Left for the start-up sweep.
        }
        throw;
    }
}

// The file's bytes with Range support, streamed from the blob.
void Download(Store& store, Call& c, std::int64_t owner, std::int64_t folder, std::int64_t file) {
    auto row = store.readableFile(c.user, owner, folder, file);
    if (!row)
        throw ServiceError(404, "File not found");
    int fd = ::open(store.blobPath(row->blob).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ServiceError(500, "The file's contents are missing");
    struct stat st {};
    ::fstat(fd, &st);
    auto size = static_cast<std::uint64_t>(st.st_size);
    auto range = ParseRange(c.req.header("Range"), size);
    if (range && !range->satisfiable) {
        ::close(fd);
        c.res.setHeader("Content-Range", "bytes */" + std::to_string(size));
        throw ServiceError(416, "Range not satisfiable");
    }
    std::uint64_t first = range ? range->first : 0;
    std::uint64_t length = range ? range->last - range->first + 1 : size;
    if (range) {
        c.res.status = 206;
        c.res.setHeader("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                             std::to_string(range->last) + "/" +
                                             std::to_string(size));
    }
    c.res.setHeader("Content-Disposition",
                    "attachment; filename*=UTF-8''" + wire::PercentEncode(row->name));
    c.res.setHeader("Accept-Ranges", "bytes");
    http::Stream stream;
    stream.length = length;
    stream.type = "application/octet-stream";
    stream.read = [fd, first](std::uint64_t offset, std::uint64_t want, const http::Sink& sink) {
        char buffer[64 * 1024];
        auto n = ::pread(fd, buffer,
                         static_cast<std::size_t>(std::min<std::uint64_t>(want, sizeof buffer)),
                         static_cast<off_t>(first + offset));
        if (n <= 0)
            return false;
        return sink(buffer, static_cast<std::size_t>(n));
    };
    stream.done = [fd] { ::close(fd); };
    c.res.stream = std::move(stream);
}

} // namespace

void AddTransferRoutes(Router& router, Service& service) {
    Store& store = service.store();
    const std::uint64_t maxUpload = service.options().maxUploadBytes;

    router.postStream(
        "/upload", Access::Session, [&store, maxUpload](Call& c) { Upload(store, maxUpload, c); },
        maxUpload);
    router.get(R"(/files/(-?\d+)/(-?\d+)/(-?\d+))", Access::SessionOrCookie, [&store](Call& c) {
        if (c.user == 0)
            throw ServiceError(401, "Not signed in");
        Download(store, c, c.pathId(1), c.pathId(2), c.pathId(3));
    });
}

} // namespace velmora::server
