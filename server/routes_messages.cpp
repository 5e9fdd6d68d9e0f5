// Messages between users, the application messages, and mail to the outbox.

#include "errors.h"
#include "router.h"
#include "routes.h"
#include "service.h"
#include "text.h"
#include "wire/link.h"
#include "wire/xml_names.h"
#include "xml_writer.h"

namespace velmora::server {

namespace {

namespace xml = wire::xml;

constexpr std::size_t kMessageLimit = 4096;
constexpr std::size_t kMailLimit = 32 * 1024;

std::string MailReply(std::int64_t id) {
    XmlWriter w;
    w.start(xml::element::kMail).number(xml::attribute::kId, id).end().newline();
    return w.take();
}

UserRow SignedInUser(Store& store, const Call& c) {
    auto me = store.userById(c.user);
    if (!me)
        throw ServiceError(401, "Not signed in");
    return *me;
}

void SendMail(Store& store, Call& c) {
    UserRow me = SignedInUser(store, c);
    std::string sender = c.optionalParam("sender");
    if (!sender.empty() && sender != me.accountId)
        throw ServiceError(403, "The sender must be the signed-in user");
    std::string recipient = c.param("recipient");
    if (!IsMailAddress(recipient))
        throw ServiceError(400, "Invalid e-mail address");
    std::string body = c.param("body");
    if (body.size() > kMailLimit)
        throw ServiceError(413, "Mail body too long");
    MailRow mail{IsMailAddress(me.email) ? me.email : std::string(), recipient,
                 "Message from " + me.accountId + " on Velmora", body};
    c.res.send(200, MailReply(store.queueMail(mail, UnixNow())), http::kXml);
}

// A mail holding the link to a file or folder the sender may read.
void SendLink(Service& service, Call& c) {
    Store& store = service.store();
    UserRow me = SignedInUser(store, c);
    if (c.idParam("sender") != c.user)
        throw ServiceError(403, "The sender must be the signed-in user");
    std::int64_t owner = c.idParam("owner");
    std::int64_t folder = c.idParam("folder");
    std::int64_t file = c.idParam("file");
    std::string address = c.param("address");
    if (!IsMailAddress(address))
        throw ServiceError(400, "Invalid e-mail address");
    std::string text1 = c.optionalParam("text1");
    std::string text2 = c.optionalParam("text2");
    if (text1.size() + text2.size() > kMailLimit)
        throw ServiceError(413, "Mail text too long");
    std::string name;
    std::string link;
    std::string key = std::to_string(owner) + "~" + std::to_string(folder);
    if (file == 0) {
        auto row = store.readableFolder(c.user, owner, folder);
        if (!row)
            throw ServiceError(404, "Folder not found");
        name = row->name;
        link = service.publicUrl() + wire::link::kFolderPath + wire::link::Encode(key);
    } else {
        auto row = store.readableFile(c.user, owner, folder, file);
        if (!row)
            throw ServiceError(404, "File not found");
        name = row->name;
        link = service.publicUrl() + wire::link::kFilePath +
               wire::link::Encode(key + "~" + std::to_string(file));
    }
    link += wire::link::kNameParameter + wire::link::NameValue(name);
    std::string body;
    if (!text2.empty())
        body += text2 + "\n\n";
    body += me.accountId + " sent you a link to \"" + name + "\" on Velmora:\n" + link + "\n";
    MailRow mail{IsMailAddress(me.email) ? me.email : std::string(), address,
                 text1.empty() ? "A Velmora link from " + me.accountId : text1, body};
    c.res.send(200, MailReply(store.queueMail(mail, UnixNow())), http::kXml);
}

} // namespace

void AddMessageRoutes(Router& router, Service& service) {
    Store& store = service.store();

    router.post("/messages", Access::Session, [&store](Call& c) {
        std::int64_t user = c.idParam("user");
        std::int64_t acl = c.idParam("acl");
        std::string text = c.param("text");
        if ((user == -1) == (acl == -1))
            throw ServiceError(400, "Give either a user or an access list, the other -1");
        if (text.empty())
            throw ServiceError(400, "Empty message");
        if (text.size() > kMessageLimit)
            throw ServiceError(413, "Message longer than 4096 bytes");
        int count = store.sendMessage(c.user, user, acl, text, UnixNow());
        XmlWriter w;
        w.start(xml::element::kSent).number(xml::attribute::kCount, count).end().newline();
        c.res.send(200, w.take(), http::kXml);
    });
    router.get("/messages", Access::Session, [&store](Call& c) {
        XmlWriter w;
        w.declaration().start(xml::element::kMessages);
        for (const auto& m : store.takeMessages(c.user)) {
            w.newline()
                .start(xml::element::kMessage)
                .number(xml::attribute::kId, m.id)
                .number(xml::attribute::kFromUserId, m.from)
                .text(xml::attribute::kText, m.text)
                .number(xml::attribute::kTime, m.time)
                .end();
        }
        w.newline().end().newline();
        c.res.send(200, w.take(), http::kXml);
    });
    router.get("/appmessages", Access::Open, [&store](Call& c) {
        XmlWriter w;
        w.declaration().start(xml::element::kAppMessages);
        for (const auto& m : store.appMessages()) {
            w.newline()
                .start(xml::element::kAppMessage)
                .number(xml::attribute::kMsgId, m.id)
                .content(xml::element::kAppMessageText, m.msg)
                .content(xml::element::kAppMessageUrl, m.url)
                .end();
        }
        w.newline().end().newline();
        c.res.send(200, w.take(), http::kXml);
    });

    router.post("/mail", Access::Session, [&store](Call& c) { SendMail(store, c); });
    router.post("/mail/link", Access::Session, [&service](Call& c) { SendLink(service, c); });
}

} // namespace velmora::server
