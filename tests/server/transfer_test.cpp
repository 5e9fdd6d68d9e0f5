// Uploads and downloads: whole bodies only, limits, cut connections, ranges.

#include "harness.h"
#include "text.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace velmora::server::test {
namespace {

std::string Id(std::int64_t n) {
    return std::to_string(n);
}

// Sends raw bytes on a fresh connection and closes it without reading.
void SendAndHangUp(int port, const std::string& bytes) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::close(fd);
}

// Sends raw bytes and returns everything the service answers until it
// closes the connection or two seconds pass.
std::string Exchange(int port, const std::string& bytes) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return {};
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return {};
    }
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    timeval tv{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string out;
    char buffer[4096];
    while (true) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.find("\r\n\r\n") != std::string::npos &&
            out.find("Content-Length: ") != std::string::npos) {
            std::size_t at = out.find("Content-Length: ") + 16;
            std::size_t length = std::stoul(out.substr(at));
            if (out.size() >= out.find("\r\n\r\n") + 4 + length)
                break;
        }
    }
    ::close(fd);
    return out;
}

template <class Pred> bool Eventually(Pred pred) {
    for (int i = 0; i < 100; ++i) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pred();
}

class ServerTransfer : public ::testing::TestWithParam<Backend> {
protected:
    ServiceFixture fx{{}, GetParam()};
    Client& http = fx.client();
};

TEST_P(ServerTransfer, UploadThenDownloadGivesTheSameBytes) {
    TestUser u = fx.addUser("anna");
    std::string bytes = RandomBytes(3 * 1024 * 1024 + 17, 7);
    std::int64_t id = fx.upload(u, 1, "big song.MP3", bytes);
    ASSERT_GT(id, 0);
    Reply r = http.get("/files/" + Id(u.id) + "/1/" + Id(id), u.token);
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.body == bytes);
    EXPECT_EQ(fx.tempFiles(), 0u);

    // A second upload under the same name replaces the file: same id, new
    // bytes, and the old bytes are gone from the disk.
    EXPECT_EQ(fx.upload(u, 1, "big song.MP3", "x"), id);
    EXPECT_EQ(http.get("/files/" + Id(u.id) + "/1/" + Id(id), u.token).body, "x");
    EXPECT_EQ(fx.blobFiles(), 1u);
    Element library = ParseXml(http.get("/account", u.token).body);
    EXPECT_EQ(library.child("library")->child("folder")->children.size(), 1u);
    // A folder of the name is in the way, and the upload leaves nothing behind.
    ASSERT_EQ(http.post("/folders", {{"parent", "1"}, {"name", "box.mp3"}}, u.token).status, 201);
    httplib::Client c("127.0.0.1", fx.port());
    auto clash = c.Post("/upload?folder=1&name=box.mp3", {{"X-Velmora-Session", u.token}}, "x",
                        "application/octet-stream");
    ASSERT_TRUE(clash);
    EXPECT_EQ(clash->status, 409);
    EXPECT_EQ(fx.blobFiles(), 1u);
    EXPECT_EQ(fx.tempFiles(), 0u);

    // Zero bytes is a file too.
    std::int64_t empty = fx.upload(u, 1, "silence.au", "");
    EXPECT_EQ(http.get("/files/" + Id(u.id) + "/1/" + Id(empty), u.token).body, "");
}

TEST_P(ServerTransfer, RangeRequestsGivePartialContent) {
    TestUser u = fx.addUser("anna");
    std::string bytes = RandomBytes(100000, 3);
    std::int64_t id = fx.upload(u, 1, "r.mp3", bytes);
    std::string url = "/files/" + Id(u.id) + "/1/" + Id(id);
    Reply part = http.get(url, u.token, {{"Range", "bytes=1000-1999"}});
    EXPECT_EQ(part.status, 206);
    EXPECT_TRUE(part.body == bytes.substr(1000, 1000));
    Reply tail = http.get(url, u.token, {{"Range", "bytes=-10"}});
    EXPECT_EQ(tail.status, 206);
    EXPECT_TRUE(tail.body == bytes.substr(bytes.size() - 10));
    Reply open = http.get(url, u.token, {{"Range", "bytes=99990-"}});
    EXPECT_EQ(open.status, 206);
    EXPECT_TRUE(open.body == bytes.substr(99990));
    EXPECT_EQ(open.headers.find("Content-Range")->second, "bytes 99990-99999/100000");
    // Beyond the end: refused with the size, not a body of wrapped-around length.
    Reply outside = http.get(url, u.token, {{"Range", "bytes=200000-"}});
    EXPECT_EQ(outside.status, 416);
    EXPECT_EQ(outside.headers.find("Content-Range")->second, "bytes */100000");
    // Several ranges or a malformed one: the whole file.
    Reply several = http.get(url, u.token, {{"Range", "bytes=0-1,5-6"}});
    EXPECT_EQ(several.status, 200);
    EXPECT_TRUE(several.body == bytes);
    Reply malformed = http.get(url, u.token, {{"Range", "bytes=x-y"}});
    EXPECT_EQ(malformed.status, 416);
}

TEST_P(ServerTransfer, RefusedUploadsLeaveNothing) {
    TestUser u = fx.addUser("anna");
    httplib::Client c("127.0.0.1", fx.port());
    httplib::Headers h{{"X-Velmora-Session", u.token}};
    auto type = c.Post("/upload?folder=1&name=notes.txt", h, "x", "application/octet-stream");
    EXPECT_EQ(type->status, 400);
    EXPECT_EQ(type->body, "Invalid file type\n");
    auto noFolder = c.Post("/upload?folder=77&name=a.mp3", h, "x", "application/octet-stream");
    EXPECT_EQ(noFolder->status, 404);
    auto noName = c.Post("/upload?folder=1", h, "x", "application/octet-stream");
    EXPECT_EQ(noName->status, 400);
    auto badName = c.Post("/upload?folder=1&name=a%2Fb.mp3", h, "x", "application/octet-stream");
    EXPECT_EQ(badName->status, 400);
    auto noSession = c.Post("/upload?folder=1&name=a.mp3", "x", "application/octet-stream");
    EXPECT_EQ(noSession->status, 401);
    // A chunked body has no length to check completeness against.
    std::string reply = Exchange(fx.port(), "POST /upload?folder=1&name=c.mp3 HTTP/1.1\r\n"
                                            "Host: x\r\nX-Velmora-Session: " +
                                                u.token +
                                                "\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                "3\r\nabc\r\n0\r\n\r\n");
    EXPECT_EQ(reply.rfind("HTTP/1.1 411", 0), 0u) << reply;

    EXPECT_EQ(fx.blobFiles(), 0u);
    EXPECT_EQ(fx.tempFiles(), 0u);
    EXPECT_TRUE(ParseXml(http.get("/account", u.token).body)
                    .child("library")
                    ->child("folder")
                    ->children.empty());
}

TEST(ServerTransferLimit, UploadsBeyondTheLimitAreRefused) {
    Options o;
    o.maxUploadBytes = 1000;
    ServiceFixture fx(o);
    TestUser u = fx.addUser("anna");
    EXPECT_GT(fx.upload(u, 1, "fits.mp3", std::string(1000, 'a')), 0);
    // Refused on the announced length, before any of the body is read.
    std::string reply = Exchange(fx.port(), "POST /upload?folder=1&name=over.mp3 HTTP/1.1\r\n"
                                            "Host: x\r\nX-Velmora-Session: " +
                                                u.token + "\r\nContent-Length: 1001\r\n\r\n");
    EXPECT_EQ(reply.rfind("HTTP/1.1 413", 0), 0u) << reply;
    EXPECT_NE(reply.find("Upload exceeds the limit of 1000 bytes"), std::string::npos);
    EXPECT_EQ(fx.tempFiles(), 0u);
    EXPECT_EQ(fx.blobFiles(), 1u);
    Element model = ParseXml(fx.client().get("/account", u.token).body);
    auto files = model.child("library")->child("folder")->all("file");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0]->decoded("name"), "fits.mp3");
}

TEST_P(ServerTransfer, ACutUploadLeavesNoFileAndNoTemporaryFile) {
    TestUser u = fx.addUser("anna");
    std::string head = "POST /upload?folder=1&name=cut.mp3 HTTP/1.1\r\nHost: x\r\n"
                       "X-Velmora-Session: " +
                       u.token +
                       "\r\nContent-Type: application/octet-stream\r\n"
                       "Content-Length: 2000000\r\n\r\n";
    SendAndHangUp(fx.port(), head + std::string(300000, 'x'));
    // Nothing appears, and the partial temporary file goes away.
    EXPECT_TRUE(Eventually([&] { return fx.tempFiles() == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Element model = ParseXml(http.get("/account", u.token).body);
    EXPECT_TRUE(model.child("library")->child("folder")->children.empty());
    EXPECT_EQ(fx.blobFiles(), 0u);
    EXPECT_EQ(fx.tempFiles(), 0u);
    // The service goes on serving.
    EXPECT_GT(fx.upload(u, 1, "cut.mp3", "whole"), 0);
}

TEST_P(ServerTransfer, ConcurrentUploadsOfOneNameGiveOneWholeFile) {
    TestUser u = fx.addUser("anna");
    std::vector<int> statuses(6, 0);
    std::vector<std::string> bodies;
    for (std::size_t i = 0; i < statuses.size(); ++i)
        bodies.push_back(RandomBytes(200000, static_cast<unsigned>(i)));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        threads.emplace_back([&, i] {
            httplib::Client c("127.0.0.1", fx.port());
            auto r = c.Post("/upload?folder=1&name=race.mp3", {{"X-Velmora-Session", u.token}},
                            bodies[i], "application/octet-stream");
            statuses[i] = r ? r->status : 0;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 201), 6);
    // One file under the name, holding the whole of one of the uploads.
    Element model = ParseXml(http.get("/account", u.token).body);
    const auto& files = model.child("library")->child("folder")->children;
    ASSERT_EQ(files.size(), 1u);
    std::string id = files.front().attributes.at("id");
    std::string body = http.get("/files/" + Id(u.id) + "/1/" + id, u.token).body;
    EXPECT_NE(std::find(bodies.begin(), bodies.end(), body), bodies.end());
    EXPECT_EQ(fx.blobFiles(), 1u);
    EXPECT_EQ(fx.tempFiles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerTransfer, kBothBackends, BackendName);

} // namespace
} // namespace velmora::server::test
