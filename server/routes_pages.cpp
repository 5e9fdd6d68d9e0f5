// The pages behind the links the player hands out: a file, a folder, a
// file to play, and an application message.

#include "pages.h"
#include "router.h"
#include "routes.h"
#include "service.h"
#include "text.h"
#include "wire/link.h"
#include "wire/percent.h"

namespace velmora::server {

namespace {

std::vector<std::int64_t> KeyNumbers(const std::string& encoded, std::size_t count) {
    auto ids = wire::link::DecodeIds(encoded, count);
    if (!ids)
        return {};
    return {ids->begin(), ids->end()};
}

// The request target as the browser asked for it, for the sign-in form.
std::string RequestTarget(const http::Request& req) {
    std::string query;
    for (const auto& [key, value] : req.params) {
        query += query.empty() ? '?' : '&';
        query += wire::PercentEncode(key);
        query += '=';
        query += wire::PercentEncode(value);
    }
    return req.path + query;
}

void NotFound(Call& c, const char* text) {
    c.res.send(404, Page("Not found", std::string("<p>") + text + "</p>"), http::kHtml);
}

void FilePage(Store& store, Call& c, const std::vector<std::int64_t>& key, bool play) {
    std::string given = c.optionalParam("name");
    if (key.size() != 3)
        return NotFound(c, "This link is not valid.");
    if (c.user == 0) {
        c.res.send(200,
                   Page(given.empty() ? "Velmora link" : given,
                        "<p>Sign in to " + std::string(play ? "play" : "download") +
                            " this file.</p>\n" + SignInForm(RequestTarget(c.req))),
                   http::kHtml);
        return;
    }
    auto row = store.readableFile(c.user, key[0], key[1], key[2]);
    if (!row)
        return NotFound(c, "Not found.");
    std::string href = "/files/" + std::to_string(key[0]) + "/" + std::to_string(key[1]) + "/" +
                       std::to_string(key[2]);
    std::string body;
    if (play)
        body += "<audio controls autoplay src=\"" + href + "\"></audio>\n";
    body += "<p><a href=\"" + href + "\">Download " + HtmlEscape(row->name) + "</a> (" +
            std::to_string(row->size) + " bytes)</p>\n";
    c.res.send(200, Page(row->name, body), http::kHtml);
}

void FolderPage(Store& store, Call& c) {
    auto key = KeyNumbers(c.optionalParam("k"), 2);
    std::string given = c.optionalParam("name");
    if (key.size() != 2)
        return NotFound(c, "This link is not valid.");
    if (c.user == 0) {
        c.res.send(200,
                   Page(given.empty() ? "Velmora link" : given,
                        "<p>Sign in to see this folder.</p>\n" + SignInForm(RequestTarget(c.req))),
                   http::kHtml);
        return;
    }
    auto row = store.readableFolder(c.user, key[0], key[1]);
    if (!row)
        return NotFound(c, "Not found.");
    std::string body = "<ul>\n";
    for (const auto& sub : store.subfolders(key[0], key[1])) {
        std::string subKey = std::to_string(key[0]) + "~" + std::to_string(sub.id);
        body += "<li><a href=\"" + std::string(wire::link::kFolderPath) +
                wire::link::Encode(subKey) + "\">" + HtmlEscape(sub.name) + "/</a></li>\n";
    }
    for (const auto& file : store.filesIn(key[0], key[1])) {
        body += "<li><a href=\"/files/" + std::to_string(key[0]) + "/" + std::to_string(key[1]) +
                "/" + std::to_string(file.id) + "\">" + HtmlEscape(file.name) + "</a></li>\n";
    }
    body += "</ul>\n";
    c.res.send(200, Page(row->name, body), http::kHtml);
}

void PlayerPage(Store& store, Call& c) {
    // USERID~MSGID~velmoraplayer~LINK; the link itself may hold "~".
    std::string m = c.optionalParam("m");
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        std::size_t end = m.find('~', start);
        if (end == std::string::npos)
            break;
        parts.push_back(m.substr(start, end - start));
        start = end + 1;
    }
    if (parts.size() != 3)
        return NotFound(c, "This link is not valid.");
    // The query string was decoded once already, which undoes the player's
    // encoding of the link; decoding again would corrupt links that carry
    // escapes of their own.
    std::string link = m.substr(start);
    std::string text;
    if (auto id = ParseId(parts[1])) {
        for (const auto& message : store.appMessages())
            if (message.id == *id)
                text = message.msg;
    }
    std::string body = "<p>" + HtmlEscape(text) + "</p>\n";
    bool web = link.rfind("http://", 0) == 0 || link.rfind("https://", 0) == 0;
    if (web)
        body += "<p><a href=\"" + HtmlEscape(link) + "\">" + HtmlEscape(link) + "</a></p>\n";
    else if (!link.empty())
        body += "<p>" + HtmlEscape(link) + "</p>\n";
    c.res.send(200, Page("Velmora player", body), http::kHtml);
}

} // namespace

void AddPageRoutes(Router& router, Service& service) {
    Store& store = service.store();
    router.get("/f", Access::SessionOrCookie, [&store](Call& c) {
        FilePage(store, c, KeyNumbers(c.optionalParam("k"), 3), false);
    });
    router.get("/6/8", Access::SessionOrCookie, [&store](Call& c) {
        FilePage(store, c, KeyNumbers(c.optionalParam("p"), 3), true);
    });
    router.get("/d", Access::SessionOrCookie, [&store](Call& c) { FolderPage(store, c); });
    router.get("/player", Access::Open, [&store](Call& c) { PlayerPage(store, c); });
}

} // namespace velmora::server
