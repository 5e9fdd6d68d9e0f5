// The storage seam on both backends: how database refusals read, schema
// steps, concurrent writers under the uniqueness rules, and a lost
// PostgreSQL connection.

#include "db_postgres.h"
#include "db_sqlite.h"
#include "harness.h"
#include "schema.h"
#include "store.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

namespace velmora::server::test {
namespace {

using Kind = StoreError::Kind;

// A database of the backend under test, empty, for one test.
class Database {
public:
    explicit Database(Backend backend)
        : scratch_(backend == Backend::Postgres ? std::make_unique<velmora::test::ScratchDatabase>()
                                                : nullptr) {}
    std::string name() const {
        return scratch_ ? scratch_->uri() : (dir_.path() / "test.db").string();
    }
    std::unique_ptr<Connection> open() const { return OpenerFor(name())(); }
    const std::filesystem::path& dataDir() const { return dir_.path(); }

private:
    TempDir dir_;
    std::unique_ptr<velmora::test::ScratchDatabase> scratch_;
};

Kind KindOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const StoreError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no refusal";
    return Kind::Internal;
}

class ServerDatabase : public ::testing::TestWithParam<Backend> {
protected:
    Database db{GetParam()};
};

TEST_P(ServerDatabase, OnlyADuplicateNameReadsAsATakenName) {
    struct Case {
        const char* statement;
        Kind kind;
    };
    const Case cases[] = {
        {"INSERT INTO lists(id, owner, name) VALUES(2, 1, 'Friends')", Kind::NameTaken},
        {"INSERT INTO tokens(hash, owner) VALUES('h', 1)", Kind::Conflict},
        {"INSERT INTO members(list, \"user\") VALUES(99, 1)", Kind::Conflict},
        {"INSERT INTO tokens(hash, owner) VALUES('other', NULL)", Kind::Internal},
    };
    auto c = db.open();
    if (c->dialect() == Dialect::Sqlite)
        c->exec("PRAGMA foreign_keys=ON");
    c->exec("CREATE TABLE lists(id BIGINT PRIMARY KEY, owner BIGINT, name TEXT, "
            "UNIQUE(owner, name));"
            "CREATE TABLE tokens(hash TEXT PRIMARY KEY, owner BIGINT NOT NULL);"
            "CREATE TABLE members(list BIGINT REFERENCES lists(id), \"user\" BIGINT);"
            "INSERT INTO lists(id, owner, name) VALUES(1, 1, 'Friends');"
            "INSERT INTO tokens(hash, owner) VALUES('h', 1);");
    for (const auto& test : cases) {
        SCOPED_TRACE(test.statement);
        try {
            c->query(test.statement)->run();
            ADD_FAILURE() << "the statement was accepted";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.kind(), test.kind);
            if (test.kind == Kind::NameTaken)
                EXPECT_STREQ(e.what(), "An entry with this name already exists");
            else
                EXPECT_EQ(std::string(e.what()).find("name already exists"), std::string::npos);
        }
    }
}

TEST_P(ServerDatabase, ATokenStoredTwiceIsAConflictNotATakenName) {
    Store store(db.dataDir(), db.name(), 1);
    store.addSession("same-hash", 1, 2000000000);
    try {
        store.addSession("same-hash", 1, 2000000000);
        ADD_FAILURE() << "the second session was stored";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind(), Kind::Conflict);
        EXPECT_NE(std::string(e.what()), "An entry with this name already exists");
    }
}

TEST_P(ServerDatabase, SchemaStepsAreTakenOnceAndAllOrNone) {
    const std::vector<SchemaStep> two{
        {"CREATE TABLE t(n INTEGER NOT NULL)", nullptr},
        {"INSERT INTO t(n) VALUES(1)", nullptr},
    };
    auto rows = [](Connection& c) {
        auto q = c.query("SELECT COUNT(*) FROM t");
        q->step();
        return q->integer(0);
    };
    auto c = db.open();
    EXPECT_EQ(Migrate(*c, two), 0);
    EXPECT_EQ(Migrate(*c, two), 2);
    EXPECT_EQ(rows(*c), 1); // the insert ran once

    // A step that fails takes the steps before it in the same run along.
    auto broken = two;
    broken.push_back({"INSERT INTO t(n) VALUES(3)", nullptr});
    broken.push_back({"CREATE TABLE t(n INTEGER)", nullptr});
    EXPECT_EQ(KindOf([&] { Migrate(*c, broken); }), Kind::Internal);
    EXPECT_EQ(rows(*c), 1);
    EXPECT_EQ(Migrate(*c, two), 2);

    // A database of a newer service is left alone.
    const std::vector<SchemaStep> one{two.front()};
    EXPECT_EQ(KindOf([&] { Migrate(*c, one); }), Kind::Internal);
}

TEST_P(ServerDatabase, ConcurrentWritersKeepOneNamePerFolderAndList) {
    Store store(db.dataDir(), db.name(), 8);
    const std::int64_t user = store.addUser(NewUser{"alice", "A", "L", "a@example.org"}, "hash");
    constexpr int kThreads = 8;
    struct Race {
        const char* label;
        std::function<void(int)> attempt; // by thread number
        bool sameName;
    };
    const Race races[] = {
        {"one folder name", [&](int) { store.createFolder(user, 1, "Same"); }, true},
        {"one list name", [&](int) { store.createAcl(user, "Same"); }, true},
        {"one file name against a folder name",
         [&](int i) {
             if (i % 2)
                 store.commitFile(user, 1, "Clash.mp3", 1, "blob" + std::to_string(i));
             else
                 store.createFolder(user, 1, "Clash.mp3");
         },
         true},
        {"distinct folder names",
         [&](int i) { store.createFolder(user, 1, "Own " + std::to_string(i)); }, false},
    };
    for (const auto& race : races) {
        SCOPED_TRACE(race.label);
        std::atomic<int> won{0}, taken{0}, other{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                try {
                    race.attempt(i);
                    ++won;
                } catch (const StoreError& e) {
                    ++(e.kind() == Kind::NameTaken ? taken : other);
                }
            });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(other.load(), 0);
        if (race.sameName) {
            // Files of one name replace each other; a folder cannot, so
            // either one folder or the files won.
            EXPECT_GE(won.load(), 1);
            EXPECT_EQ(won + taken, kThreads);
        } else {
            EXPECT_EQ(won.load(), kThreads);
        }
    }
    std::vector<FolderRow> folders = store.subfolders(user, 1);
    std::vector<FileRow> files = store.filesIn(user, 1);
    auto named = [&](const std::string& name) {
        return std::count_if(folders.begin(), folders.end(),
                             [&](const FolderRow& f) { return f.name == name; }) +
               std::count_if(files.begin(), files.end(),
                             [&](const FileRow& f) { return f.name == name; });
    };
    EXPECT_EQ(named("Same"), 1);
    EXPECT_EQ(named("Clash.mp3"), 1);
    EXPECT_EQ(folders.size() + files.size(), 2u + kThreads);
    std::set<std::int64_t> ids;
    for (const auto& f : folders)
        ids.insert(f.id);
    EXPECT_EQ(ids.size(), folders.size());
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerDatabase, kBothBackends, BackendName);

TEST(ServerPostgres, PlaceholdersBecomeDollarsOutsideQuotes) {
    const std::pair<const char*, const char*> cases[] = {
        {"SELECT ?1, ?12", "SELECT $1, $12"},
        {"SELECT '?1', \"?2\" FROM t WHERE a = ?3", "SELECT '?1', \"?2\" FROM t WHERE a = $3"},
        {"SELECT 'it''s ?1' || ?2", "SELECT 'it''s ?1' || $2"},
        {"SELECT a ? b", "SELECT a ? b"},
    };
    for (const auto& [sql, expected] : cases)
        EXPECT_EQ(DollarPlaceholders(sql), expected) << sql;
}

// Ends the server process behind a connection, as a restart of PostgreSQL
// does.
void Terminate(const std::string& uri, int pid) {
    PGconn* admin = PQconnectdb(uri.c_str());
    PGresult* r =
        PQexec(admin, ("SELECT pg_terminate_backend(" + std::to_string(pid) + ", 5000)").c_str());
    EXPECT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << PQerrorMessage(admin);
    PQclear(r);
    PQfinish(admin);
}

TEST(ServerPostgres, ALostConnectionIsRefusedAsUnavailableAndReplaced) {
    Database db(Backend::Postgres);
    ConnectionPool pool(OpenerFor(db.name()), 1);
    auto pidOf = [](Connection& c) { return static_cast<PostgresConnection&>(c).backendPid(); };
    int first = 0;
    {
        auto c = pool.acquire();
        first = pidOf(*c);
        c->begin(true);
        Terminate(db.name(), first);
        // In the middle of a transaction: the caller learns that nothing
        // was committed.
        EXPECT_EQ(KindOf([&] { c->query("SELECT 1")->step(); }), Kind::Unavailable);
        EXPECT_EQ(KindOf([&] { c->commit(); }), Kind::Unavailable);
    }
    int second = 0;
    {
        auto c = pool.acquire();
        second = pidOf(*c);
        EXPECT_NE(second, first);
        EXPECT_TRUE(c->query("SELECT 1")->step());
    }
    // A connection lost while idle in the pool costs no request anything.
    Terminate(db.name(), second);
    int third = pool.write([&](Connection& c) {
        c.query("SELECT 1")->step();
        return pidOf(c);
    });
    EXPECT_NE(third, second);
}

TEST(ServerPostgres, ADatabaseNotInUtf8IsRefused) {
    auto& cluster = velmora::test::PostgresCluster::Shared();
    PGconn* admin = PQconnectdb(cluster.uri("postgres").c_str());
    PGresult* r = PQexec(admin, "CREATE DATABASE latin TEMPLATE template0 ENCODING 'LATIN1'");
    EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(admin);
    PQclear(r);
    PQfinish(admin);
    EXPECT_EQ(KindOf([&] { PostgresConnection c(cluster.uri("latin")); }), Kind::Internal);
}

TEST(ServerPostgres, ACommitAfterAFailedStatementIsNoSuccess) {
    Database db(Backend::Postgres);
    auto c = db.open();
    c->exec("CREATE TABLE t(n BIGINT PRIMARY KEY)");
    c->begin(true);
    c->query("INSERT INTO t(n) VALUES(1)")->run();
    EXPECT_EQ(KindOf([&] { c->query("INSERT INTO t(n) VALUES(1)")->run(); }), Kind::Conflict);
    EXPECT_EQ(KindOf([&] { c->commit(); }), Kind::Internal);
    auto q = c->query("SELECT COUNT(*) FROM t");
    ASSERT_TRUE(q->step());
    EXPECT_EQ(q->integer(0), 0);
}

} // namespace
} // namespace velmora::server::test
