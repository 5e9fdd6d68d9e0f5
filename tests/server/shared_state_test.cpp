// What instances of the service share: two stores over one data folder and
// one database stand for two instances. Sign-in back-off counts the failures
// of every instance; blobs are named by their bytes and go only with the
// last file that refers to them, whatever another instance commits at the
// same moment; the start-up sweep leaves young files alone.

#include "auth.h"
#include "blobs.h"
#include "harness.h"
#include "seed.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

namespace velmora::server::test {
namespace {

namespace fs = std::filesystem;

struct TwoInstances {
    explicit TwoInstances(Backend backend)
        : database(backend == Backend::Postgres ? std::make_unique<velmora::test::ScratchDatabase>()
                                                : nullptr),
          a(dir.path(), database ? database->uri() : "", 2),
          b(dir.path(), database ? database->uri() : "", 2) {}

    TempDir dir;
    std::unique_ptr<velmora::test::ScratchDatabase> database;
    Store a;
    Store b;

    std::int64_t user(const std::string& accountId) {
        return a.addUser(
            NewUser{accountId, "F", "L", accountId + "@example.org", Tier::Free, false, false},
            "hash");
    }
    std::size_t filesIn(const char* sub) const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path() / sub))
            ++n;
        return n;
    }
};

class ServerSharedState : public ::testing::TestWithParam<Backend> {};

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_P(ServerSharedState, BackOffCountsTheFailuresOfEveryInstance) {
    TwoInstances s(GetParam());
    SignInThrottle onA(s.a), onB(s.b);
    const auto t = SignInThrottle::Clock::now();
    const struct {
        int failures;
        int waitSeconds;
    } cases[] = {{2, 0}, {3, 1}, {4, 2}, {5, 4}, {11, 256}, {12, 300}, {40, 300}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failures);
        const std::string id = "account-" + std::to_string(c.failures);
        for (int i = 0; i < c.failures; ++i)
            (i % 2 ? onA : onB).failed(id, t);
        EXPECT_EQ(onA.secondsLeft(id, t), c.waitSeconds);
        EXPECT_EQ(onB.secondsLeft(id, t), c.waitSeconds);
        EXPECT_EQ(onB.secondsLeft(id, t + std::chrono::seconds(c.waitSeconds)), 0);
    }
    EXPECT_EQ(onB.secondsLeft("account-none", t), 0);
    onA.succeeded("account-40");
    EXPECT_EQ(onB.secondsLeft("account-40", t), 0);

    // Failures on both at once are all counted.
    std::thread first([&] {
        for (int i = 0; i < 20; ++i)
            onA.failed("raced", t);
    });
    for (int i = 0; i < 20; ++i)
        onB.failed("raced", t);
    first.join();
    auto row = s.b.signInBackOff("raced");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->failures, 40);
}

TEST_P(ServerSharedState, SameBytesAreStoredOnceAndGoWithTheirLastFile) {
    TwoInstances s(GetParam());
    {
        StagedBlob abc(s.a.tempDir());
        abc.write("abc", 3);
        EXPECT_EQ(abc.place(s.a.blobDir()),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_TRUE(s.a.releaseBlob(BlobName("abc")));
    }
    std::int64_t u = s.user("anna");
    const std::string bytes = RandomBytes(100000, 3);
    FileRow one = StoreBytes(s.a, u, 1, "one.mp3", bytes);
    FileRow two = StoreBytes(s.b, u, 1, "two.mp3", bytes);
    EXPECT_EQ(one.blob, BlobName(bytes));
    EXPECT_EQ(two.blob, one.blob);
    EXPECT_EQ(s.filesIn("blobs"), 1u);
    s.a.deleteFile(u, 1, one.id);
    EXPECT_EQ(ReadWhole(s.b.blobPath(two.blob)), bytes);
    s.b.deleteFile(u, 1, two.id);
    EXPECT_EQ(s.filesIn("blobs"), 0u);

    // Data folders of older versions name blobs at random; they keep working.
    const std::string legacy = "00112233445566778899aabbccddeeff";
    std::ofstream(s.a.blobPath(legacy)) << "old bytes";
    FileRow old = s.a.commitFile(u, 1, "old.au", 9, legacy);
    EXPECT_EQ(s.b.readableFile(u, u, 1, old.id)->blob, legacy);
    s.b.deleteFile(u, 1, old.id);
    EXPECT_EQ(s.filesIn("blobs"), 0u);
    EXPECT_EQ(s.filesIn("tmp"), 0u);
}

// An upload on B has placed bytes that already were there; a deletion on A
// of the last other file with those bytes runs before or after B's commit.
TEST_P(ServerSharedState, ACommitKeepsItsBytesWhateverADeletionElsewhereDoes) {
    for (bool deleteFirst : {true, false}) {
        SCOPED_TRACE(deleteFirst ? "deletion first" : "commit first");
        TwoInstances s(GetParam());
        std::int64_t u = s.user("anna");
        const std::string bytes = RandomBytes(5000, 4);
        FileRow earlier = StoreBytes(s.a, u, 1, "earlier.mp3", bytes);
        {
            StagedBlob staged(s.b.tempDir());
            staged.write(bytes.data(), bytes.size());
            std::string blob = staged.place(s.b.blobDir());
            ASSERT_EQ(blob, earlier.blob);
            if (deleteFirst) {
                s.a.deleteFile(u, 1, earlier.id);
                EXPECT_FALSE(fs::exists(s.a.blobPath(blob)));
            }
            s.b.commitFile(u, 1, "later.mp3", 5000, blob, staged.path());
            if (!deleteFirst)
                s.a.deleteFile(u, 1, earlier.id);
        }
        EXPECT_EQ(ReadWhole(s.a.blobPath(earlier.blob)), bytes);
        EXPECT_EQ(s.filesIn("tmp"), 0u);
    }
}

TEST_P(ServerSharedState, ConcurrentUploadsAndDeletionsOfTheSameBytesKeepEveryCommittedFile) {
    TwoInstances s(GetParam());
    std::int64_t u = s.user("anna");
    const std::string bytes = RandomBytes(2000, 5);
    std::atomic<int> lost{0};
    auto churn = [&](Store& store, const std::string& prefix) {
        for (int i = 0; i < 60; ++i) {
            FileRow row = StoreBytes(store, u, 1, prefix + std::to_string(i) + ".mp3", bytes);
            if (ReadWhole(store.blobPath(row.blob)) != bytes)
                ++lost;
            store.deleteFile(u, 1, row.id);
        }
    };
    std::thread onA([&] { churn(s.a, "a"); });
    churn(s.b, "b");
    onA.join();
    EXPECT_EQ(lost.load(), 0);
    EXPECT_EQ(s.filesIn("blobs"), 0u);
    EXPECT_EQ(s.filesIn("tmp"), 0u);
}

TEST_P(ServerSharedState, ADeletionThatDoesNotCommitPutsTheBlobBack) {
    TwoInstances s(GetParam());
    std::ofstream(s.a.blobPath("orphan")) << "bytes";
    {
        auto c = s.a.pool().acquire();
        Transaction tx(*c, true);
        RetiredBlobs retired(s.a.blobDir(), s.a.tempDir());
        EXPECT_TRUE(retired.retireIfUnreferenced(*c, "orphan"));
        EXPECT_FALSE(fs::exists(s.a.blobPath("orphan")));
    }
    EXPECT_EQ(ReadWhole(s.a.blobPath("orphan")), "bytes");
    EXPECT_EQ(s.filesIn("tmp"), 0u);
}

// An upload left by a process of this machine that has ended.
std::string DeadProcessUpload() {
    pid_t pid = 0;
    char truth[] = "/bin/true";
    char* argv[] = {truth, nullptr};
    EXPECT_EQ(::posix_spawn(&pid, truth, nullptr, nullptr, argv, nullptr), 0);
    ::waitpid(pid, nullptr, 0);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return std::string("upload.") + host + "." + std::to_string(pid) + ".a1b2c3.part";
}

// Leftovers: a half upload, one of a dead process, an unreferenced blob, and
// two blobs moved aside by deletions that never finished, one still referred
// to.
TEST_P(ServerSharedState, SweepTakesOnlyOldLeftoversAndRestoresReferencedBlobs) {
    const struct {
        std::chrono::seconds minAge;
        int removed;
        bool old;
    } cases[] = {{Store::kSweepAge, 1, false}, {std::chrono::seconds(0), 5, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minAge.count());
        TwoInstances s(GetParam());
        std::int64_t u = s.user("anna");
        FileRow kept = StoreBytes(s.a, u, 1, "kept.mp3", "kept bytes");
        fs::rename(s.a.blobPath(kept.blob), s.a.tempDir() / (kept.blob + ".0a1b.gone"));
        for (const std::string& name :
             {std::string("ghost.0a1b.gone"), std::string("upload-half.part"), DeadProcessUpload()})
            std::ofstream(s.a.tempDir() / name) << "x";
        std::ofstream(s.a.blobPath("orphan")) << "x";
        EXPECT_EQ(s.b.sweep(c.minAge), c.removed);
        EXPECT_EQ(fs::exists(s.a.blobPath(kept.blob)), c.old);
        EXPECT_EQ(fs::exists(s.a.blobPath("orphan")), !c.old);
        EXPECT_EQ(s.filesIn("tmp"), c.old ? 0u : 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerSharedState, kBothBackends, BackendName);

} // namespace
} // namespace velmora::server::test
