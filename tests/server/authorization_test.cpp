// Who may read and change what: the owner, a member of the list a folder is
// shared with, another user, and no session at all.

#include "harness.h"
#include "wire/link.h"

#include <gtest/gtest.h>

namespace velmora::server::test {
namespace {

std::string Id(std::int64_t n) {
    return std::to_string(n);
}

enum class Who { Owner, Member, Other, Nobody };

const char* Name(Who who) {
    switch (who) {
    case Who::Owner:
        return "owner";
    case Who::Member:
        return "member";
    case Who::Other:
        return "other";
    case Who::Nobody:
        return "nobody";
    }
    return "";
}

class ServerAuthorization : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        owner = fx.addUser("owner");
        member = fx.addUser("member");
        other = fx.addUser("other");
        shared = fx.folder(owner, 1, "Shared");
        sub = fx.folder(owner, shared, "Sub");
        priv = fx.folder(owner, 1, "Private");
        sharedFile = fx.upload(owner, sub, "nested.mp3", "shared-bytes");
        privFile = fx.upload(owner, priv, "secret.mp3", "secret-bytes");
        list = fx.acl(owner, "Friends");
        fx.addMember(owner, list, member);
        fx.share(owner, shared, list);
    }

    std::string token(Who who) const {
        switch (who) {
        case Who::Owner:
            return owner.token;
        case Who::Member:
            return member.token;
        case Who::Other:
            return other.token;
        case Who::Nobody:
            return "";
        }
        return "";
    }

    std::string fileUrl(std::int64_t folder, std::int64_t file) const {
        return "/files/" + Id(owner.id) + "/" + Id(folder) + "/" + Id(file);
    }

    ServiceFixture fx{{}, GetParam()};
    Client& http = fx.client();
    TestUser owner, member, other;
    std::int64_t shared = 0, sub = 0, priv = 0, sharedFile = 0, privFile = 0, list = 0;
};

TEST_P(ServerAuthorization, ReadingFiles) {
    struct Case {
        Who who;
        int sharedStatus;
        int privateStatus;
    };
    for (Case c : {Case{Who::Owner, 200, 200}, Case{Who::Member, 200, 404},
                   Case{Who::Other, 404, 404}, Case{Who::Nobody, 401, 401}}) {
        SCOPED_TRACE(Name(c.who));
        Reply s = http.get(fileUrl(sub, sharedFile), token(c.who));
        EXPECT_EQ(s.status, c.sharedStatus);
        if (s.status == 200)
            EXPECT_EQ(s.body, "shared-bytes");
        else
            EXPECT_EQ(s.body.find("shared-bytes"), std::string::npos);
        Reply p = http.get(fileUrl(priv, privFile), token(c.who));
        EXPECT_EQ(p.status, c.privateStatus);
        if (p.status == 200)
            EXPECT_EQ(p.body, "secret-bytes");
        else
            EXPECT_EQ(p.body.find("secret"), std::string::npos);
        // A file named with the wrong folder is not found, even for the owner.
        EXPECT_NE(http.get(fileUrl(priv, sharedFile), token(c.who)).status, 200);
    }
}

TEST_P(ServerAuthorization, ModelShowsOnlyWhatIsShared) {
    for (Who who : {Who::Owner, Who::Member, Who::Other}) {
        SCOPED_TRACE(Name(who));
        std::string body = http.get("/account", token(who)).body;
        bool seesShared = body.find("nested%2emp3") != std::string::npos;
        bool seesPrivate = body.find("secret%2emp3") != std::string::npos;
        EXPECT_EQ(seesShared, who != Who::Other);
        EXPECT_EQ(seesPrivate, who == Who::Owner);
    }
    EXPECT_EQ(http.get("/account").status, 401);
}

TEST_P(ServerAuthorization, OnlyTheOwnerChangesHisLibraryAndLists) {
    // Everything below names the owner's objects by id; for anyone else they
    // do not exist (404), and without a session nothing is looked at (401).
    for (Who who : {Who::Member, Who::Other, Who::Nobody}) {
        SCOPED_TRACE(Name(who));
        int expected = who == Who::Nobody ? 401 : 404;
        std::string t = token(who);
        EXPECT_EQ(http.post("/folders", {{"parent", Id(shared)}, {"name", "x"}}, t).status,
                  who == Who::Nobody ? 401 : 404);
        EXPECT_EQ(http.post("/folders/" + Id(shared) + "/rename", {{"name", "x"}}, t).status,
                  expected);
        EXPECT_EQ(http.del("/folders/" + Id(priv), t).status, expected);
        EXPECT_EQ(http.post("/folders/" + Id(shared) + "/acl", {{"acl", "0"}}, t).status, expected);
        EXPECT_EQ(http.post("/folders/" + Id(sub) + "/files/" + Id(sharedFile) + "/rename",
                            {{"name", "x.mp3"}}, t)
                      .status,
                  expected);
        EXPECT_EQ(http.del("/folders/" + Id(sub) + "/files/" + Id(sharedFile), t).status, expected);
        EXPECT_EQ(http.post("/acls/" + Id(list) + "/rename", {{"name", "x"}}, t).status, expected);
        EXPECT_EQ(http.post("/acls/" + Id(list) + "/members", {{"user", Id(other.id)}}, t).status,
                  expected);
        EXPECT_EQ(http.del("/acls/" + Id(list) + "/members/" + Id(member.id), t).status, expected);
        EXPECT_EQ(http.del("/acls/" + Id(list), t).status, expected);
        EXPECT_EQ(
            http.post("/messages", {{"user", "-1"}, {"acl", Id(list)}, {"text", "x"}}, t).status,
            expected);
    }
    // Uploading into someone else's folder id lands nowhere.
    httplib::Client c("127.0.0.1", fx.port());
    auto up = c.Post("/upload?folder=" + Id(shared) + "&name=intruder.mp3",
                     {{"X-Velmora-Session", member.token}}, "zz", "application/octet-stream");
    ASSERT_TRUE(up);
    EXPECT_EQ(up->status, 404);
    // A user sharing a folder with another user's list id is refused.
    std::int64_t memberFolder = fx.folder(member, 1, "Mine");
    EXPECT_EQ(http.post("/folders/" + Id(memberFolder) + "/acl", {{"acl", Id(list)}}, member.token)
                  .status,
              404);
    // Nothing changed for the owner.
    Element model = ParseXml(http.get("/account", owner.token).body);
    EXPECT_EQ(model.find("folder", Id(shared))->decoded("name"), "Shared");
    EXPECT_EQ(model.find("folder", Id(shared))->attr("acl"), Id(list));
    EXPECT_TRUE(model.find("file", Id(sharedFile)));
    EXPECT_TRUE(model.find("folder", Id(priv)));
    EXPECT_FALSE(model.find("file", "3"));
    auto members = model.child("acls")->child("acl")->all("user");
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0]->attr("id"), Id(member.id));
}

TEST_P(ServerAuthorization, LinkPagesAndLinkMailsFollowReadRights) {
    std::string key = wire::link::Encode(Id(owner.id) + "~" + Id(priv) + "~" + Id(privFile));
    std::string sharedKey = wire::link::Encode(Id(owner.id) + "~" + Id(sub) + "~" + Id(sharedFile));
    for (Who who : {Who::Owner, Who::Member, Who::Other}) {
        SCOPED_TRACE(Name(who));
        Reply p = http.get("/f?k=" + key + "&name=guess", token(who));
        EXPECT_EQ(p.status, who == Who::Owner ? 200 : 404);
        if (who != Who::Owner) {
            EXPECT_EQ(p.body.find("secret"), std::string::npos);
        }
        Reply s = http.get("/6/8?p=" + sharedKey, token(who));
        EXPECT_EQ(s.status, who == Who::Other ? 404 : 200);
        Reply d = http.get("/d?k=" + wire::link::Encode(Id(owner.id) + "~" + Id(priv)), token(who));
        EXPECT_EQ(d.status, who == Who::Owner ? 200 : 404);

        std::int64_t me = who == Who::Owner ? owner.id : who == Who::Member ? member.id : other.id;
        Reply mail = http.post("/mail/link",
                               {{"owner", Id(owner.id)},
                                {"folder", Id(sub)},
                                {"file", Id(sharedFile)},
                                {"sender", Id(me)},
                                {"address", "x@example.org"}},
                               token(who));
        EXPECT_EQ(mail.status, who == Who::Other ? 404 : 200);
    }
}

TEST_P(ServerAuthorization, RemovingAMemberEndsHisAccess) {
    EXPECT_EQ(http.get(fileUrl(sub, sharedFile), member.token).status, 200);
    EXPECT_EQ(http.del("/acls/" + Id(list) + "/members/" + Id(member.id), owner.token).status, 204);
    EXPECT_EQ(http.get(fileUrl(sub, sharedFile), member.token).status, 404);
    EXPECT_EQ(ParseXml(http.get("/account", member.token).body).child("sharing")->children.size(),
              0u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerAuthorization, kBothBackends, BackendName);

} // namespace
} // namespace velmora::server::test
