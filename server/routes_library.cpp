// The signed-in user's own library, and the account model he starts from.

#include "router.h"
#include "routes.h"
#include "service.h"
#include "xml_writer.h"

namespace velmora::server {

void AddLibraryRoutes(Router& router, Service& service) {
    Store& store = service.store();

    router.get("/account", Access::Session,
               [&store](Call& c) { c.res.send(200, store.accountModel(c.user), http::kXml); });
    router.get("/acls", Access::Session,
               [&store](Call& c) { c.res.send(200, store.aclsDocument(c.user), http::kXml); });

    router.post("/folders", Access::Session, [&store](Call& c) {
        auto row = store.createFolder(c.user, c.idParam("parent"), c.param("name"));
        c.res.send(201, ElementReply(WriteFolder, row), http::kXml);
    });
    router.post(R"(/folders/(-?\d+)/rename)", Access::Session, [&store](Call& c) {
        auto row = store.renameFolder(c.user, c.pathId(1), c.param("name"));
        c.res.send(200, ElementReply(WriteFolder, row), http::kXml);
    });
    router.del(R"(/folders/(-?\d+))", Access::Session, [&store](Call& c) {
        store.deleteFolder(c.user, c.pathId(1));
        c.res.status = 204;
    });
    router.post(R"(/folders/(-?\d+)/acl)", Access::Session, [&store](Call& c) {
        auto row = store.setFolderAcl(c.user, c.pathId(1), c.idParam("acl"));
        c.res.send(200, ElementReply(WriteFolder, row), http::kXml);
    });
    router.post(R"(/folders/(-?\d+)/files/(-?\d+)/rename)", Access::Session, [&store](Call& c) {
        auto row = store.renameFile(c.user, c.pathId(1), c.pathId(2), c.param("name"));
        c.res.send(200, ElementReply(WriteFile, row), http::kXml);
    });
    router.del(R"(/folders/(-?\d+)/files/(-?\d+))", Access::Session, [&store](Call& c) {
        store.deleteFile(c.user, c.pathId(1), c.pathId(2));
        c.res.status = 204;
    });
}

} // namespace velmora::server
