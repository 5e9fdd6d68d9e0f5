#include "service.h"

#include "errors.h"
#include "text.h"
#include "wire/durable_file.h"
#include "wire/link.h"
#include "wire/percent.h"

#include <httplib.h>
#include <sodium.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::server {

namespace fs = std::filesystem;
using httplib::Request;
using httplib::Response;

namespace {

constexpr std::size_t kFormLimit = 64 * 1024;
constexpr std::size_t kMessageLimit = 4096;
constexpr std::size_t kMailLimit = 32 * 1024;
constexpr const char* kXml = "application/xml; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kSessionHeader = "X-Velmora-Session";
constexpr const char* kCookieName = "velmora_session";

thread_local std::chrono::steady_clock::time_point t_requestStart;

using Params = std::multimap<std::string, std::string>;

// Who may call a route.
enum class Access { Open, Session, SessionOrCookie };

struct Call {
    const Request& req;
    Response& res;
    Params params;
    std::int64_t user = 0; // 0: no session
};

std::string Param(const Call& call, const std::string& name) {
    auto it = call.params.find(name);
    if (it == call.params.end())
        throw ServiceError(400, "Missing parameter: " + name);
    return it->second;
}

std::string OptionalParam(const Call& call, const std::string& name) {
    auto it = call.params.find(name);
    return it == call.params.end() ? std::string() : it->second;
}

std::int64_t IdParam(const Call& call, const std::string& name) {
    auto id = ParseId(Param(call, name));
    if (!id)
        throw ServiceError(400, "Invalid number: " + name);
    return *id;
}

std::int64_t PathId(const Request& req, std::size_t index) {
    auto id = ParseId(req.matches[static_cast<int>(index)].str());
    if (!id)
        throw ServiceError(404, "Not found");
    return *id;
}

std::string CookieToken(const Request& req) {
    std::string cookies = req.get_header_value("Cookie");
    std::string key = std::string(kCookieName) + "=";
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

void Reply(Response& res, int status, const std::string& body, const char* type) {
    res.status = status;
    res.set_content(body, type);
}

void Fail(Response& res, int status, const std::string& reason) {
    Reply(res, status, reason + "\n", kText);
}

std::string FolderElement(const FolderRow& f) {
    return "<folder id=\"" + std::to_string(f.id) + "\" parent=\"" + std::to_string(f.parent) +
           "\" name=\"" + wire::PercentEncode(f.name) + "\" acl=\"" + std::to_string(f.acl) +
           "\"/>\n";
}

std::string FileElement(const FileRow& f) {
    return "<file id=\"" + std::to_string(f.id) + "\" folder=\"" + std::to_string(f.folder) +
           "\" name=\"" + wire::PercentEncode(f.name) + "\" size=\"" + std::to_string(f.size) +
           "\"/>\n";
}

std::string AclElement(const AclRow& a) {
    return "<acl id=\"" + std::to_string(a.id) + "\" name=\"" + wire::PercentEncode(a.name) +
           "\"/>\n";
}

std::string UserDocument(const UserRow& u) {
    std::string out;
    AppendUserElement(out, u);
    return out + "\n";
}

std::string RandomName() {
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    char hex[33];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

void RemoveBlobs(Store& store, const std::vector<std::string>& blobs) {
    for (const auto& blob : blobs) {
        std::error_code ec;
        fs::remove(store.blobPath(blob), ec);
    }
}

std::vector<std::int64_t> KeyNumbers(const std::string& encoded, std::size_t count) {
    auto ids = wire::link::DecodeIds(encoded, count);
    if (!ids)
        return {};
    return {ids->begin(), ids->end()};
}

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           " - Velmora</title></head>\n<body>\n<h1>" + HtmlEscape(title) + "</h1>\n" + body +
           "</body></html>\n";
}

std::string SignInForm(const std::string& next) {
    return "<form method=\"post\" action=\"/web/signin\">\n"
           "<input type=\"hidden\" name=\"next\" value=\"" +
           HtmlEscape(next) +
           "\">\n<label>Account id <input name=\"accountid\"></label>\n"
           "<label>Password <input type=\"password\" name=\"password\"></label>\n"
           "<button type=\"submit\">Sign in</button>\n</form>\n";
}

// The request target as the browser asked for it, for the sign-in form.
std::string RequestTarget(const Request& req) {
    std::string target = req.path;
    std::string query;
    for (const auto& [key, value] : req.params) {
        query += query.empty() ? '?' : '&';
        query += wire::PercentEncode(key);
        query += '=';
        query += wire::PercentEncode(value);
    }
    return target + query;
}

bool SafeNext(const std::string& next) {
    return !next.empty() && next[0] == '/' &&
           (next.size() < 2 || (next[1] != '/' && next[1] != '\\')) &&
           next.find_first_of("\r\n\\") == std::string::npos;
}

// A request field as one safe log word: printable ASCII only, bounded.
std::string LogText(const std::string& text) {
    std::string out;
    for (char c : text.substr(0, 200)) {
        auto byte = static_cast<unsigned char>(c);
        out += (byte <= 0x20 || byte >= 0x7f) ? '?' : c;
    }
    return out.empty() ? "-" : out;
}

struct ByteRange {
    bool satisfiable = true;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// One "bytes=a-b", "bytes=a-" or "bytes=-n" range. Nothing for no header, a
// malformed one or several ranges: those get the whole body.
std::optional<ByteRange> ParseRange(const std::string& header, std::uint64_t size) {
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

std::string IsoNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buffer;
}

} // namespace

fs::path DefaultDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg)
        return fs::path(xdg) / "velmora-service";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".local" / "share" / "velmora-service";
}

Service::Service(Options options) : options_(std::move(options)) {
    if (options_.dataDir.empty())
        options_.dataDir = DefaultDataDir();
    store_ = std::make_unique<Store>(options_.dataDir, 8);
    hasher_ = std::make_unique<PasswordHasher>(options_.hashCost, options_.hashParallel);
    sessions_ = std::make_unique<Sessions>(*store_);
}

Service::~Service() {
    stop();
}

std::string Service::publicUrl() const {
    if (!options_.publicUrl.empty())
        return options_.publicUrl;
    return "http://" + options_.listen + ":" + std::to_string(port_.load());
}

std::int64_t Service::addUser(const NewUser& user, const std::string& password) {
    return store_->addUser(user, hasher_->hash(password));
}

int Service::start() {
    store_->sweep();
    http_ = std::make_unique<httplib::Server>();
    auto& http = *http_;
    int threads = std::max(4, options_.threads);
    http.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<size_t>(threads));
    };
    http.set_tcp_nodelay(true);
    http.set_keep_alive_max_count(1000);
    http.set_keep_alive_timeout(std::max(0, options_.keepAliveTimeout));
    http.set_read_timeout(10, 0);
    http.set_write_timeout(10, 0);
    // The upload handler counts bytes itself; this bounds what the library
    // accepts before any handler sees the request.
    http.set_payload_max_length(static_cast<size_t>(options_.maxUploadBytes));
    routes();
    // The library listens with a backlog of a few connections; bursts of
    // pollers connecting at once then wait for SYN retries (a whole second).
    // Remember the listening socket to give it a real backlog after bind.
    auto listenFd = std::make_shared<std::atomic<int>>(-1);
    http.set_socket_options([listenFd](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        int none = -1;
        listenFd->compare_exchange_strong(none, sock);
    });

    int port = options_.port == 0
                   ? http.bind_to_any_port(options_.listen)
                   : (http.bind_to_port(options_.listen, options_.port) ? options_.port : -1);
    if (port <= 0)
        throw ServiceError(500, "Cannot listen on " + options_.listen + ":" +
                                    std::to_string(options_.port));
    if (*listenFd >= 0)
        ::listen(*listenFd, 4096);
    port_ = port;
    thread_ = std::thread([this] { http_->listen_after_bind(); });
    // A stop() before the accept loop runs would be lost: the library only
    // stops a server that is already running.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!http_->is_running()) {
        if (std::chrono::steady_clock::now() > deadline)
            throw ServiceError(500, "The server did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return port;
}

void Service::stop() {
    if (http_)
        http_->stop();
    if (thread_.joinable())
        thread_.join();
}

void Service::wait() {
    if (thread_.joinable())
        thread_.join();
}

void Service::routes() {
    auto& http = *http_;
    Store& store = *store_;
    Sessions& sessions = *sessions_;
    const bool quiet = options_.quiet;

    http.set_pre_routing_handler([](const Request& req, Response& res) {
        t_requestStart = std::chrono::steady_clock::now();
        // Only uploads may carry a big body; refuse others before the body is read.
        if (req.path != "/upload" && req.has_header("Content-Length")) {
            auto length =
                std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10);
            if (length > kFormLimit) {
                Fail(res, 413, "Request body too large");
                res.set_header("Connection", "close");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http.set_logger([quiet](const Request& req, const Response& res) {
        if (quiet)
            return;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - t_requestStart)
                      .count();
        std::fprintf(stderr, "%s %s %s %s %d %zuB %lldms\n", IsoNow().c_str(),
                     LogText(req.remote_addr).c_str(), LogText(req.method).c_str(),
                     LogText(req.path).c_str(), res.status, res.body.size(),
                     static_cast<long long>(ms));
    });
    http.set_error_handler([](const Request&, Response& res) {
        if (res.body.empty()) {
            res.set_content(res.status == 404 ? "Not found\n" : "Request refused\n", kText);
        }
    });

    // Runs a handler with authorization and turns refusals into replies.
    auto run = [&sessions](const Request& req, Response& res, Params params, Access access,
                           const std::function<void(Call&)>& handler) {
        try {
            Call call{req, res, std::move(params), 0};
            if (access != Access::Open) {
                std::string token = req.get_header_value(kSessionHeader);
                if (token.empty() && access == Access::SessionOrCookie)
                    token = CookieToken(req);
                if (auto user = sessions.user(token))
                    call.user = *user;
                else if (access == Access::Session)
                    throw ServiceError(401, "Not signed in");
            }
            handler(call);
        } catch (const ServiceError& e) {
            Fail(res, e.status(), e.what());
            if (e.retryAfter() > 0)
                res.set_header("Retry-After", std::to_string(e.retryAfter()));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "internal error: %s\n", e.what());
            Fail(res, 500, "Internal error");
        }
    };
    auto get = [&http, run](const std::string& pattern, Access access,
                            std::function<void(Call&)> handler) {
        http.Get(pattern, [run, access, handler](const Request& req, Response& res) {
            run(req, res, req.params, access, handler);
        });
    };
    // Requests with a form body: the body is read here, within a small limit
    // that holds also for chunked bodies.
    auto withForm = [run](Access access, std::function<void(Call&)> handler) {
        return [run, access, handler](const Request& req, Response& res,
                                      const httplib::ContentReader& reader) {
            if (req.is_multipart_form_data()) {
                Fail(res, 415, "Use application/x-www-form-urlencoded");
                res.set_header("Connection", "close");
                return;
            }
            std::string body;
            bool tooBig = false;
            bool whole = reader([&](const char* data, size_t length) {
                if (body.size() + length > kFormLimit) {
                    tooBig = true;
                    return false;
                }
                body.append(data, length);
                return true;
            });
            if (tooBig) {
                Fail(res, 413, "Request body too large");
                res.set_header("Connection", "close");
                return;
            }
            if (!whole) {
                Fail(res, 400, "Incomplete request body");
                res.set_header("Connection", "close");
                return;
            }
            Params params = req.params;
            wire::ParseForm(body, params);
            run(req, res, std::move(params), access, handler);
        };
    };
    auto post = [&http, withForm](const std::string& pattern, Access access,
                                  std::function<void(Call&)> handler) {
        http.Post(pattern, withForm(access, std::move(handler)));
    };
    auto del = [&http, withForm](const std::string& pattern, Access access,
                                 std::function<void(Call&)> handler) {
        http.Delete(pattern, withForm(access, std::move(handler)));
    };

    get("/health", Access::Open, [](Call& c) { Reply(c.res, 200, "ok\n", kText); });

    // Sessions.
    auto signIn = [this](const std::string& accountId, const std::string& password) {
        auto now = SignInThrottle::Clock::now();
        if (int wait = throttle_.secondsLeft(accountId, now); wait > 0)
            throw ServiceError(
                429, "Too many failed sign-ins; try again in " + std::to_string(wait) + " s", wait);
        auto credentials = store_->credentials(accountId);
        bool ok = false;
        if (credentials) {
            ok = hasher_->verify(credentials->second, password);
        } else {
            hasher_->burn(password);
        }
        if (!ok) {
            throttle_.failed(accountId, SignInThrottle::Clock::now());
            throw ServiceError(401, "Invalid account id or password");
        }
        throttle_.succeeded(accountId);
        if (hasher_->needsRehash(credentials->second))
            store_->setPasswordHash(credentials->first, hasher_->hash(password));
        return std::make_pair(credentials->first, sessions_->open(credentials->first));
    };
    post("/session", Access::Open, [signIn](Call& c) {
        auto [user, token] = signIn(Param(c, "accountid"), Param(c, "password"));
        Reply(c.res, 200,
              "<session token=\"" + token + "\" userid=\"" + std::to_string(user) + "\"/>\n", kXml);
    });
    del("/session", Access::Session, [&sessions](Call& c) {
        sessions.close(c.req.get_header_value(kSessionHeader));
        c.res.status = 204;
    });
    post("/web/signin", Access::Open, [signIn](Call& c) {
        std::string next = OptionalParam(c, "next");
        if (!SafeNext(next))
            next = "/health";
        try {
            auto [user, token] = signIn(Param(c, "accountid"), Param(c, "password"));
            // Lax, not Strict: a link opened from a mail is a cross-site
            // navigation and must still carry the cookie. The cookie opens
            // only pages and downloads, never a change.
            c.res.set_header("Set-Cookie", std::string(kCookieName) + "=" + token +
                                               "; Path=/; HttpOnly; SameSite=Lax");
            c.res.set_redirect(next, 303);
        } catch (const ServiceError& e) {
            if (e.retryAfter() > 0)
                c.res.set_header("Retry-After", std::to_string(e.retryAfter()));
            Reply(c.res, e.status(),
                  Page("Sign-in refused", "<p>" + HtmlEscape(e.what()) + "</p>" + SignInForm(next)),
                  kHtml);
        }
    });

    // The account model.
    get("/account", Access::Session,
        [&store](Call& c) { Reply(c.res, 200, store.accountModel(c.user), kXml); });
    get("/acls", Access::Session,
        [&store](Call& c) { Reply(c.res, 200, store.aclsDocument(c.user), kXml); });

    // Library.
    post("/folders", Access::Session, [&store](Call& c) {
        auto row = store.createFolder(c.user, IdParam(c, "parent"), Param(c, "name"));
        Reply(c.res, 201, FolderElement(row), kXml);
    });
    post(R"(/folders/(-?\d+)/rename)", Access::Session, [&store](Call& c) {
        auto row = store.renameFolder(c.user, PathId(c.req, 1), Param(c, "name"));
        Reply(c.res, 200, FolderElement(row), kXml);
    });
    del(R"(/folders/(-?\d+))", Access::Session, [&store](Call& c) {
        RemoveBlobs(store, store.deleteFolder(c.user, PathId(c.req, 1)));
        c.res.status = 204;
    });
    post(R"(/folders/(-?\d+)/acl)", Access::Session, [&store](Call& c) {
        auto row = store.setFolderAcl(c.user, PathId(c.req, 1), IdParam(c, "acl"));
        Reply(c.res, 200, FolderElement(row), kXml);
    });
    post(R"(/folders/(-?\d+)/files/(-?\d+)/rename)", Access::Session, [&store](Call& c) {
        auto row = store.renameFile(c.user, PathId(c.req, 1), PathId(c.req, 2), Param(c, "name"));
        Reply(c.res, 200, FileElement(row), kXml);
    });
    del(R"(/folders/(-?\d+)/files/(-?\d+))", Access::Session, [&store](Call& c) {
        RemoveBlobs(store, store.deleteFile(c.user, PathId(c.req, 1), PathId(c.req, 2)));
        c.res.status = 204;
    });

    // Upload: the body goes to a temporary file and becomes a library file
    // only when every announced byte arrived.
    const std::uint64_t maxUpload = options_.maxUploadBytes;
    http.Post("/upload", [run, &store, maxUpload](const Request& req, Response& res,
                                                  const httplib::ContentReader& reader) {
        run(req, res, req.params, Access::Session, [&](Call& c) {
            std::int64_t folder = IdParam(c, "folder");
            std::string name = Param(c, "name");
            // Refusals before the body is read leave it unread: close the
            // connection so the rest of it is not taken for a request.
            c.res.set_header("Connection", "close");
            if (!req.has_header("Content-Length"))
                throw ServiceError(411, "Content-Length required");
            std::string lengthText = req.get_header_value("Content-Length");
            char* end = nullptr;
            errno = 0;
            unsigned long long expected = std::strtoull(lengthText.c_str(), &end, 10);
            if (lengthText.empty() || *end != '\0' || errno != 0 || lengthText[0] == '-')
                throw ServiceError(400, "Invalid Content-Length");
            if (expected > maxUpload)
                throw ServiceError(413, "Upload exceeds the limit of " + std::to_string(maxUpload) +
                                            " bytes");
            store.checkUploadTarget(c.user, folder, name);

            // The blob becomes visible under its name only when every byte
            // is on the disk; a failure at any point leaves no trace.
            wire::DurableFile part(store.tempDir());
            std::uint64_t received = 0;
            bool writeFailed = false;
            bool whole = reader([&](const char* data, size_t length) {
                received += length;
                if (received > expected || received > maxUpload)
                    return false;
                try {
                    part.write(data, length);
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
                    throw ServiceError(413, "Upload exceeds the limit of " +
                                                std::to_string(maxUpload) + " bytes");
                throw ServiceError(400, "Upload incomplete");
            }
            std::string blob = RandomName();
            fs::path target = store.blobPath(blob);
            try {
                part.commit(target);
            } catch (const std::system_error&) {
                throw ServiceError(507, "Cannot store the upload");
            }
            std::error_code ec;
            try {
                auto row = store.commitFile(c.user, folder, name,
                                            static_cast<std::int64_t>(received), blob);
                c.res.headers.erase("Connection");
                Reply(c.res, 201, FileElement(row), kXml);
            } catch (...) {
                fs::remove(target, ec);
                throw;
            }
        });
    });

    // Download with Range support; the body is streamed from the blob.
    auto download = [&store](Call& c, std::int64_t owner, std::int64_t folder, std::int64_t file) {
        auto row = store.readableFile(c.user, owner, folder, file);
        if (!row)
            throw ServiceError(404, "File not found");
        int fd = ::open(store.blobPath(row->blob).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw ServiceError(500, "The file's contents are missing");
        struct stat st {};
        ::fstat(fd, &st);
        auto size = static_cast<std::uint64_t>(st.st_size);
        // The library's own range handling miscounts ranges that lie beyond
        // the end (a wrapped-around Content-Length), so ranges are served here
        // and the library is left with a plain body.
        auto range = ParseRange(c.req.get_header_value("Range"), size);
        const_cast<Request&>(c.req).ranges.clear();
        if (range && !range->satisfiable) {
            ::close(fd);
            c.res.set_header("Content-Range", "bytes */" + std::to_string(size));
            throw ServiceError(416, "Range not satisfiable");
        }
        std::uint64_t first = range ? range->first : 0;
        std::uint64_t length = range ? range->last - range->first + 1 : size;
        if (range) {
            c.res.status = 206;
            c.res.set_header("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                                  std::to_string(range->last) + "/" +
                                                  std::to_string(size));
        }
        c.res.set_header("Content-Disposition",
                         "attachment; filename*=UTF-8''" + wire::PercentEncode(row->name));
        c.res.set_header("Accept-Ranges", "bytes");
        c.res.set_content_provider(
            static_cast<size_t>(length), "application/octet-stream",
            [fd, first](size_t offset, size_t length, httplib::DataSink& sink) {
                char buffer[64 * 1024];
                size_t want = std::min(length, sizeof buffer);
                ssize_t n = ::pread(fd, buffer, want, static_cast<off_t>(first + offset));
                if (n <= 0)
                    return false;
                return sink.write(buffer, static_cast<size_t>(n));
            },
            [fd](bool) { ::close(fd); });
    };
    get(R"(/files/(-?\d+)/(-?\d+)/(-?\d+))", Access::SessionOrCookie, [download](Call& c) {
        if (c.user == 0)
            throw ServiceError(401, "Not signed in");
        download(c, PathId(c.req, 1), PathId(c.req, 2), PathId(c.req, 3));
    });

    // Access lists.
    post("/acls", Access::Session, [&store](Call& c) {
        Reply(c.res, 201, AclElement(store.createAcl(c.user, Param(c, "name"))), kXml);
    });
    post(R"(/acls/(-?\d+)/rename)", Access::Session, [&store](Call& c) {
        Reply(c.res, 200, AclElement(store.renameAcl(c.user, PathId(c.req, 1), Param(c, "name"))),
              kXml);
    });
    del(R"(/acls/(-?\d+))", Access::Session, [&store](Call& c) {
        store.deleteAcl(c.user, PathId(c.req, 1));
        c.res.status = 204;
    });
    post(R"(/acls/(-?\d+)/members)", Access::Session, [&store](Call& c) {
        store.addMember(c.user, PathId(c.req, 1), IdParam(c, "user"));
        c.res.status = 204;
    });
    del(R"(/acls/(-?\d+)/members/(-?\d+))", Access::Session, [&store](Call& c) {
        store.removeMember(c.user, PathId(c.req, 1), PathId(c.req, 2));
        c.res.status = 204;
    });

    // Users.
    get("/users", Access::Session, [&store](Call& c) {
        std::optional<UserRow> user;
        if (c.params.count("accountid"))
            user = store.userByAccountId(Param(c, "accountid"));
        else if (c.params.count("email"))
            user = store.userByEmail(Param(c, "email"));
        else
            throw ServiceError(400, "Missing parameter: accountid or email");
        Reply(c.res, 200, user ? UserDocument(*user) : std::string(), kXml);
    });
    get("/directory", Access::Session, [&store](Call& c) {
        std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<directory>";
        for (const auto& user : store.directory()) {
            out += "\n";
            AppendUserElement(out, user);
        }
        out += "\n</directory>\n";
        Reply(c.res, 200, out, kXml);
    });

    // Messages.
    post("/messages", Access::Session, [&store](Call& c) {
        std::int64_t user = IdParam(c, "user");
        std::int64_t acl = IdParam(c, "acl");
        std::string text = Param(c, "text");
        if ((user == -1) == (acl == -1))
            throw ServiceError(400, "Give either a user or an access list, the other -1");
        if (text.empty())
            throw ServiceError(400, "Empty message");
        if (text.size() > kMessageLimit)
            throw ServiceError(413, "Message longer than 4096 bytes");
        int count = store.sendMessage(c.user, user, acl, text, UnixNow());
        Reply(c.res, 200, "<sent count=\"" + std::to_string(count) + "\"/>\n", kXml);
    });
    get("/messages", Access::Session, [&store](Call& c) {
        std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<messages>";
        for (const auto& m : store.takeMessages(c.user)) {
            out += "\n<message id=\"" + std::to_string(m.id) + "\" fromUserId=\"" +
                   std::to_string(m.from) + "\" text=\"" + wire::PercentEncode(m.text) +
                   "\" time=\"" + std::to_string(m.time) + "\"/>";
        }
        out += "\n</messages>\n";
        Reply(c.res, 200, out, kXml);
    });
    get("/appmessages", Access::Open, [&store](Call& c) {
        std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<appmessages>";
        for (const auto& m : store.appMessages()) {
            out += "\n<appmessage MsgId=\"" + std::to_string(m.id) + "\"><msg>" + XmlEscape(m.msg) +
                   "</msg><url>" + XmlEscape(m.url) + "</url></appmessage>";
        }
        out += "\n</appmessages>\n";
        Reply(c.res, 200, out, kXml);
    });

    // Mail.
    post("/mail", Access::Session, [&store](Call& c) {
        auto me = store.userById(c.user);
        if (!me)
            throw ServiceError(401, "Not signed in");
        std::string sender = OptionalParam(c, "sender");
        if (!sender.empty() && sender != me->accountId)
            throw ServiceError(403, "The sender must be the signed-in user");
        std::string recipient = Param(c, "recipient");
        if (!IsMailAddress(recipient))
            throw ServiceError(400, "Invalid e-mail address");
        std::string body = Param(c, "body");
        if (body.size() > kMailLimit)
            throw ServiceError(413, "Mail body too long");
        MailRow mail{IsMailAddress(me->email) ? me->email : std::string(), recipient,
                     "Message from " + me->accountId + " on Velmora", body};
        std::int64_t id = store.queueMail(mail, UnixNow());
        Reply(c.res, 200, "<mail id=\"" + std::to_string(id) + "\"/>\n", kXml);
    });
    post("/mail/link", Access::Session, [this, &store](Call& c) {
        auto me = store.userById(c.user);
        if (!me)
            throw ServiceError(401, "Not signed in");
        if (IdParam(c, "sender") != c.user)
            throw ServiceError(403, "The sender must be the signed-in user");
        std::int64_t owner = IdParam(c, "owner");
        std::int64_t folder = IdParam(c, "folder");
        std::int64_t file = IdParam(c, "file");
        std::string address = Param(c, "address");
        if (!IsMailAddress(address))
            throw ServiceError(400, "Invalid e-mail address");
        std::string text1 = OptionalParam(c, "text1");
        std::string text2 = OptionalParam(c, "text2");
        if (text1.size() + text2.size() > kMailLimit)
            throw ServiceError(413, "Mail text too long");
        std::string name;
        std::string link;
        std::string key = std::to_string(owner) + "~" + std::to_string(folder);
        if (file == 0) {
            auto row = store.readableFolder(c.user, owner, folder);
            if (!row)
                throw ServiceError(404, "Folder not found");
            name = row->name;
            link = publicUrl() + wire::link::kFolderPath + wire::link::Encode(key);
        } else {
            auto row = store.readableFile(c.user, owner, folder, file);
            if (!row)
                throw ServiceError(404, "File not found");
            name = row->name;
            link = publicUrl() + wire::link::kFilePath +
                   wire::link::Encode(key + "~" + std::to_string(file));
        }
        link += wire::link::kNameParameter + wire::link::BlanksToPlus(name);
        std::string body;
        if (!text2.empty())
            body += text2 + "\n\n";
        body += me->accountId + " sent you a link to \"" + name + "\" on Velmora:\n" + link + "\n";
        MailRow mail{IsMailAddress(me->email) ? me->email : std::string(), address,
                     text1.empty() ? "A Velmora link from " + me->accountId : text1, body};
        std::int64_t id = store.queueMail(mail, UnixNow());
        Reply(c.res, 200, "<mail id=\"" + std::to_string(id) + "\"/>\n", kXml);
    });

    // Link pages.
    auto filePage = [&store](Call& c, const std::vector<std::int64_t>& key, bool play) {
        std::string given = OptionalParam(c, "name");
        std::string target = RequestTarget(c.req);
        if (key.size() != 3) {
            Reply(c.res, 404, Page("Not found", "<p>This link is not valid.</p>"), kHtml);
            return;
        }
        if (c.user == 0) {
            Reply(c.res, 200,
                  Page(given.empty() ? "Velmora link" : given,
                       "<p>Sign in to " + std::string(play ? "play" : "download") +
                           " this file.</p>\n" + SignInForm(target)),
                  kHtml);
            return;
        }
        auto row = store.readableFile(c.user, key[0], key[1], key[2]);
        if (!row) {
            Reply(c.res, 404, Page("Not found", "<p>Not found.</p>"), kHtml);
            return;
        }
        std::string href = "/files/" + std::to_string(key[0]) + "/" + std::to_string(key[1]) + "/" +
                           std::to_string(key[2]);
        std::string body;
        if (play)
            body += "<audio controls autoplay src=\"" + href + "\"></audio>\n";
        body += "<p><a href=\"" + href + "\">Download " + HtmlEscape(row->name) + "</a> (" +
                std::to_string(row->size) + " bytes)</p>\n";
        Reply(c.res, 200, Page(row->name, body), kHtml);
    };
    get("/f", Access::SessionOrCookie,
        [filePage](Call& c) { filePage(c, KeyNumbers(OptionalParam(c, "k"), 3), false); });
    get("/6/8", Access::SessionOrCookie,
        [filePage](Call& c) { filePage(c, KeyNumbers(OptionalParam(c, "p"), 3), true); });
    get("/d", Access::SessionOrCookie, [&store](Call& c) {
        auto key = KeyNumbers(OptionalParam(c, "k"), 2);
        std::string given = OptionalParam(c, "name");
        if (key.size() != 2) {
            Reply(c.res, 404, Page("Not found", "<p>This link is not valid.</p>"), kHtml);
            return;
        }
        if (c.user == 0) {
            Reply(c.res, 200,
                  Page(given.empty() ? "Velmora link" : given,
                       "<p>Sign in to see this folder.</p>\n" + SignInForm(RequestTarget(c.req))),
                  kHtml);
            return;
        }
        auto row = store.readableFolder(c.user, key[0], key[1]);
        if (!row) {
            Reply(c.res, 404, Page("Not found", "<p>Not found.</p>"), kHtml);
            return;
        }
        std::string body = "<ul>\n";
        for (const auto& sub : store.subfolders(key[0], key[1])) {
            std::string subKey = std::to_string(key[0]) + "~" + std::to_string(sub.id);
            body += "<li><a href=\"" + std::string(wire::link::kFolderPath) +
                    wire::link::Encode(subKey) + "\">" + HtmlEscape(sub.name) + "/</a></li>\n";
        }
        for (const auto& file : store.filesIn(key[0], key[1])) {
            body += "<li><a href=\"/files/" + std::to_string(key[0]) + "/" +
                    std::to_string(key[1]) + "/" + std::to_string(file.id) + "\">" +
                    HtmlEscape(file.name) + "</a></li>\n";
        }
        body += "</ul>\n";
        Reply(c.res, 200, Page(row->name, body), kHtml);
    });
    get("/player", Access::Open, [&store](Call& c) {
        // USERID~MSGID~velmoraplayer~LINK; the link itself may hold "~".
        std::string m = OptionalParam(c, "m");
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (int i = 0; i < 3; ++i) {
            std::size_t end = m.find('~', start);
            if (end == std::string::npos)
                break;
            parts.push_back(m.substr(start, end - start));
            start = end + 1;
        }
        if (parts.size() != 3) {
            Reply(c.res, 404, Page("Not found", "<p>This link is not valid.</p>"), kHtml);
            return;
        }
        // The query string was decoded once already, which undoes the
        // player's encoding of the link; decoding again would corrupt links
        // that carry escapes of their own.
        std::string link = m.substr(start);
        std::string text;
        if (auto id = ParseId(parts[1])) {
            for (const auto& message : store.appMessages())
                if (message.id == *id)
                    text = message.msg;
        }
        std::string body = "<p>" + HtmlEscape(text) + "</p>\n";
        bool web = link.rfind("http://", 0) == 0 || link.rfind("https://", 0) == 0;
        if (web)
            body += "<p><a href=\"" + HtmlEscape(link) + "\">" + HtmlEscape(link) + "</a></p>\n";
        else if (!link.empty())
            body += "<p>" + HtmlEscape(link) + "</p>\n";
        Reply(c.res, 200, Page("Velmora player", body), kHtml);
    });
}

} // namespace velmora::server
