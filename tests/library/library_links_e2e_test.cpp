// Copy Link and Copy Media Link against a real velmora-service, signed in as
// demo-free: every link taken from the clipboard is opened on the service's
// web pages over loopback, as a browser would.
//
//   My Media
//     demo-gold(...)  Shared tones ...
//     Music           ...
//     Samples         ...
//     Welcome.aiff

#include "app_context.h"
#include "event_pump.h"
#include "left_view.h"
#include "library_test_support.h"
#include "proxied_service.h"
#include "scripted_message_boxes.h"
#include "service_client.h"
#include "string_table.h"
#include "window_messages.h"
#include "wire/percent.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <httplib.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr char kAccount[] = "demo-free";
constexpr char kPassword[] = "free-demo-1";

class LibraryLinksE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
        AppContext::Destroy();
        // As start-up does: the context's address, which the play link
        // starts with, is the one in the settings.
        AppContext::Instance().SetHost(settings.store()->Host());
        AppContext::Instance().SetPort(settings.store()->Port());
        ASSERT_TRUE(client().Login(kAccount, kPassword)) << client().GetLastError();
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        origin = "http://127.0.0.1:" + std::to_string(service.port());
        token = signIn();
        ASSERT_FALSE(token.empty());
    }
    void TearDown() override { AppContext::Destroy(); }

    static ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }

    // A browser's sign-in of its own: the session the pages know the user by.
    std::string signIn() {
        httplib::Client http("127.0.0.1", service.port());
        auto reply = http.Post("/session",
                               httplib::Params{{"accountid", kAccount}, {"password", kPassword}});
        std::smatch match;
        if (!reply || reply->status != 200 ||
            !std::regex_search(reply->body, match, std::regex("token=\"([^\"]*)\"")))
            return {};
        return wire::PercentDecode(match[1].str());
    }

    LibraryItem* find(QTreeWidgetItem* parent, const std::string& text) {
        for (int i = 0; parent && i < parent->childCount(); ++i) {
            if (CLeftView::ItemText(parent->child(i)) == text)
                return LibraryItem::from(parent->child(i));
            if (LibraryItem* below = find(parent->child(i), text))
                return below;
        }
        return nullptr;
    }

    // Runs the command on the item and gives the link it left on the
    // clipboard, after checking that it belongs to the service.
    std::string linkOf(const std::string& text, void (CLeftView::*command)()) {
        LibraryItem* item = find(view.RootItem(), text);
        EXPECT_NE(item, nullptr) << text;
        view.SetHitItem(item);
        QGuiApplication::clipboard()->clear();
        (view.*command)();
        const std::string link = QGuiApplication::clipboard()->text().toStdString();
        EXPECT_EQ(link.rfind(origin, 0), 0u) << link;
        return link.substr(std::min(link.size(), origin.size()));
    }

    // GETs the path on the service, signed in (with the session) or not.
    httplib::Result get(const std::string& path, bool signedIn = true) {
        httplib::Client http("127.0.0.1", service.port());
        // The link goes out as it is, as a browser sends it; the client would
        // otherwise escape its "+".
        http.set_url_encode(false);
        httplib::Headers headers;
        if (signedIn)
            headers.emplace("X-Velmora-Session", token);
        return http.Get(path, headers);
    }
    std::string page(const std::string& path, bool signedIn = true) {
        auto reply = get(path, signedIn);
        EXPECT_TRUE(reply && reply->status == 200) << path;
        return reply ? reply->body : std::string();
    }

    ServiceProcess service;
    TempSettings settings;
    ScopedScriptedBoxes boxes;
    CLeftView view;
    std::string origin;
    std::string token;
};

TEST_F(LibraryLinksE2E, CopiedLinksOpenThePagesOfTheirItems) {
    struct Case {
        std::string item;
        std::string content; // what only the right page shows
    };
    for (const Case& c :
         {Case{"Music", "Tones/</a>"}, Case{"Welcome.aiff", "Download Welcome.aiff"},
          Case{"Shared tones", "Shared A4.au</a>"}}) {
        const std::string body = page(linkOf(c.item, &CLeftView::OnCopyLink));
        EXPECT_NE(body.find("<h1>" + c.item + "</h1>"), std::string::npos) << c.item << body;
        EXPECT_NE(body.find(c.content), std::string::npos) << c.item << body;
    }
    EXPECT_EQ(boxes->texts(), std::vector<std::string>(3, LoadString(121)));
}

TEST_F(LibraryLinksE2E, MediaLinkGivesTheFilesBytes) {
    const std::string body = page(linkOf("Welcome.aiff", &CLeftView::OnCopyMediaLink));
    std::smatch match;
    ASSERT_TRUE(std::regex_search(body, match, std::regex("<audio [^>]*src=\"([^\"]*)\""))) << body;
    auto media = get(match[1].str());
    ASSERT_TRUE(media && media->status == 200);

    // The same file as the program itself downloads it.
    QTemporaryDir scratch;
    const QString path = scratch.filePath("Welcome.aiff");
    view.Transfers().StartDownload(*find(view.RootItem(), "Welcome.aiff"), path.toStdString(),
                                   true);
    ASSERT_TRUE(PumpUntil([&] { return QFile::exists(path); }, std::chrono::seconds(20)));
    const QByteArray bytes = ReadFile(path);
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_EQ(media->body, bytes.toStdString());
}

TEST_F(LibraryLinksE2E, ANameWithQueryCharactersSurvivesTheLink) {
    const std::string name = "Rock & roll #1 = 100% +more.aiff";
    view.SetHitItem(find(view.RootItem(), "Welcome.aiff"));
    view.OnRename();
    QLineEdit* editor = nullptr;
    for (QLineEdit* line : view.viewport()->findChildren<QLineEdit*>())
        editor = line;
    ASSERT_NE(editor, nullptr);
    editor->setText(QString::fromStdString(name));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_NE(find(view.RootItem(), name), nullptr) << boxes->texts().size();

    const std::string link = linkOf(name, &CLeftView::OnCopyLink);
    // Signed out, the page can only name the file by the link's own name.
    const std::string escaped = "Rock &amp; roll #1 = 100% +more.aiff";
    const std::string signedOut = page(link, false);
    EXPECT_NE(signedOut.find("<h1>" + escaped + "</h1>"), std::string::npos) << signedOut;
    // Signed in, the page names the renamed file the service holds.
    EXPECT_NE(page(link).find("Download " + escaped), std::string::npos) << link;
}

} // namespace
