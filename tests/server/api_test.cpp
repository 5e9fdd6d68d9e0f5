// Every operation of the interface against an in-process service.

#include "harness.h"
#include "text.h"
#include "wire/link.h"
#include "wire/percent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace velmora::server::test {
namespace {

namespace fs = std::filesystem;

std::string Id(std::int64_t n) {
    return std::to_string(n);
}

class ServerApi : public ::testing::TestWithParam<Backend> {
protected:
    ServiceFixture fx{{}, GetParam()};
    Client& http = fx.client();
};

TEST_P(ServerApi, HealthAndSignInOut) {
    EXPECT_EQ(http.get("/health").body, "ok\n");
    TestUser alice = fx.addUser("alice");
    EXPECT_EQ(alice.token.size(), 64u);
    EXPECT_EQ(http.get("/account", alice.token).status, 200);

    Reply bad = http.post("/session", {{"accountid", "alice"}, {"password", "wrong"}});
    EXPECT_EQ(bad.status, 401);
    EXPECT_EQ(bad.body, "Invalid account id or password\n");
    Reply unknown = http.post("/session", {{"accountid", "nobody"}, {"password", "x"}});
    EXPECT_EQ(unknown.status, 401);
    EXPECT_EQ(unknown.body, bad.body); // no hint which of the two was wrong

    // Two sessions are independent; signing one out ends only that one.
    std::string second = http.signIn("alice", alice.password);
    ASSERT_FALSE(second.empty());
    EXPECT_NE(second, alice.token);
    EXPECT_EQ(http.del("/session", alice.token).status, 204);
    Reply gone = http.get("/account", alice.token);
    EXPECT_EQ(gone.status, 401);
    EXPECT_EQ(gone.body, "Not signed in\n");
    EXPECT_EQ(http.get("/account", second).status, 200);
}

TEST_P(ServerApi, RepeatedFailedSignInsAreRefusedDuringBackOff) {
    TestUser alice = fx.addUser("alice");
    for (int i = 0; i < SignInThrottle::kFreeFailures; ++i)
        EXPECT_EQ(http.post("/session", {{"accountid", "alice"}, {"password", "no"}}).status, 401);
    // Even the right password waits out the back-off.
    Reply r = http.post("/session", {{"accountid", "alice"}, {"password", alice.password}});
    EXPECT_EQ(r.status, 429);
    EXPECT_NE(r.body.find("try again in 1 s"), std::string::npos) << r.body;
    ASSERT_EQ(r.headers.count("Retry-After"), 1u);
    EXPECT_EQ(r.headers.find("Retry-After")->second, "1");
    // Other accounts sign in meanwhile.
    TestUser bob = fx.addUser("bob");
    EXPECT_FALSE(bob.token.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_FALSE(http.signIn("alice", alice.password).empty());
}

TEST(ServerSignIn, ABurstOfSignInsSharesTheHashingSlots) {
    Options o;
    o.hashParallel = 1;
    ServiceFixture fx(o);
    std::vector<TestUser> users;
    for (int i = 0; i < 8; ++i)
        users.push_back(fx.addUser("user" + std::to_string(i)));
    std::vector<std::string> tokens(users.size() * 3);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        threads.emplace_back([&, i] {
            const TestUser& u = users[i % users.size()];
            tokens[i] = Client(fx.port()).signIn(u.accountId, u.password);
        });
    }
    for (auto& t : threads)
        t.join();
    for (const auto& token : tokens)
        EXPECT_EQ(token.size(), 64u);
    std::sort(tokens.begin(), tokens.end());
    EXPECT_EQ(std::unique(tokens.begin(), tokens.end()), tokens.end());
}

TEST_P(ServerApi, FolderLifecycleAndNameRules) {
    TestUser u = fx.addUser("alice");
    std::int64_t music = fx.folder(u, 1, "Music");
    std::int64_t rock = fx.folder(u, music, "Rock & Roll");
    EXPECT_GT(rock, music);

    Reply clash = http.post("/folders", {{"parent", Id(music)}, {"name", "Rock & Roll"}}, u.token);
    EXPECT_EQ(clash.status, 409);
    EXPECT_EQ(clash.body, "An entry with this name already exists\n");
    // The same name in another folder is fine.
    fx.folder(u, 1, "Rock & Roll");

    for (const std::string& name :
         {std::string(""), std::string("a/b"), std::string("a\0b", 3), std::string(256, 'x')}) {
        Reply r = http.post("/folders", {{"parent", "1"}, {"name", name}}, u.token);
        EXPECT_EQ(r.status, 400) << name.size();
    }
    EXPECT_EQ(http.post("/folders", {{"parent", "1"}}, u.token).body, "Missing parameter: name\n");
    EXPECT_EQ(http.post("/folders", {{"parent", "x1"}, {"name", "n"}}, u.token).status, 400);
    EXPECT_EQ(http.post("/folders", {{"parent", "999"}, {"name", "n"}}, u.token).body,
              "Folder not found\n");

    Reply renamed = http.post("/folders/" + Id(rock) + "/rename", {{"name", "Jazz"}}, u.token);
    ASSERT_EQ(renamed.status, 200) << renamed.body;
    EXPECT_EQ(ParseXml(renamed.body).decoded("name"), "Jazz");
    // A rename onto a sibling's name clashes; onto its own name does not.
    fx.folder(u, music, "Blues");
    EXPECT_EQ(http.post("/folders/" + Id(rock) + "/rename", {{"name", "Blues"}}, u.token).status,
              409);
    EXPECT_EQ(http.post("/folders/" + Id(rock) + "/rename", {{"name", "Jazz"}}, u.token).status,
              200);
    EXPECT_EQ(http.post("/folders/1/rename", {{"name", "x"}}, u.token).status, 400);
    EXPECT_EQ(http.del("/folders/1", u.token).status, 400);

    Element model = ParseXml(http.get("/account", u.token).body);
    const Element* jazz = model.find("folder", Id(rock));
    ASSERT_TRUE(jazz);
    EXPECT_EQ(jazz->decoded("name"), "Jazz");
}

TEST_P(ServerApi, DeletingAFolderRemovesItsSubtreeAndBlobs) {
    TestUser u = fx.addUser("alice");
    std::int64_t a = fx.folder(u, 1, "A");
    std::int64_t b = fx.folder(u, a, "B");
    std::int64_t c = fx.folder(u, b, "C");
    fx.upload(u, a, "one.mp3", "1111");
    fx.upload(u, c, "deep.au", "2222");
    std::int64_t keep = fx.upload(u, 1, "keep.au", "3333");
    EXPECT_EQ(fx.blobFiles(), 3u);

    EXPECT_EQ(http.del("/folders/" + Id(a), u.token).status, 204);
    EXPECT_EQ(fx.blobFiles(), 1u);
    Element model = ParseXml(http.get("/account", u.token).body);
    EXPECT_FALSE(model.find("folder", Id(a)));
    EXPECT_FALSE(model.find("folder", Id(c)));
    EXPECT_TRUE(model.find("file", Id(keep)));
    EXPECT_EQ(http.del("/folders/" + Id(a), u.token).status, 404);
    // A new folder may take the deleted one's name, with a new id.
    EXPECT_GT(fx.folder(u, 1, "A"), c);
}

TEST_P(ServerApi, FileRenameAndDelete) {
    TestUser u = fx.addUser("alice");
    std::int64_t f = fx.folder(u, 1, "F");
    std::int64_t one = fx.upload(u, f, "one.mp3", "abc");
    fx.upload(u, f, "two.mp3", "def");
    std::string base = "/folders/" + Id(f) + "/files/" + Id(one);

    EXPECT_EQ(http.post(base + "/rename", {{"name", "two.mp3"}}, u.token).status, 409);
    EXPECT_EQ(http.post(base + "/rename", {{"name", "one.txt"}}, u.token).body,
              "Invalid file type\n");
    Reply r = http.post(base + "/rename", {{"name", "Uno Due.MP3"}}, u.token);
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(ParseXml(r.body).attr("name"), "Uno%20Due%2eMP3");
    // A file is named by its folder too.
    EXPECT_EQ(
        http.post("/folders/1/files/" + Id(one) + "/rename", {{"name", "x.mp3"}}, u.token).status,
        404);
    EXPECT_EQ(http.del(base, u.token).status, 204);
    EXPECT_EQ(http.del(base, u.token).status, 404);
    EXPECT_EQ(http.get("/files/" + Id(u.id) + "/" + Id(f) + "/" + Id(one), u.token).status, 404);
}

TEST_P(ServerApi, AccessListsAndMembers) {
    TestUser u = fx.addUser("alice");
    TestUser bob = fx.addUser("bob");
    TestUser carol = fx.addUser("carol");
    std::int64_t friends = fx.acl(u, "Friends");
    EXPECT_EQ(http.post("/acls", {{"name", "Friends"}}, u.token).body,
              "Access list with the same name already exists\n");
    // Names are unique per owner only.
    EXPECT_GT(fx.acl(bob, "Friends"), friends);

    fx.addMember(u, friends, bob);
    fx.addMember(u, friends, carol);
    std::string members = "/acls/" + Id(friends) + "/members";
    EXPECT_EQ(http.post(members, {{"user", Id(bob.id)}}, u.token).body,
              "This user is already part of this access list\n");
    EXPECT_EQ(http.post(members, {{"user", Id(u.id)}}, u.token).body,
              "Can't share with yourself\n");
    EXPECT_EQ(http.post(members, {{"user", "9999"}}, u.token).status, 404);

    std::int64_t family = fx.acl(u, "Family");
    EXPECT_EQ(http.post("/acls/" + Id(family) + "/rename", {{"name", "Friends"}}, u.token).status,
              409);
    EXPECT_EQ(http.post("/acls/" + Id(family) + "/rename", {{"name", "Kin"}}, u.token).status, 200);

    Element acls = ParseXml(http.get("/acls", u.token).body);
    ASSERT_EQ(acls.name, "acls");
    auto lists = acls.all("acl");
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0]->decoded("name"), "Friends");
    ASSERT_EQ(lists[0]->all("user").size(), 2u);
    EXPECT_EQ(lists[0]->all("user")[0]->decoded("accountid"), "bob");
    EXPECT_EQ(lists[1]->decoded("name"), "Kin");

    EXPECT_EQ(http.del(members + "/" + Id(carol.id), u.token).status, 204);
    EXPECT_EQ(http.del(members + "/" + Id(carol.id), u.token).status, 404);

    // Deleting a list unshares the folders shared with it.
    std::int64_t f = fx.folder(u, 1, "Shared");
    fx.share(u, f, friends);
    EXPECT_TRUE(ParseXml(http.get("/account", bob.token).body).find("folder", Id(f)));
    EXPECT_EQ(http.del("/acls/" + Id(friends), u.token).status, 204);
    Element model = ParseXml(http.get("/account", u.token).body);
    EXPECT_EQ(model.find("folder", Id(f))->attr("acl"), "0");
    EXPECT_FALSE(ParseXml(http.get("/account", bob.token).body).find("folder", Id(f)));
}

TEST_P(ServerApi, AccountModelHoldsProfileTreeSharingAndLists) {
    TestUser owner = fx.addUser("owner", Tier::Gold, true);
    TestUser viewer = fx.addUser("viewer", Tier::Plus);
    std::int64_t top = fx.folder(owner, 1, "Top");
    std::int64_t inner = fx.folder(owner, top, "Inner");
    std::int64_t deeper = fx.folder(owner, inner, "Deeper");
    std::int64_t hidden = fx.folder(owner, 1, "Private");
    std::int64_t song = fx.upload(owner, deeper, "deep song.mp3", "xyz");
    fx.upload(owner, hidden, "secret.mp3", "s");
    std::int64_t list = fx.acl(owner, "L");
    fx.addMember(owner, list, viewer);
    fx.share(owner, top, list);
    fx.share(owner, inner, list); // nested share: shown inside Top already

    Element own = ParseXml(http.get("/account", owner.token).body);
    ASSERT_EQ(own.name, "account");
    const Element* profile = own.child("user");
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->attr("isplus"), "1");
    EXPECT_EQ(profile->attr("gold"), "1");
    EXPECT_EQ(profile->attr("platinum"), "0");
    EXPECT_EQ(profile->attr("public"), "1");
    EXPECT_EQ(profile->decoded("email"), "owner@example.org");
    const Element* root = own.child("library")->child("folder");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->attr("id"), "1");
    EXPECT_EQ(root->all("folder").size(), 2u);
    EXPECT_EQ(own.find("folder", Id(top))->attr("acl"), Id(list));
    EXPECT_EQ(own.find("file", Id(song))->attr("size"), "3");

    Element seen = ParseXml(http.get("/account", viewer.token).body);
    auto sharers = seen.child("sharing")->all("user");
    ASSERT_EQ(sharers.size(), 1u);
    EXPECT_EQ(sharers[0]->attr("id"), Id(owner.id));
    EXPECT_EQ(sharers[0]->attr("listed"), "1");
    auto tops = sharers[0]->all("folder");
    ASSERT_EQ(tops.size(), 2u);
    EXPECT_EQ(tops[0]->attr("id"), Id(top));
    EXPECT_EQ(tops[0]->attr("visible"), "1");
    EXPECT_EQ(tops[1]->attr("id"), Id(inner));
    EXPECT_EQ(tops[1]->attr("visible"), "0");
    const Element* file = tops[0]->find("file", Id(song));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->decoded("name"), "deep song.mp3");
    EXPECT_FALSE(sharers[0]->find("folder", Id(hidden)));
    EXPECT_TRUE(seen.child("library")->child("folder")->children.empty());
    // The viewer's own lists are not the owner's.
    EXPECT_TRUE(seen.child("acls")->children.empty());
}

TEST_P(ServerApi, AnExpiredSharerIsNotListed) {
    TestUser viewer = fx.addUser("viewer");
    NewUser n;
    n.accountId = "lapsed";
    n.expired = true;
    std::int64_t lapsed = fx.service().addUser(n, "pw-lapsed");
    TestUser owner{lapsed, "lapsed", "pw-lapsed", fx.client().signIn("lapsed", "pw-lapsed")};
    std::int64_t f = fx.folder(owner, 1, "Old");
    std::int64_t list = fx.acl(owner, "L");
    fx.addMember(owner, list, viewer);
    fx.share(owner, f, list);
    Element model = ParseXml(http.get("/account", viewer.token).body);
    const Element* sharer = model.child("sharing")->child("user");
    ASSERT_TRUE(sharer);
    EXPECT_EQ(sharer->attr("expired"), "1");
    EXPECT_EQ(sharer->attr("listed"), "0");
    EXPECT_EQ(sharer->child("folder")->attr("visible"), "0");
}

// A hostile client can nest folders as deep as it likes, one request at a
// time; the model and the delete must cope without recursion limits.
TEST_P(ServerApi, VeryDeepFoldersAreServedAndDeleted) {
    TestUser u = fx.addUser("deep");
    const int depth = 20000;
    {
        auto c = fx.store().pool().acquire();
        Transaction tx(*c, true);
        for (int i = 0; i < depth; ++i) {
            auto q = c->query("INSERT INTO folders(owner, id, parent, name, acl) "
                              "VALUES(?1, ?2, ?3, 'level', 0)");
            q->bind(1, u.id).bind(2, i + 2).bind(3, i + 1);
            q->run();
        }
        auto q = c->query("UPDATE users SET next_folder = ?2 WHERE id = ?1");
        q->bind(1, u.id).bind(2, depth + 2);
        q->run();
        tx.commit();
    }
    std::int64_t bottom = depth + 1;
    fx.upload(u, bottom, "bottom.mp3", "b");
    Reply model = http.get("/account", u.token);
    ASSERT_EQ(model.status, 200);
    EXPECT_NE(model.body.find("bottom%2emp3"), std::string::npos);
    std::size_t opened = 0;
    for (std::size_t at = 0; (at = model.body.find("<folder ", at)) != std::string::npos; ++at)
        ++opened;
    std::size_t closed = 0;
    for (std::size_t at = 0; (at = model.body.find("</folder>", at)) != std::string::npos; ++at)
        ++closed;
    EXPECT_EQ(opened, static_cast<std::size_t>(depth + 1));
    EXPECT_EQ(closed, opened);

    EXPECT_EQ(http.del("/folders/2", u.token).status, 204);
    EXPECT_EQ(fx.blobFiles(), 0u);
    Element after = ParseXml(http.get("/account", u.token).body);
    EXPECT_TRUE(after.child("library")->child("folder")->children.empty());
}

TEST_P(ServerApi, UsersDirectoryAndLookup) {
    TestUser a = fx.addUser("anna", Tier::Free, true, "Anna@Example.org");
    fx.addUser("hidden", Tier::Plus, false);
    fx.addUser("ben", Tier::Platinum, true);

    Element byId = ParseXml(http.get("/users?accountid=anna", a.token).body);
    EXPECT_EQ(byId.name, "user");
    EXPECT_EQ(byId.attr("id"), Id(a.id));
    EXPECT_EQ(byId.decoded("first_name"), "First anna");
    EXPECT_EQ(byId.attr("isplus"), "0");
    EXPECT_EQ(byId.attr("expired"), "0");
    Element byMail = ParseXml(http.get("/users?email=anna%40EXAMPLE.org", a.token).body);
    EXPECT_EQ(byMail.attr("id"), Id(a.id));
    Reply none = http.get("/users?accountid=nobody", a.token);
    EXPECT_EQ(none.status, 200);
    EXPECT_EQ(none.body, "");
    EXPECT_EQ(http.get("/users", a.token).status, 400);

    Element dir = ParseXml(http.get("/directory", a.token).body);
    auto users = dir.all("user");
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0]->decoded("accountid"), "anna");
    EXPECT_EQ(users[1]->decoded("accountid"), "ben");
    EXPECT_EQ(users[1]->attr("platinum"), "1");
}

TEST_P(ServerApi, MessagesAreDeliveredOnceOldestFirst) {
    TestUser a = fx.addUser("anna");
    TestUser b = fx.addUser("ben");
    TestUser c = fx.addUser("carl");
    EXPECT_EQ(http.post("/messages", {{"user", Id(b.id)}, {"acl", "-1"}, {"text", "first & <1>"}},
                        a.token)
                  .body,
              "<sent count=\"1\"/>\n");
    http.post("/messages", {{"user", Id(b.id)}, {"acl", "-1"}, {"text", "second"}}, c.token);

    Element got = ParseXml(http.get("/messages", b.token).body);
    auto messages = got.all("message");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0]->attr("fromUserId"), Id(a.id));
    EXPECT_EQ(messages[0]->attr("text"), wire::PercentEncode("first & <1>"));
    EXPECT_EQ(messages[0]->decoded("text"), "first & <1>");
    EXPECT_EQ(messages[1]->attr("fromUserId"), Id(c.id));
    EXPECT_TRUE(ParseXml(http.get("/messages", b.token).body).all("message").empty());

    // To a list: one each; only the sender's own lists.
    std::int64_t list = fx.acl(a, "Team");
    fx.addMember(a, list, b);
    fx.addMember(a, list, c);
    EXPECT_EQ(
        http.post("/messages", {{"user", "-1"}, {"acl", Id(list)}, {"text", "all"}}, a.token).body,
        "<sent count=\"2\"/>\n");
    EXPECT_EQ(
        http.post("/messages", {{"user", "-1"}, {"acl", Id(list)}, {"text", "x"}}, b.token).status,
        404);
    EXPECT_EQ(ParseXml(http.get("/messages", c.token).body).all("message").size(), 1u);

    EXPECT_EQ(
        http.post("/messages", {{"user", Id(b.id)}, {"acl", Id(list)}, {"text", "x"}}, a.token)
            .status,
        400);
    EXPECT_EQ(
        http.post("/messages", {{"user", Id(b.id)}, {"acl", "-1"}, {"text", ""}}, a.token).body,
        "Empty message\n");
    EXPECT_EQ(
        http.post("/messages", {{"user", "4242"}, {"acl", "-1"}, {"text", "x"}}, a.token).status,
        404);
    EXPECT_EQ(http.post("/messages",
                        {{"user", Id(b.id)}, {"acl", "-1"}, {"text", std::string(4097, 'm')}},
                        a.token)
                  .status,
              413);
}

TEST_P(ServerApi, AppMessagesAreOpenAndEscaped) {
    fx.store().addAppMessage("Fish & <chips>", "http://127.0.0.1/x?a=1&b=2");
    fx.store().addAppMessage("Second", "");
    Element doc = ParseXml(http.get("/appmessages").body);
    auto items = doc.all("appmessage");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->attr("MsgId"), "1");
    EXPECT_EQ(items[0]->child("msg")->text, "Fish & <chips>");
    EXPECT_EQ(items[0]->child("url")->text, "http://127.0.0.1/x?a=1&b=2");
    EXPECT_EQ(items[1]->child("url")->text, "");
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_P(ServerApi, MailGoesToTheOutboxOnly) {
    TestUser a = fx.addUser("anna");
    TestUser b = fx.addUser("ben");
    Reply r = http.post(
        "/mail",
        {{"recipient", "friend@example.org"}, {"body", "line1\nline2"}, {"sender", "anna"}},
        a.token);
    ASSERT_EQ(r.status, 200) << r.body;
    std::string id = ParseXml(r.body).attr("id");
    std::string eml = ReadFile(fx.dataDir() / "outbox" / (id + ".eml"));
    EXPECT_NE(eml.find("To: friend@example.org\r\n"), std::string::npos) << eml;
    EXPECT_NE(eml.find("Reply-To: anna@example.org\r\n"), std::string::npos);
    EXPECT_NE(eml.find("\r\n\r\nline1\r\nline2\r\n"), std::string::npos);
    EXPECT_NE(eml.find("Date: "), std::string::npos);

    EXPECT_EQ(http.post("/mail", {{"recipient", "x@example.org"}, {"body", "b"}, {"sender", "ben"}},
                        a.token)
                  .status,
              403);
    EXPECT_EQ(http.post("/mail", {{"recipient", "x@example.org\r\nBcc: y@evil.org"}, {"body", "b"}},
                        a.token)
                  .body,
              "Invalid e-mail address\n");

    // A link mail for a readable file carries the link that opens it.
    std::int64_t f = fx.folder(a, 1, "F");
    std::int64_t file = fx.upload(a, f, "My Song.mp3", "data");
    Reply link = http.post("/mail/link",
                           {{"owner", Id(a.id)},
                            {"folder", Id(f)},
                            {"file", Id(file)},
                            {"sender", Id(a.id)},
                            {"address", "x@example.org"},
                            {"text1", ""},
                            {"text2", "Listen!"}},
                           a.token);
    ASSERT_EQ(link.status, 200) << link.body;
    std::string mail =
        ReadFile(fx.dataDir() / "outbox" / (ParseXml(link.body).attr("id") + ".eml"));
    std::string key = Id(a.id) + "~" + Id(f) + "~" + Id(file);
    EXPECT_NE(mail.find("/f?k=" + wire::link::Encode(key) + "&name=My+Song.mp3"), std::string::npos)
        << mail;
    EXPECT_NE(mail.find("Listen!"), std::string::npos);
    // Someone else's item, or a forged sender, is refused.
    EXPECT_EQ(http.post("/mail/link",
                        {{"owner", Id(a.id)},
                         {"folder", Id(f)},
                         {"file", Id(file)},
                         {"sender", Id(b.id)},
                         {"address", "x@example.org"}},
                        b.token)
                  .status,
              404);
    EXPECT_EQ(http.post("/mail/link",
                        {{"owner", Id(a.id)},
                         {"folder", Id(f)},
                         {"file", "0"},
                         {"sender", Id(b.id)},
                         {"address", "x@example.org"}},
                        a.token)
                  .status,
              403);
}

TEST_P(ServerApi, LinkPagesNameTheItemAndNeedASessionForContent) {
    TestUser a = fx.addUser("anna");
    std::int64_t f = fx.folder(a, 1, "<Folder>");
    std::int64_t file = fx.upload(a, f, "a&b.mp3", "data");
    std::string key = wire::link::Encode(Id(a.id) + "~" + Id(f) + "~" + Id(file));

    Reply anonymous = http.get("/f?k=" + key + "&name=%3Cscript%3Ex.mp3");
    EXPECT_EQ(anonymous.status, 200);
    EXPECT_EQ(anonymous.body.find("<script>"), std::string::npos);
    EXPECT_NE(anonymous.body.find("&lt;script&gt;x.mp3"), std::string::npos);
    EXPECT_NE(anonymous.body.find("action=\"/web/signin\""), std::string::npos);
    EXPECT_EQ(anonymous.body.find("/files/"), std::string::npos);

    Reply signedIn = http.get("/f?k=" + key + "&name=x", a.token);
    EXPECT_NE(signedIn.body.find("a&amp;b.mp3"), std::string::npos);
    EXPECT_NE(signedIn.body.find("/files/" + Id(a.id) + "/" + Id(f) + "/" + Id(file)),
              std::string::npos);
    Reply play = http.get("/6/8?p=" + key, a.token);
    EXPECT_NE(play.body.find("<audio"), std::string::npos);
    Reply folder = http.get("/d?k=" + wire::link::Encode(Id(a.id) + "~" + Id(f)), a.token);
    EXPECT_NE(folder.body.find("&lt;Folder&gt;"), std::string::npos);
    EXPECT_NE(folder.body.find("a&amp;b.mp3"), std::string::npos);
    EXPECT_EQ(http.get("/f?k=zzz", a.token).status, 404);
    EXPECT_EQ(http.get("/d?k=" + key, a.token).status, 404); // a file key is not a folder key

    // The web sign-in sets a cookie that opens the download.
    httplib::Client c("127.0.0.1", fx.port());
    auto form = c.Post(
        "/web/signin",
        httplib::Params{{"accountid", "anna"}, {"password", a.password}, {"next", "/f?k=" + key}});
    ASSERT_TRUE(form);
    EXPECT_EQ(form->status, 303);
    EXPECT_EQ(form->get_header_value("Location"), "/f?k=" + key);
    std::string cookie = form->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    std::string token = cookie.substr(0, cookie.find(';'));
    Reply download =
        http.get("/files/" + Id(a.id) + "/" + Id(f) + "/" + Id(file), "", {{"Cookie", token}});
    EXPECT_EQ(download.status, 200);
    EXPECT_EQ(download.body, "data");
    // The cookie does not work on requests that change things.
    httplib::Client d("127.0.0.1", fx.port());
    auto change =
        d.Post("/folders", {{"Cookie", token}}, httplib::Params{{"parent", "1"}, {"name", "n"}});
    EXPECT_EQ(change->status, 401);
    // Off-site redirects are not followed.
    auto offsite = c.Post("/web/signin", httplib::Params{{"accountid", "anna"},
                                                         {"password", a.password},
                                                         {"next", "//evil.example/"}});
    EXPECT_EQ(offsite->get_header_value("Location"), "/health");

    Reply player = http.get("/player?m=" + Id(a.id) + "~1~velmoraplayer~" +
                            wire::PercentEncode("javascript:alert(1)"));
    EXPECT_EQ(player.status, 200);
    EXPECT_EQ(player.body.find("href=\"javascript"), std::string::npos);
    // The player encodes the link once; escapes inside the link survive.
    fx.store().addAppMessage("Listen <now>", "");
    Reply withEscapes = http.get("/player?m=" + Id(a.id) + "~1~velmoraplayer~" +
                                 wire::PercentEncode("http://127.0.0.1/f?k=abc&name=My%20Song"));
    EXPECT_NE(withEscapes.body.find("href=\"http://127.0.0.1/f?k=abc&amp;name=My%20Song\""),
              std::string::npos)
        << withEscapes.body;
    EXPECT_NE(withEscapes.body.find("Listen &lt;now&gt;"), std::string::npos);
}

// SQL and markup characters in every text field are data, never code.
TEST_P(ServerApi, HostileTextIsStoredVerbatim) {
    const std::string evil = "x'); DROP TABLE files; --\" <b>&amp; %00 ' OR '1'='1";
    TestUser a = fx.addUser(evil);
    TestUser b = fx.addUser("ben");
    std::int64_t f = fx.folder(a, 1, evil);
    std::int64_t file = fx.upload(a, f, evil + ".mp3", "bytes");
    std::int64_t list = fx.acl(a, evil);
    fx.addMember(a, list, b);
    fx.share(a, f, list);
    http.post("/messages", {{"user", Id(b.id)}, {"acl", "-1"}, {"text", evil}}, a.token);
    EXPECT_EQ(http.post("/mail", {{"recipient", "x@example.org"}, {"body", evil}}, a.token).status,
              200);

    Element model = ParseXml(http.get("/account", a.token).body);
    EXPECT_EQ(model.child("user")->decoded("accountid"), evil);
    EXPECT_EQ(model.find("folder", Id(f))->decoded("name"), evil);
    EXPECT_EQ(model.find("file", Id(file))->decoded("name"), evil + ".mp3");
    EXPECT_EQ(model.child("acls")->child("acl")->decoded("name"), evil);
    Element msgs = ParseXml(http.get("/messages", b.token).body);
    EXPECT_EQ(msgs.child("message")->decoded("text"), evil);
    EXPECT_EQ(ParseXml(http.get("/users?accountid=" + wire::PercentEncode(evil), b.token).body)
                  .attr("id"),
              Id(a.id));
    Element bobView = ParseXml(http.get("/account", b.token).body);
    EXPECT_TRUE(bobView.find("file", Id(file)));
    EXPECT_EQ(http.get("/files/" + Id(a.id) + "/" + Id(f) + "/" + Id(file), b.token).body, "bytes");
}

TEST_P(ServerApi, MalformedRequestsAreRefused) {
    TestUser a = fx.addUser("anna");
    EXPECT_EQ(http.get("/account", std::string(64, 'f')).status, 401);
    EXPECT_EQ(http.get("/account", "short").status, 401);
    EXPECT_EQ(http.get("/account", a.token + "0").status, 401);
    EXPECT_EQ(http.get("/nowhere", a.token).status, 404);
    EXPECT_EQ(http.post("/folders/abc/rename", {{"name", "x"}}, a.token).status, 404);
    EXPECT_EQ(http.post("/folders/99999999999/rename", {{"name", "x"}}, a.token).status, 404);
    EXPECT_EQ(http.postBody("/folders", "parent=1&name=" + std::string(70 * 1024, 'x'),
                            "application/x-www-form-urlencoded", a.token)
                  .status,
              413);
    EXPECT_EQ(
        http.postBody("/folders", "%%%&&&===", "application/x-www-form-urlencoded", a.token).status,
        400);
    // A GET with a big body is refused before the body is read.
    httplib::Client c("127.0.0.1", fx.port());
    auto big = c.Get("/health", httplib::Headers{{"Content-Length", "100000000"}});
    ASSERT_TRUE(big);
    EXPECT_EQ(big->status, 413);
    EXPECT_EQ(http.get("/health").status, 200);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerApi, kBothBackends, BackendName);

} // namespace
} // namespace velmora::server::test
