// The small rules that keep hostile input harmless, each where it is
// decided: sign-in limits, session lifetimes, mail text, page
// headers.

#include "auth.h"
#include "errors.h"
#include "harness.h"
#include "mail.h"
#include "wire/link.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace velmora::server::test {
namespace {

using namespace std::chrono_literals;

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ServerRules, ThrottleForgetsQuietAccountIds) {
    TempDir dir;
    Store store(dir.path(), 1);
    SignInThrottle throttle(store);
    auto t = SignInThrottle::Clock::now();
    for (int i = 0; i < 100; ++i)
        throttle.failed(std::string(255, 'a') + std::to_string(i), t);
    for (int i = 0; i < 5; ++i)
        throttle.failed("in-back-off", t);
    EXPECT_EQ(throttle.entries(), 101u);
    // Later, one more failure sweeps the quiet ones away; an account id
    // still in back-off is kept.
    auto later = t + SignInThrottle::kForgetAfter + 2min;
    for (int i = 0; i < 12; ++i)
        throttle.failed("in-back-off", later);
    throttle.failed("new", later + 2min);
    EXPECT_EQ(throttle.entries(), 2u);
    EXPECT_GT(throttle.secondsLeft("in-back-off", later + 2min), 0);
}

TEST(ServerRules, GateLimitsSignInsPerAddressAtOnceAndPerMinute) {
    SignInGate gate(2, 3);
    auto t = SignInGate::Clock::now();
    auto refusedWith = [&](const std::string& client, SignInGate::Clock::time_point when) {
        try {
            gate.enter(client, when);
        } catch (const ServiceError& e) {
            return e.status();
        }
        return 0;
    };
    {
        SignInGate::Pass a = gate.enter("10.0.0.1", t);
        SignInGate::Pass b = gate.enter("10.0.0.1", t);
        EXPECT_EQ(refusedWith("10.0.0.1", t), 429); // two at once already
        EXPECT_EQ(refusedWith("10.0.0.2", t), 0);   // others are not held up
    }
    // Both ended: a third fits the minute, a fourth does not.
    EXPECT_EQ(refusedWith("10.0.0.1", t), 0);
    EXPECT_EQ(refusedWith("10.0.0.1", t + 10s), 429);
    EXPECT_EQ(refusedWith("10.0.0.1", t + 61s), 0);
    // An address quiet for a minute is dropped.
    EXPECT_EQ(gate.clients(), 1u);
}

TEST(ServerRules, RealHashesGoBeforeBurnsForUnknownAccounts) {
    // One slot and a real cost, so that each hash takes far longer than a
    // thread takes to start.
    PasswordHasher hasher(HashCost::Interactive, 1);
    std::string stored = hasher.hash("secret");
    using Clock = std::chrono::steady_clock;
    Clock::time_point burnDone, realDone;
    std::thread holder([&] { hasher.verify(stored, "secret"); });
    std::this_thread::sleep_for(30ms);
    std::thread burn([&] {
        hasher.burn("guess");
        burnDone = Clock::now();
    });
    std::this_thread::sleep_for(30ms);
    std::thread real([&] {
        EXPECT_TRUE(hasher.verify(stored, "secret"));
        realDone = Clock::now();
    });
    holder.join();
    burn.join();
    real.join();
    // The burn waited longer, yet the real sign-in had the slot first.
    EXPECT_LT(realDone, burnDone);
}

TEST(ServerRules, SessionEndsWithItsExpiry) {
    TempDir dir;
    Store store(dir.path(), 1);
    Sessions sessions(store);
    std::int64_t user =
        store.addUser(NewUser{"anna", "A", "B", "a@example.org", Tier::Free, false, false}, "hash");
    std::string token(64, 'f');
    unsigned char digest[32];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    // Two seconds: a slow machine may pass one second boundary before the
    // first look.
    std::int64_t expires = UnixNow() + 2;
    store.addSession(hex, user, expires);
    EXPECT_EQ(sessions.user(token), user);
    while (UnixNow() < expires)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(sessions.user(token));
}

TEST(ServerRules, MailSubjectsOutsideAsciiAreEncodedWords) {
    std::string aaa;
    for (int i = 0; i < 14; ++i)
        aaa += "YWFh"; // "aaa"
    struct Case {
        std::string subject;
        std::string header;
    };
    for (const Case& c : {
             Case{"Plain subject", "Subject: Plain subject\r\n"},
             Case{"Caf\xc3\xa9", "Subject: =?UTF-8?B?Q2Fmw6k=?=\r\n"},
             // A long subject is split between characters, never inside one.
             Case{std::string(44, 'a') + "\xc3\xa9" + "b",
                  "Subject: =?UTF-8?B?" + aaa + "YWE=?=\r\n =?UTF-8?B?w6li?=\r\n"},
             Case{"line\r\nBcc: x@evil.org \xc3\xa9",
                  "Subject: =?UTF-8?B?bGluZSAgQmNjOiB4QGV2aWwub3JnIMOp?=\r\n"},
         }) {
        std::string eml = FormatMail(MailRow{"", "x@example.org", c.subject, "body"}, 1, 0);
        EXPECT_NE(eml.find(c.header), std::string::npos) << eml;
    }
}

TEST(ServerRules, MailedLinksEncodeTheNameAndPagesSendSecurityHeaders) {
    ServiceFixture fx;
    TestUser a = fx.addUser("anna");
    std::int64_t file = fx.upload(a, 1, "Rock & Roll #1.mp3", "data");
    Reply sent = fx.client().post("/mail/link",
                                  {{"owner", std::to_string(a.id)},
                                   {"folder", "1"},
                                   {"file", std::to_string(file)},
                                   {"sender", std::to_string(a.id)},
                                   {"address", "x@example.org"},
                                   {"text1", "Ein Lied f\xc3\xbcr dich"},
                                   {"text2", ""}},
                                  a.token);
    ASSERT_EQ(sent.status, 200) << sent.body;
    std::string mail =
        ReadWhole(fx.dataDir() / "outbox" / (ParseXml(sent.body).attr("id") + ".eml"));
    EXPECT_NE(mail.find("&name=Rock+%26+Roll+%231.mp3\r\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("Subject: =?UTF-8?B?"), std::string::npos) << mail;

    for (const std::string page : {"/player?m=1~2~velmoraplayer~x", "/f?k=abc", "/d?k=abc"}) {
        Reply r = fx.client().get(page);
        EXPECT_EQ(r.headers.count("X-Frame-Options"), 1u) << page;
        EXPECT_EQ(r.headers.count("X-Content-Type-Options"), 1u) << page;
        auto csp = r.headers.find("Content-Security-Policy");
        ASSERT_NE(csp, r.headers.end()) << page;
        EXPECT_NE(csp->second.find("frame-ancestors 'none'"), std::string::npos);
    }
}

} // namespace
} // namespace velmora::server::test
