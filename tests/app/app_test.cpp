#include "about_dialog.h"
#include "acls_dialog.h"
#include "app_context.h"
#include "component_factory.h"
#include "desktop_services.h"
#include "left_view.h"
#include "main_frame.h"
#include "modal_runner.h"
#include "options_dialog.h"
#include "registry_settings.h"
#include "scripted_message_boxes.h"
#include "scripted_proxy.h"
#include "signin_dialog.h"
#include "stealth_dialog.h"
#include "temp_settings.h"
#include "text_prompt.h"
#include "velmora_player_app.h"
#include "velmora_player_dialog_bar.h"
#include "window_messages.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

// Stands in for a pane: records the program's messages it receives.
class RecordingView : public QWidget {
public:
    using QWidget::QWidget;
    std::vector<int> messages;
    std::vector<std::string> texts;

protected:
    void customEvent(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return;
        auto* m = static_cast<WindowMessage*>(e);
        messages.push_back(m->message());
        texts.push_back(m->lParam() ? paramText(m->lParam()) : "");
        if (m->message() == UM_MEDIA_FILE) {
            EXPECT_STREQ(paramText(static_cast<LPARAM>(m->wParam())), "0~0");
        }
    }
};

class AppTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    test::TempSettings settings;
    std::shared_ptr<test::ScriptedProxy> proxy = std::make_shared<test::ScriptedProxy>();
    ScopedComponent proxyComponent{CLSID_velmoraPrxy, [this] { return proxy; }};
    test::ScopedScriptedBoxes boxes;
    RecordingView* library = nullptr;
    RecordingView* player = nullptr;
    Cvelmora_playerApp::ScopedPanes panes{{[this](QWidget* parent) {
                                               library = new RecordingView(parent);
                                               return library;
                                           },
                                           [this](QWidget* parent) {
                                               player = new RecordingView(parent);
                                               return player;
                                           }}};
    // Each sign-in dialog shown takes the next (account id, password), or
    // is cancelled when none is left.
    std::vector<std::pair<std::string, std::string>> signIns;
    std::vector<std::string> fieldsShown;
    int signInDialogs = 0;
    std::function<int(COptionsDialog&)> optionsAnswer;
    ModalRunner previousRunner;

    void SetUp() override {
        // A context an earlier test made holds no scripted proxy.
        AppContext::Destroy();
        qputenv("TMPDIR", dir.path().toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path() + "/config");
        previousRunner = InstallModalRunner([this](QDialog& d) -> int {
            if (auto* signin = dynamic_cast<CSigninDlg*>(&d)) {
                ++signInDialogs;
                fieldsShown.push_back(signin->accountIdEdit()->text().toStdString() + "/" +
                                      signin->passwordEdit()->text().toStdString());
                if (signIns.empty())
                    return QDialog::Rejected;
                auto [id, pw] = signIns.front();
                signIns.erase(signIns.begin());
                if (!id.empty())
                    signin->accountIdEdit()->setText(QString::fromStdString(id));
                if (!pw.empty())
                    signin->passwordEdit()->setText(QString::fromStdString(pw));
                signin->okButton()->click();
                return signin->result();
            }
            if (auto* options = dynamic_cast<COptionsDialog*>(&d))
                return optionsAnswer ? optionsAnswer(*options) : int(QDialog::Rejected);
            return d.exec(); // the pause dialog runs for real
        });
    }
    void TearDown() override {
        InstallModalRunner(previousRunner);
        AppContext::Destroy();
        qunsetenv("TMPDIR");
    }
    std::string logText() {
        QFile f(dir.path() + "/velmora_player.log");
        f.open(QIODevice::ReadOnly);
        return f.readAll().toStdString();
    }
};

} // namespace

TEST_F(AppTest, StartUpCopiesSettingsLogsAndSignsIn) {
    settings.store()->SetHost("media.local");
    settings.store()->SetPort(9090);
    signIns = {{"ada", "secret"}};
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    EXPECT_EQ(app.GetMainFrame()->windowTitle(), "Velmora Media Player");
    AppContext& context = AppContext::Instance();
    EXPECT_EQ(context.GetHost(), "media.local");
    EXPECT_EQ(context.GetPort(), 9090);
    EXPECT_EQ(context.GetHelpPath(), "/products/windows/velmora-player.html");
    EXPECT_NE(logText().find("> Velmora Media Player started\n"), std::string::npos);
    EXPECT_TRUE(context.IsConnected());
    EXPECT_EQ(library->messages, std::vector<int>{UM_POPULATE_LIBRARY});
    // A free account fetches the application messages.
    EXPECT_NE(std::find(proxy->calls.begin(), proxy->calls.end(), "AppMessageFile()"),
              proxy->calls.end());
    EXPECT_TRUE(boxes->shown().empty());
    app.ExitInstance();
}

TEST_F(AppTest, LogFailureStopsStartUpBeforeSettingsAndSignIn) {
    qputenv("TMPDIR", (dir.path() + "/no/such/folder").toUtf8());
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    EXPECT_EQ(boxes->texts(),
              std::vector<std::string>{"file could not be opened: velmora_player.log"});
    EXPECT_EQ(signInDialogs, 0);
    EXPECT_EQ(AppContext::Instance().GetHost(), "");
    EXPECT_EQ(AppContext::Instance().GetPort(), 80);
    ASSERT_NE(app.GetMainFrame(), nullptr);
    EXPECT_TRUE(app.GetMainFrame()->isVisible());
    app.ExitInstance();
}

TEST_F(AppTest, AutomationSwitchesEndAtOnceWithoutWindowOrLog) {
    Cvelmora_playerApp app;
    EXPECT_FALSE(app.InitInstance({"velmora-player", "-Embedding"}));
    EXPECT_EQ(app.GetMainFrame(), nullptr);
    EXPECT_FALSE(QFile::exists(dir.path() + "/velmora_player.log"));
    EXPECT_EQ(signInDialogs, 0);
}

TEST_F(AppTest, FailedSignInKeepsTheFieldsAndTriesAgain) {
    signIns = {{"ada", "wrong"}, {"", "secret"}};
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Invalid account id or password"});
    ASSERT_EQ(fieldsShown.size(), 2u);
    EXPECT_EQ(fieldsShown[1], "ada/wrong"); // the second showing keeps what was typed
    EXPECT_TRUE(AppContext::Instance().IsConnected());

    // Signed in: a second SignIn shows nothing.
    EXPECT_TRUE(app.SignIn());
    EXPECT_EQ(signInDialogs, 2);
    app.ExitInstance();
}

TEST_F(AppTest, CancelledSignInLeavesAWorkingWindowWithoutAccessLists) {
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    EXPECT_FALSE(AppContext::Instance().IsConnected());
    EXPECT_TRUE(library->messages.empty());
    EXPECT_EQ(app.GetStatusText(), "Player is not connected to velmora server.");

    // No access lists dialog in the program: the command is not offered and
    // asks for no sign-in.
    CMainFrame* frame = app.GetMainFrame();
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->GetAction(CMainFrame::ID_TOOLS_ACCESS_LISTS)->isEnabled());
    EXPECT_FALSE(frame->OnCommand(CMainFrame::ID_TOOLS_ACCESS_LISTS));
    EXPECT_EQ(signInDialogs, 1);
    app.ExitInstance();
}

TEST_F(AppTest, AccessListsRunnersNestAndRunOnlyAfterASignIn) {
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"})); // sign-in cancelled
    CMainFrame* frame = app.GetMainFrame();
    QAction* command = frame->GetAction(CMainFrame::ID_TOOLS_ACCESS_LISTS);
    std::vector<std::string> runs;
    {
        Cvelmora_playerApp::ScopedAccessListsRunner outer([&](QObject* view) {
            EXPECT_EQ(view, library);
            runs.push_back("outer");
        });
        frame->UpdateCommandUI();
        EXPECT_TRUE(command->isEnabled());
        EXPECT_TRUE(frame->OnCommand(CMainFrame::ID_TOOLS_ACCESS_LISTS)); // cancelled again
        EXPECT_TRUE(runs.empty());
        signIns = {{"ada", "secret"}};
        {
            Cvelmora_playerApp::ScopedAccessListsRunner inner(
                [&](QObject*) { runs.push_back("inner"); });
            EXPECT_TRUE(frame->OnCommand(CMainFrame::ID_TOOLS_ACCESS_LISTS));
        }
        EXPECT_TRUE(frame->OnCommand(CMainFrame::ID_TOOLS_ACCESS_LISTS));
    }
    frame->UpdateCommandUI();
    EXPECT_FALSE(command->isEnabled());
    EXPECT_FALSE(frame->OnCommand(CMainFrame::ID_TOOLS_ACCESS_LISTS));
    EXPECT_EQ(runs, (std::vector<std::string>{"inner", "outer"}));
    EXPECT_EQ(signInDialogs, 3);
    app.ExitInstance();
}

TEST_F(AppTest, ToolsAccessListsRunsTheAccessListsDialogWithTheLibraryView) {
    Cvelmora_playerApp::ScopedAccessListsRunner real(&Cvelmora_playerApp::RunAccessListsDialog);
    signIns = {{"ada", "secret"}};
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    std::vector<std::pair<std::int32_t, QObject*>> runs;
    ModalRunner fixtureRunner;
    fixtureRunner = InstallModalRunner([&](QDialog& d) -> int {
        if (auto* acls = dynamic_cast<CAclsDialog*>(&d)) {
            runs.emplace_back(acls->mode, acls->viewWindow.data());
            return QDialog::Accepted;
        }
        return fixtureRunner(d);
    });
    CMainFrame* frame = app.GetMainFrame();
    frame->UpdateCommandUI();
    EXPECT_TRUE(frame->GetAction(CMainFrame::ID_TOOLS_ACCESS_LISTS)->isEnabled());
    EXPECT_TRUE(frame->OnCommand(CMainFrame::ID_TOOLS_ACCESS_LISTS));
    InstallModalRunner(fixtureRunner);
    EXPECT_EQ(runs,
              (std::vector<std::pair<std::int32_t, QObject*>>{{CAclsDialog::Management, library}}));
    app.ExitInstance();
}

TEST_F(AppTest, TheRealViewsOfferSaveAndUploadsButNotAccessLists) {
    Cvelmora_playerApp::ScopedPanes realViews(Cvelmora_playerApp::DefaultPanes());
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    CMainFrame* frame = app.GetMainFrame();
    frame->UpdateCommandUI();
    EXPECT_TRUE(frame->GetAction(CMainFrame::ID_FILE_OPEN)->isEnabled());
    EXPECT_TRUE(frame->GetAction(CMainFrame::ID_FILE_SAVE)->isEnabled());
    EXPECT_FALSE(frame->GetAction(CMainFrame::ID_TOOLS_ACCESS_LISTS)->isEnabled());
    // File > Save reaches the library view, which has nothing selected yet.
    boxes->clear();
    EXPECT_TRUE(frame->OnCommand(CMainFrame::ID_FILE_SAVE));
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Invalid selection"});
    // File > Open offers to save the opened file on the service.
    EXPECT_TRUE(Cvelmora_playerDoc::AcceptsUploads(app.GetLibraryView()));
    app.ExitInstance();
}

TEST_F(AppTest, StatusTextFollowsTheStoreAndTheAccount) {
    QFile file(dir.path() + "/appmessages.xml");
    file.open(QIODevice::WriteOnly);
    file.write("<r><appmessage MsgId=\"5\"><msg>Try plus</msg><url>http://x/5</url></appmessage>"
               "<appmessage MsgId=\"6\"><url>http://x/6</url></appmessage></r>");
    file.close();
    proxy->appMessagePath = (dir.path() + "/appmessages.xml").toStdString();
    signIns = {{"ada", "secret"}};
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    EXPECT_EQ(app.GetStatusText(), "Try plus");
    EXPECT_EQ(app.GetCurrentMessageId(), "5");
    EXPECT_EQ(app.GetStatusText(), "Player is not connected to velmora server."); // no msg
    EXPECT_EQ(app.GetCurrentMessageUrl(), "http://x/6");
    app.ExitInstance();
}

TEST_F(AppTest, PlusAccountsSeeTheWelcomeButNeverFetchOnSignIn) {
    proxy->account->profile->plus = VARIANT_TRUE;
    signIns = {{"ada", "secret"}};
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    EXPECT_EQ(std::find(proxy->calls.begin(), proxy->calls.end(), "AppMessageFile()"),
              proxy->calls.end());
    EXPECT_EQ(app.GetStatusText(), "Welcome to velmora media player");
    app.ExitInstance();
}

TEST_F(AppTest, OptionsWritesEveryValueAndTellsThePlayer) {
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    settings.store()->SetValue("repeat_on_play", "Yes"); // another case counts as off
    bool repeatShown = true;
    optionsAnswer = [&](COptionsDialog& d) {
        repeatShown = d.repeatBox()->isChecked();
        EXPECT_EQ(d.portEdit()->text(), "8080");
        d.show();
        d.okButton()->click(); // unchanged form
        return d.result();
    };
    app.OnCommand(Cvelmora_playerApp::ID_TOOLS_OPTIONS);
    EXPECT_FALSE(repeatShown);
    EXPECT_EQ(settings.writes(),
              (std::vector<std::string>{"Host", "Port", "CleanUpOnExit", "repeat_on_play"}));
    EXPECT_EQ(settings.store()->GetValue("repeat_on_play"), "no");
    ASSERT_EQ(player->messages, std::vector<int>{UM_SET_REPEAT});
    EXPECT_EQ(player->texts[0], "no");

    optionsAnswer = [&](COptionsDialog& d) {
        d.hostEdit()->setText(" other.host ");
        d.portEdit()->setText("81");
        d.repeatBox()->setChecked(true);
        d.show();
        d.okButton()->click();
        return d.result();
    };
    app.OnCommand(Cvelmora_playerApp::ID_TOOLS_OPTIONS);
    EXPECT_EQ(AppContext::Instance().GetHost(), "other.host");
    EXPECT_EQ(AppContext::Instance().GetPort(), 81);
    EXPECT_EQ(settings.store()->Port(), 81);
    EXPECT_EQ(player->texts.back(), "yes");
    EXPECT_EQ(AppContext::Instance().GetHelpUrl(),
              "http://other.host:81/products/windows/velmora-player.html");

    optionsAnswer = nullptr; // Cancel changes nothing
    settings.clearWrites();
    app.OnCommand(Cvelmora_playerApp::ID_TOOLS_OPTIONS);
    EXPECT_TRUE(settings.writes().empty());
    app.ExitInstance();
}

TEST_F(AppTest, CleanUpOnExitDeletesTheCacheOnlyWhenAsked) {
    QDir(dir.path()).mkpath("v_player/sub");
    {
        Cvelmora_playerApp app;
        app.ExitInstance();
    }
    EXPECT_TRUE(QDir(dir.path() + "/v_player").exists());
    settings.store()->SetCleanUpOnExit(VARIANT_TRUE);
    {
        Cvelmora_playerApp app;
        app.ExitInstance();
    }
    EXPECT_FALSE(QDir(dir.path() + "/v_player").exists());
}

TEST_F(AppTest, SetBarTextReachesTheMessageBarPadded) {
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    app.SetBarText("Playing: song.mp3");
    const std::string& shown = app.GetMainFrame()->GetMessageBar()->CurrentText();
    EXPECT_EQ(shown.size(), 255u);
    EXPECT_EQ(shown.rfind("Playing: song.mp3", 0), 0u);
    app.ExitInstance();
}

TEST_F(AppTest, FileOpenPlaysMediaWithoutOfferingAnUploadNothingCanStore) {
    signIns = {{"ada", "secret"}};
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    library->messages.clear();
    library->texts.clear();
    std::string chosen;
    Cvelmora_playerDoc::ScopedFileChooser chooser([&] { return chosen; });

    chosen = "/home/ada/x/song.ogg";
    app.GetMainFrame()->OnCommand(CMainFrame::ID_FILE_OPEN);
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Invalid file type"});
    EXPECT_TRUE(player->messages.empty());

    // "mp3" anywhere in the path is enough.
    chosen = "/home/ada/mp3s/readme.txt";
    app.GetMainFrame()->OnCommand(CMainFrame::ID_FILE_OPEN);
    chosen = "/home/ada/Song.MP3";
    app.GetMainFrame()->OnCommand(CMainFrame::ID_FILE_OPEN);
    EXPECT_EQ(boxes->texts().size(), 1u); // no question about saving it
    EXPECT_TRUE(library->messages.empty());
    ASSERT_EQ(player->messages, (std::vector<int>{UM_MEDIA_FILE, UM_MEDIA_FILE}));
    EXPECT_EQ(player->texts,
              (std::vector<std::string>{"/home/ada/mp3s/readme.txt", "/home/ada/Song.MP3"}));

    chosen.clear(); // cancelled: nothing at all
    app.GetMainFrame()->OnCommand(CMainFrame::ID_FILE_OPEN);
    EXPECT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(player->messages.size(), 2u);
    app.ExitInstance();
}

TEST_F(AppTest, AboutHelpOpensTheHelpPageOnTheHostInUse) {
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    std::vector<std::string> opened;
    auto previous = InstallDesktopActions({[&](const std::string& url) {
                                               opened.push_back(url);
                                               return true;
                                           },
                                           nullptr});
    auto runner = InstallModalRunner([](QDialog& d) {
        auto* about = dynamic_cast<CAboutDlg*>(&d);
        EXPECT_NE(about, nullptr);
        if (about) {
            EXPECT_EQ(about->windowTitle(), "About Velmora Media Player");
            about->helpButton()->click();
        }
        return int(QDialog::Accepted);
    });
    app.OnCommand(Cvelmora_playerApp::ID_APP_ABOUT);
    AppContext::Instance().SetHost("moved.example.org");
    app.OnCommand(Cvelmora_playerApp::ID_APP_ABOUT);
    InstallModalRunner(runner);
    InstallDesktopActions(previous);
    EXPECT_EQ(opened, (std::vector<std::string>{
                          "http://127.0.0.1:8080/products/windows/velmora-player.html",
                          "http://moved.example.org:8080/products/windows/velmora-player.html"}));
    app.ExitInstance();
}

TEST_F(AppTest, OptionsThatCannotBeStoredStillTakeEffectAndSaySo) {
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    settings.failWrites();
    optionsAnswer = [&](COptionsDialog& d) {
        d.hostEdit()->setText("new.host");
        d.portEdit()->setText("9000");
        d.show();
        d.okButton()->click();
        return d.result();
    };
    app.OnCommand(Cvelmora_playerApp::ID_TOOLS_OPTIONS);
    EXPECT_EQ(boxes->texts().back(), "The options could not be saved: Access is denied.");
    EXPECT_EQ(AppContext::Instance().GetHost(), "new.host");
    // The other values were still tried after the first one failed.
    EXPECT_EQ(settings.writes(),
              (std::vector<std::string>{"Host", "Port", "CleanUpOnExit", "repeat_on_play"}));
    EXPECT_EQ(player->messages, std::vector<int>{UM_SET_REPEAT});
    app.ExitInstance();
}

TEST_F(AppTest, TreeKeysF6EmailsALinkAndF5SignsOutAndInAgain) {
    Cvelmora_playerApp::ScopedPanes realViews(Cvelmora_playerApp::DefaultPanes());
    proxy->account->root->addFile(33, "top.mp3");
    signIns = {{"ada", "secret"}};
    Cvelmora_playerApp app;
    ASSERT_TRUE(app.InitInstance({"velmora-player"}));
    auto* view = dynamic_cast<CLeftView*>(app.GetLibraryView());
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->RootItem()->childCount(), 1);

    // In the tree F6 is Email Link, not the main window's Next Pane.
    std::vector<std::string> prompts;
    ScopedTextPrompter prompter([&](const std::string& prompt, const std::string&) {
        prompts.push_back(prompt);
        return std::string();
    });
    view->setCurrentItem(view->RootItem()->child(0));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F6);
    EXPECT_EQ(prompts, std::vector<std::string>{
                           "Enter the email address where you would like your link sent: "});
    EXPECT_TRUE(view->hasFocus());

    // F5, and the sign-in is cancelled: "My Media" alone, nobody signed in.
    QTest::keyClick(view, Qt::Key_F5);
    EXPECT_EQ(signInDialogs, 2);
    EXPECT_FALSE(AppContext::Instance().IsConnected());
    ASSERT_EQ(view->topLevelItemCount(), 1);
    EXPECT_EQ(CLeftView::ItemText(view->RootItem()), "My Media");
    EXPECT_EQ(view->RootItem()->childCount(), 0);

    signIns = {{"ada", "secret"}};
    QTest::keyClick(view, Qt::Key_F5);
    EXPECT_TRUE(AppContext::Instance().IsConnected());
    ASSERT_EQ(view->topLevelItemCount(), 1);
    EXPECT_EQ(CLeftView::ItemText(view->RootItem()->child(0)), "top.mp3");
    app.ExitInstance();
}
