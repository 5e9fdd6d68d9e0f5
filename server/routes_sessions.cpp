// Sign-in and sessions: the token for the player, the cookie for browsers.

#include "errors.h"
#include "pages.h"
#include "router.h"
#include "routes.h"
#include "service.h"
#include "store_error.h"
#include "text.h"
#include "wire/xml_names.h"
#include "xml_writer.h"

#include <algorithm>

namespace velmora::server {

namespace {

namespace xml = wire::xml;

// The pages a sign-in form may lead to: paths on this service only. The
// value is decoded already; browsers drop tabs and blanks and read "\\" as
// "/", so anything but plain visible ASCII could turn "/" into "//host".
bool SafeNext(const std::string& next) {
    if (next.empty() || next[0] != '/' || next.rfind("//", 0) == 0)
        return false;
    return std::all_of(next.begin(), next.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7f && c != '\\';
    });
}

constexpr std::size_t kMaxAccountIdBytes = 255;

// Checks the password under the back-off rules; the user and a new token.
std::pair<std::int64_t, std::string> SignIn(Service& service, const std::string& client,
                                            const std::string& accountId,
                                            const std::string& password) {
    SignInThrottle& throttle = service.throttle();
    PasswordHasher& hasher = service.hasher();
    // No account has a longer id: refused before it costs a hash or a
    // place in the back-off table.
    if (accountId.size() > kMaxAccountIdBytes)
        throw ServiceError(401, "Invalid account id or password");
    SignInGate::Pass pass = service.gate().enter(client, SignInGate::Clock::now());
    if (int wait = throttle.secondsLeft(accountId, SignInThrottle::Clock::now()); wait > 0)
        throw ServiceError(
            429, "Too many failed sign-ins; try again in " + std::to_string(wait) + " s", wait);
    auto credentials = service.store().credentials(accountId);
    bool ok = false;
    if (credentials) {
        ok = hasher.verify(credentials->second, password);
    } else {
        hasher.burn(password);
    }
    if (!ok) {
        throttle.failed(accountId, SignInThrottle::Clock::now());
        throw ServiceError(401, "Invalid account id or password");
    }
    throttle.succeeded(accountId);
    if (hasher.needsRehash(credentials->second))
        service.store().setPasswordHash(credentials->first, hasher.hash(password));
    return {credentials->first, service.sessions().open(credentials->first)};
}

} // namespace

void AddSessionRoutes(Router& router, Service& service) {
    router.get("/health", Access::Open, [](Call& c) { c.res.send(200, "ok\n", http::kText); });

    router.postWaiting("/session", Access::Open, [&service](Call& c) {
        auto [user, token] =
            SignIn(service, c.req.remoteAddr, c.param("accountid"), c.param("password"));
        XmlWriter w;
        w.start(xml::element::kSession)
            .text(xml::attribute::kToken, token)
            .number(xml::attribute::kUserId, user)
            .end()
            .newline();
        c.res.send(200, w.take(), http::kXml);
    });
    router.del("/session", Access::Session, [&service](Call& c) {
        service.sessions().close(c.req.header(kSessionHeader));
        c.res.status = 204;
    });

    router.postWaiting("/web/signin", Access::Open, [&service](Call& c) {
        std::string next = c.optionalParam("next");
        if (!SafeNext(next))
            next = "/health";
        // A refused sign-in is a page, not a plain text.
        auto refuse = [&](const std::exception& e) {
            Refusal refusal = Router::RefusalOf(e);
            if (refusal.retryAfter > 0)
                c.res.setHeader("Retry-After", std::to_string(refusal.retryAfter));
            c.res.send(refusal.status,
                       Page("Sign-in refused",
                            "<p>" + HtmlEscape(refusal.reason) + "</p>" + SignInForm(next)),
                       http::kHtml);
        };
        try {
            auto [user, token] =
                SignIn(service, c.req.remoteAddr, c.param("accountid"), c.param("password"));
            // Lax, not Strict: a link opened from a mail is a cross-site
            // navigation and must still carry the cookie. The cookie opens
            // only pages and downloads, never a change.
            c.res.setHeader("Set-Cookie", std::string(kCookieName) + "=" + token +
                                              "; Path=/; HttpOnly; SameSite=Lax");
            c.res.redirect(next, 303);
        } catch (const ServiceError& e) {
            refuse(e);
        } catch (const StoreError& e) {
            refuse(e);
        }
    });
}

} // namespace velmora::server
