// The router without a network: every kind of refusal becomes its status and
// reason in one place, and the service's XML writer escapes what it writes.

#include "auth.h"
#include "db.h"
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
