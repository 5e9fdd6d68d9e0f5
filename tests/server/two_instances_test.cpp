// Two service processes on two ports over one database and one blob folder:
// whatever one instance was told, the other answers alike.

#include "auth.h"
#include "harness.h"
#include "service_process.h"

#include <gtest/gtest.h>

#include <csignal>

#include <thread>

namespace velmora::server::test {
namespace {

namespace fs = std::filesystem;
using Process = std::unique_ptr<velmora::test::ServiceProcess>;

// Instances of the service over the test's data folder and database.
class Instances {
public:
    explicit Instances(QStringList database) : database_(std::move(database)) {}

    Process launch(const QStringList& more) {
        auto p = std::make_unique<velmora::test::ServiceProcess>(
            QString::fromStdString(dir_.path().string()));
        EXPECT_TRUE(p->launch(QStringList{"--hash-cost", "test", "--quiet"} + database_ + more));
        return p;
    }
    std::int64_t addUser(const QString& accountId) {
        Process admin = launch({"--add-user", accountId, "--password", "pw-" + accountId});
        QString line = admin->waitForLine("user " + accountId + " id ");
        EXPECT_EQ(admin->finish(0), 0);
        return line.section(' ', 3).toLongLong();
    }
    std::size_t blobs() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_.path() / "blobs"))
            ++n;
        return n;
    }

private:
    TempDir dir_;
    QStringList database_;
};

std::int64_t Upload(int port, const std::string& token, const std::string& name,
                    const std::string& bytes) {
    httplib::Client c("127.0.0.1", port);
    auto r = c.Post("/upload?folder=1&name=" + name, {{"X-Velmora-Session", token}}, bytes,
                    "application/octet-stream");
    if (!r || r->status != 201)
        return 0;
    return std::stoll("0" + ParseXml(r->body).attr("id"));
}

void EitherInstanceAnswersForTheOther(Instances& instances) {
    const std::int64_t alice = instances.addUser("alice");
    const std::int64_t bob = instances.addUser("bob");
    ASSERT_GT(alice, 0);
    Process one = instances.launch({"--port", "0"});
    Process two = instances.launch({"--port", "0"});
    const int portOne = one->waitForPort();
    const int portTwo = two->waitForPort();
    ASSERT_GT(portOne, 0);
    ASSERT_GT(portTwo, 0);
    Client a(portOne), b(portTwo);

    // A session opened on one is good on the other.
    std::string token = a.signIn("alice", "pw-alice");
    ASSERT_FALSE(token.empty());
    EXPECT_EQ(b.get("/account", token).status, 200);

    // Bytes uploaded through one come back whole through the other.
    const std::string song = RandomBytes(300000, 21);
    std::int64_t id = Upload(portOne, token, "song.mp3", song);
    ASSERT_GT(id, 0);
    Reply got = b.get("/files/" + std::to_string(alice) + "/1/" + std::to_string(id), token);
    EXPECT_EQ(got.status, 200);
    EXPECT_TRUE(got.body == song);

    // The same bytes through both at once: both are stored, as one copy.
    const std::string same = RandomBytes(300000, 22);
    std::int64_t viaTwo = 0;
    std::thread other([&] { viaTwo = Upload(portTwo, token, "y.mp3", same); });
    std::int64_t viaOne = Upload(portOne, token, "x.mp3", same);
    other.join();
    EXPECT_GT(viaOne, 0);
    EXPECT_GT(viaTwo, 0);
    EXPECT_EQ(instances.blobs(), 2u);

    // A message sent through one arrives through the other.
    EXPECT_EQ(a.post("/messages",
                     {{"user", std::to_string(bob)}, {"acl", "-1"}, {"text", "hello from one"}},
                     token)
                  .status,
              200);
    std::string bobToken = b.signIn("bob", "pw-bob");
    Element messages = ParseXml(b.get("/messages", bobToken).body);
    ASSERT_EQ(messages.all("message").size(), 1u);
    EXPECT_EQ(messages.child("message")->decoded("text"), "hello from one");

    // Signing out on one ends the session on the other at once.
    EXPECT_EQ(a.del("/session", token).status, 204);
    EXPECT_EQ(b.get("/account", token).status, 401);

    // Failed sign-ins on one hold back the account on the other.
    for (int i = 0; i < SignInThrottle::kFreeFailures; ++i)
        EXPECT_EQ(a.post("/session", {{"accountid", "bob"}, {"password", "wrong"}}).status, 401);
    EXPECT_EQ(b.post("/session", {{"accountid", "bob"}, {"password", "pw-bob"}}).status, 429);

    EXPECT_EQ(one->finish(SIGTERM), 0);
    EXPECT_EQ(two->finish(SIGTERM), 0);
}

class ServerTwoInstances : public ::testing::TestWithParam<Backend> {};

TEST_P(ServerTwoInstances, EitherInstanceAnswersForTheOther) {
    std::unique_ptr<velmora::test::ScratchDatabase> database;
    QStringList arguments;
    if (GetParam() == Backend::Postgres) {
        database = std::make_unique<velmora::test::ScratchDatabase>();
        arguments = {"--database", QString::fromStdString(database->uri())};
    }
    Instances instances(arguments);
    EitherInstanceAnswersForTheOther(instances);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerTwoInstances, kBothBackends, BackendName);

} // namespace
} // namespace velmora::server::test
