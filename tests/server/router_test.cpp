// The router without a network: every kind of refusal becomes its status and
// reason in one place, and the service's XML writer escapes what it writes.

#include "auth.h"
#include "db.h"
#include "db_sqlite.h"
#include "errors.h"
#include "harness.h"
#include "router.h"
#include "store_error.h"
#include "wire/xml_names.h"
#include "xml_writer.h"

#include <gtest/gtest.h>

#include <functional>

namespace velmora::server::test {
namespace {

using Kind = StoreError::Kind;

struct RefusalCase {
    const char* label;
    std::function<void()> fail;
    int status;
    std::string body;
    std::string retryAfter;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.label;
}

class RouterRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RouterRefusal, BecomesStatusAndReason) {
    TempDir dir;
    Store store(dir.path(), 1);
    Sessions sessions(store);
    Router router(sessions);
    router.get("/fail", Access::Open, [](Call&) { GetParam().fail(); });

    http::Request req;
    req.method = "GET";
    req.path = "/fail";
    http::Response res;
    router.handle(req, res);
    EXPECT_EQ(res.status, GetParam().status);
    EXPECT_EQ(res.body, GetParam().body);
    EXPECT_EQ(res.type, http::kText);
    auto retry = res.headers.find("Retry-After");
    EXPECT_EQ(retry == res.headers.end() ? "" : retry->second, GetParam().retryAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RouterRefusal,
    ::testing::Values(
        RefusalCase{"NotFound", [] { throw StoreError(Kind::NotFound, "Folder not found"); }, 404,
                    "Folder not found\n", ""},
        RefusalCase{"NameTaken", [] { throw StoreError(Kind::NameTaken, "Taken"); }, 409, "Taken\n",
                    ""},
        RefusalCase{"Conflict", [] { throw StoreError(Kind::Conflict, "Clash"); }, 409, "Clash\n",
                    ""},
        RefusalCase{"Forbidden", [] { throw StoreError(Kind::Forbidden, "No"); }, 403, "No\n", ""},
        RefusalCase{"TooLarge", [] { throw StoreError(Kind::TooLarge, "Big"); }, 413, "Big\n", ""},
        RefusalCase{"InvalidInput", [] { throw StoreError(Kind::InvalidInput, "Bad name"); }, 400,
                    "Bad name\n", ""},
        RefusalCase{"NotSignedIn", [] { throw StoreError(Kind::NotSignedIn, "Not signed in"); },
                    401, "Not signed in\n", ""},
        RefusalCase{"OutOfSpace", [] { throw StoreError(Kind::OutOfSpace, "No more ids"); }, 507,
                    "No more ids\n", ""},
        RefusalCase{"Internal", [] { throw StoreError(Kind::Internal, "Database error: x"); }, 500,
                    "Database error: x\n", ""},
        // A database out of reach is worth another try soon.
        RefusalCase{"Unavailable",
                    [] { throw StoreError(Kind::Unavailable, "The database is unavailable"); }, 503,
                    "The database is unavailable\n", "1"},
        RefusalCase{"HttpRefusal", [] { throw ServiceError(429, "Too many failed sign-ins", 8); },
                    429, "Too many failed sign-ins\n", "8"},
        // Anything else says nothing of its inside to the client.
        RefusalCase{"Unexpected", [] { throw std::logic_error("secret detail"); }, 500,
                    "Internal error\n", ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ServerDatabase, OnlyADuplicateNameReadsAsATakenName) {
    struct Case {
        const char* statement;
        Kind kind;
    };
    const Case cases[] = {
        {"INSERT INTO lists(owner, name) VALUES(1, 'Friends')", Kind::NameTaken},
        {"INSERT INTO tokens(hash, owner) VALUES('h', 1)", Kind::Conflict},
        {"INSERT INTO members(list, user) VALUES(99, 1)", Kind::Conflict},
        {"INSERT INTO tokens(hash, owner) VALUES('other', NULL)", Kind::Internal},
    };
    TempDir dir;
    SqliteConnection c((dir.path() / "constraints.db").string());
    c.exec("PRAGMA foreign_keys=ON");
    c.exec("CREATE TABLE lists(id INTEGER PRIMARY KEY, owner INTEGER, name TEXT, "
           "UNIQUE(owner, name));"
           "CREATE TABLE tokens(hash TEXT PRIMARY KEY, owner INTEGER NOT NULL) WITHOUT ROWID;"
           "CREATE TABLE members(list INTEGER REFERENCES lists(id), user INTEGER);"
           "INSERT INTO lists(owner, name) VALUES(1, 'Friends');"
           "INSERT INTO tokens(hash, owner) VALUES('h', 1);");
    for (const auto& test : cases) {
        SCOPED_TRACE(test.statement);
        try {
            c.query(test.statement)->run();
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

TEST(ServerDatabase, ATokenStoredTwiceIsAConflictNotATakenName) {
    TempDir dir;
    Store store(dir.path(), 1);
    store.addSession("same-hash", 1, 2000000000);
    try {
        store.addSession("same-hash", 1, 2000000000);
        ADD_FAILURE() << "the second session was stored";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind(), Kind::Conflict);
        EXPECT_NE(std::string(e.what()), "An entry with this name already exists");
    }
}

TEST(ServerXmlWriter, EscapesTextsAndNestsElements) {
    namespace xml = wire::xml;
    XmlWriter w;
    w.start(xml::element::kFolder)
        .text(xml::attribute::kName, "a\"<&> \xc3\xa9.mp3")
        .number(xml::attribute::kId, -7)
        .flag(xml::attribute::kVisible, true)
        .children()
        .end()
        .start(xml::element::kAppMessage)
        .content(xml::element::kAppMessageText, "<b>&\"quoted\"</b>")
        .start(xml::element::kFile)
        .end()
        .end();
    EXPECT_EQ(w.take(), "<folder name=\"a%22%3c%26%3e%20%c3%a9%2emp3\" id=\"-7\" visible=\"1\">"
                        "</folder><appmessage><msg>&lt;b&gt;&amp;&quot;quoted&quot;&lt;/b&gt;"
                        "</msg><file/></appmessage>");
}

} // namespace
} // namespace velmora::server::test

namespace velmora::server::test {
namespace {

// Only downloads answer a Range header; any other reply comes whole.
TEST(ServerBackend, RangeHeaderCutsOnlyDownloads) {
    ServiceFixture fx;
    Reply r = fx.client().get("/health", "", {{"Range", "bytes=0-0"}});
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "ok\n");
    EXPECT_EQ(r.headers.count("Content-Range"), 0u);
}

} // namespace
} // namespace velmora::server::test
