// Access lists and their members, finding users, the public directory.

#include "errors.h"
#include "router.h"
#include "routes.h"
#include "service.h"
#include "wire/xml_names.h"
#include "xml_writer.h"

namespace velmora::server {

void AddSharingRoutes(Router& router, Service& service) {
    Store& store = service.store();

    router.post("/acls", Access::Session, [&store](Call& c) {
        c.res.send(201, ElementReply(WriteAcl, store.createAcl(c.user, c.param("name"))),
                   http::kXml);
    });
    router.post(R"(/acls/(-?\d+)/rename)", Access::Session, [&store](Call& c) {
        auto row = store.renameAcl(c.user, c.pathId(1), c.param("name"));
        c.res.send(200, ElementReply(WriteAcl, row), http::kXml);
    });
    router.del(R"(/acls/(-?\d+))", Access::Session, [&store](Call& c) {
        store.deleteAcl(c.user, c.pathId(1));
        c.res.status = 204;
    });
    router.post(R"(/acls/(-?\d+)/members)", Access::Session, [&store](Call& c) {
        store.addMember(c.user, c.pathId(1), c.idParam("user"));
        c.res.status = 204;
    });
    router.del(R"(/acls/(-?\d+)/members/(-?\d+))", Access::Session, [&store](Call& c) {
        store.removeMember(c.user, c.pathId(1), c.pathId(2));
        c.res.status = 204;
    });

    router.get("/users", Access::Session, [&store](Call& c) {
        std::optional<UserRow> user;
        if (c.has("accountid"))
            user = store.userByAccountId(c.param("accountid"));
        else if (c.has("email"))
            user = store.userByEmail(c.param("email"));
        else
            throw ServiceError(400, "Missing parameter: accountid or email");
        // No such user is an empty reply, not a refusal.
        c.res.send(200, user ? ElementReply(WriteUser, *user) : std::string(), http::kXml);
    });
    router.get("/directory", Access::Session, [&store](Call& c) {
        XmlWriter w;
        w.declaration().start(wire::xml::element::kDirectory);
        for (const auto& user : store.directory())
            WriteUser(w.newline(), user);
        w.newline().end().newline();
        c.res.send(200, w.take(), http::kXml);
    });
}

} // namespace velmora::server
