// Hostile names and extreme library shapes sent straight over HTTP, as any
// client could: what the service refuses, what it stores exactly, and that
// nothing already stored is touched either way.

#include "harness.h"
#include "wire/percent.h"

#include <gtest/gtest.h>

#include <set>

namespace velmora::server::test {
namespace {

Reply PostForm(Client& client, const std::string& path, const wire::FormFields& fields,
               const std::string& token) {
    return client.postBody(path, wire::FormEncode(fields), "application/x-www-form-urlencoded",
                           token);
}

// Every folder and file name of the user's library, with its parent's name.
std::multiset<std::string> Listing(Client& client, const TestUser& user) {
    Reply account = client.get("/account", user.token);
    EXPECT_EQ(account.status, 200);
    std::multiset<std::string> out;
    std::vector<std::pair<const Element*, std::string>> pending;
    Element doc = ParseXml(account.body);
    if (const Element* library = doc.child("library"))
        for (const Element* root : library->all("folder"))
            pending.emplace_back(root, "");
    while (!pending.empty()) {
        auto [folder, parent] = pending.back();
        pending.pop_back();
        const std::string name = folder->decoded("name");
        out.insert(parent + "/" + name);
        for (const Element* file : folder->all("file"))
            out.insert(name + "/" + file->decoded("name") + " " + file->attr("size"));
        for (const Element* sub : folder->all("folder"))
            pending.emplace_back(sub, name);
    }
    return out;
}

struct HostileName {
    const char* label;
    std::string name;
    int status;          // for a folder, an upload (name + ".mp3") and a rename
    const char* refusal; // the reason a refused name is given
};

void PrintTo(const HostileName& n, std::ostream* os) {
    *os << n.label;
}

class ServiceHostileNames : public ::testing::TestWithParam<HostileName> {};

TEST_P(ServiceHostileNames, RefusedWithAReasonOrStoredExactly) {
    const HostileName& n = GetParam();
    ServiceFixture fx;
    TestUser anna = fx.addUser("anna");
    const std::int64_t kept = fx.folder(anna, 1, "kept");
    const std::int64_t song = fx.upload(anna, kept, "song.mp3", "old bytes");
    const std::multiset<std::string> before = Listing(fx.client(), anna);

    const std::string file = n.name + ".mp3";
    Reply folder =
        PostForm(fx.client(), "/folders", {{"parent", "1"}, {"name", n.name}}, anna.token);
    Reply upload = fx.client().postBody("/upload?folder=1&name=" + wire::PercentEncode(file), "new",
                                        "application/octet-stream", anna.token);
    Reply rename =
        PostForm(fx.client(),
                 "/folders/" + std::to_string(kept) + "/files/" + std::to_string(song) + "/rename",
                 {{"name", file}}, anna.token);
    const std::multiset<std::string> after = Listing(fx.client(), anna);
    if (n.status != 200) {
        for (const Reply* r : {&folder, &upload, &rename}) {
            EXPECT_EQ(r->status, n.status) << r->body;
            EXPECT_NE(r->body.find(n.refusal), std::string::npos) << r->body;
        }
        EXPECT_EQ(after, before);
        EXPECT_EQ(fx.tempFiles(), 0u);
        EXPECT_EQ(fx.blobFiles(), 1u);
        return;
    }
    EXPECT_EQ(folder.status, 201) << folder.body;
    EXPECT_EQ(upload.status, 201) << upload.body;
    EXPECT_EQ(rename.status, 200) << rename.body;
    std::multiset<std::string> expected = before;
    expected.erase("kept/song.mp3 9");
    expected.insert("kept/" + file + " 9");
    expected.insert("My Media/" + n.name);
    expected.insert("My Media/" + file + " 3");
    EXPECT_EQ(after, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ServiceHostileNames,
    ::testing::Values(
        HostileName{"DotDotSlash", "../escape", 400, "Invalid character in the name"},
        HostileName{"Slash", "a/b", 400, "Invalid character in the name"},
        HostileName{"Nul", std::string("a\0b", 3), 400, "Invalid character in the name"},
        HostileName{"TenThousandCharacters", std::string(10000, 'x'), 400,
                    "The name is longer than 255 bytes"},
        HostileName{"InvalidUtf8", "bad\xff\xfe", 400, "The name is not valid UTF-8 text"},
        HostileName{"QuotesAndSql", "\"it's\"; DROP TABLE files;-- %27 OR 1=1", 200, ""},
        HostileName{"ContextAndKeySeparators", "a^b|c~0~d^noplay", 200, ""},
        HostileName{"LongestAllowed", std::string(200, 'n') + "\xc3\xa9", 200, ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ServiceLibraryBounds, DepthAndEntriesAreBoundedWithAReason) {
    Options limits;
    limits.libraryLimits = LibraryLimits{4, 3};
    ServiceFixture fx(limits);
    TestUser anna = fx.addUser("anna");
    std::int64_t parent = 1;
    for (int depth = 1; depth <= 4; ++depth)
        parent = fx.folder(anna, parent, "level" + std::to_string(depth));
    Reply deeper = fx.client().post("/folders", {{"parent", std::to_string(parent)}, {"name", "x"}},
                                    anna.token);
    EXPECT_EQ(deeper.status, 400);
    EXPECT_NE(deeper.body.find("Folders cannot be nested more than 4 deep"), std::string::npos)
        << deeper.body;

    // "My Media" holds level1; two more fill it.
    fx.folder(anna, 1, "second");
    const std::int64_t song = fx.upload(anna, 1, "song.mp3", "one");
    const std::string full = "A folder holds at most 3 files and folders";
    Reply folder = fx.client().post("/folders", {{"parent", "1"}, {"name", "third"}}, anna.token);
    Reply upload = fx.client().postBody("/upload?folder=1&name=more.mp3", "two",
                                        "application/octet-stream", anna.token);
    for (const Reply* r : {&folder, &upload}) {
        EXPECT_EQ(r->status, 400);
        EXPECT_NE(r->body.find(full), std::string::npos) << r->body;
    }
    EXPECT_EQ(fx.tempFiles(), 0u);
    // Replacing a file takes no more room.
    EXPECT_EQ(fx.upload(anna, 1, "song.mp3", "newer"), song);
    EXPECT_EQ(fx.blobFiles(), 1u);
}

} // namespace
} // namespace velmora::server::test
