// One request to the service, handed to its router in-process the way the
// HTTP front hands it over: request line, headers, body. The input is
//
//   METHOD TARGET
//   Name: value
//   ...
//   (blank line)
//   body
//
// "$1" and "$2" in a header value stand for a session token of the first or
// second user, so the fuzzer reaches what needs a session. The store lives in
// a temporary folder and starts afresh every kInputsPerStore inputs, so what
// the inputs create does not slow the run down.

#include "fuzz_check.h"
#include "router.h"
#include "routes.h"
#include "seed.h"
#include "service.h"
#include "wire/percent.h"

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace server = velmora::server;
namespace http = velmora::server::http;
namespace fs = std::filesystem;

namespace {

constexpr int kInputsPerStore = 500;
constexpr std::uint64_t kMaxUpload = 256 * 1024;

fs::path ScratchRoot() {
    // In memory where there is such a folder: the store writes every request.
    const fs::path shm("/dev/shm");
    return (fs::is_directory(shm) ? shm : fs::temp_directory_path()) /
           ("velmora-fuzz-service-" + std::to_string(::getpid()));
}

struct Fixture {
    explicit Fixture(const fs::path& dir)
        : dataDir(dir), service(MakeOptions(dir)), router(service.sessions()) {
        server::AddSessionRoutes(router, service);
        server::AddLibraryRoutes(router, service);
        server::AddTransferRoutes(router, service);
        server::AddSharingRoutes(router, service);
        server::AddMessageRoutes(router, service);
        server::AddPageRoutes(router, service);
        service.store().sweep();
        const std::int64_t first = service.addUser(
            {"ann", "Ann", "Lee", "ann@example.org", server::Tier::Gold, false, true},
            "password-1");
        const std::int64_t second = service.addUser(
            {"bob", "Bob", "Ray", "bob@example.org", server::Tier::Free, false, true},
            "password-2");
        server::StoreBytes(service.store(), first, 1, "song.mp3", "ID3 not really a song");
        users[0] = first;
        users[1] = second;
        OpenSessions();
    }

    // A signing out input ends the sessions the next inputs use.
    void OpenSessions() {
        for (int i = 0; i < 2; ++i)
            tokens[i] = service.sessions().open(users[i]);
    }

    static server::Options MakeOptions(const fs::path& dir) {
        server::Options options;
        options.dataDir = dir;
        options.hashCost = server::HashCost::Test;
        options.maxUploadBytes = kMaxUpload;
        options.quiet = true;
        return options;
    }

    fs::path dataDir;
    server::Service service;
    server::Router router;
    std::int64_t users[2] = {0, 0};
    std::string tokens[2];
};

class Scratch {
public:
    Scratch() : root_(ScratchRoot()) {}
    ~Scratch() {
        fixture_.reset();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    Fixture& fixture() {
        if (!fixture_ || ++inputs_ > kInputsPerStore) {
            fixture_.reset();
            std::error_code ignored;
            fs::remove_all(root_, ignored);
            fs::create_directories(root_);
            fixture_ = std::make_unique<Fixture>(root_);
            inputs_ = 1;
        }
        return *fixture_;
    }

private:
    fs::path root_;
    std::unique_ptr<Fixture> fixture_;
    int inputs_ = 0;
};

std::string NextLine(const std::string& text, std::size_t& at) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos)
        end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    Fixture& fixture = scratch.fixture();
    const std::string input = velmora::fuzz::Text(data, size);

    http::Request req;
    req.remoteAddr = "127.0.0.1";
    std::size_t at = 0;
    const std::string requestLine = NextLine(input, at);
    const std::size_t blank = requestLine.find(' ');
    req.method = requestLine.substr(0, blank);
    const std::string target = blank == std::string::npos ? "/" : requestLine.substr(blank + 1);
    const std::size_t query = target.find('?');
    // The front decodes the path and the query's names and values alike.
    req.path = velmora::wire::PercentDecode(target.substr(0, query));
    if (query != std::string::npos)
        velmora::wire::ParseForm(target.substr(query + 1), req.params);
    while (at < input.size()) {
        const std::string line = NextLine(input, at);
        if (line.empty())
            break;
        const std::size_t colon = line.find(':');
        std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t") == std::string::npos
                           ? value.size()
                           : value.find_first_not_of(" \t"));
        ReplaceAll(value, "$1", fixture.tokens[0]);
        ReplaceAll(value, "$2", fixture.tokens[1]);
        req.headers.emplace(line.substr(0, colon), value);
    }
    const std::string body = at < input.size() ? input.substr(at) : std::string();
    // The front frames the body itself: its length is what arrives.
    req.headers.erase("Content-Length");
    if (!req.hasHeader("Transfer-Encoding") && !body.empty())
        req.headers.emplace("Content-Length", std::to_string(body.size()));

    http::Response res;
    const server::Router::Intake intake = fixture.router.intake(req.method, req.path);
    if (!body.empty() && (!intake.routed || (!intake.streams && body.size() > intake.limit)))
        return 0; // refused by the front before any handler runs
    req.readBody = [&](const http::Sink& sink) {
        // In pieces, as the network delivers it.
        constexpr std::size_t kPiece = 1000;
        for (std::size_t from = 0; from < body.size(); from += kPiece) {
            const std::size_t piece = std::min(kPiece, body.size() - from);
            // Past its limit a streaming handler's body is cut off.
            if (intake.streams && from + piece > intake.limit)
                return false;
            if (!sink(body.data() + from, piece))
                return false;
        }
        return true;
    };
    fixture.router.handle(req, res);
    if (req.method == "DELETE" && req.path == "/session")
        fixture.OpenSessions();

    FUZZ_CHECK(res.status >= 100 && res.status <= 599);
    if (res.stream) {
        std::uint64_t sent = 0;
        while (sent < res.stream->length) {
            const std::uint64_t before = sent;
            res.stream->read(sent, res.stream->length - sent, [&](const char*, std::size_t n) {
                sent += n;
                return true;
            });
            if (sent == before)
                break;
        }
        if (res.stream->done)
            res.stream->done();
    }
    return 0;
}
