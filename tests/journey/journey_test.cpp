// The whole program as a user meets it: the real application object with its
// main frame and views, the real proxy and settings store, a velmora-service
// with the demo accounts on loopback, driven through its windows with mouse
// and key events. Each test is one account's way through the program; each
// step leaves a picture of the windows under the build folder
// (tests/journey/screens/), taken also when the step fails.

#include "acls_dialog.h"
#include "add_user_dialog.h"
#include "app_context.h"
#include "cache_files.h"
#include "custom_tree_ctrl.h"
#include "event_pump.h"
#include "find_dialog.h"
#include "folder_browser.h"
#include "journey_support.h"
#include "left_view.h"
#include "library_images.h"
#include "library_menu.h"
#include "message_poller.h"
#include "message_source.h"
#include "ocxwmp.h"
#include "options_dialog.h"
#include "proxied_service.h"
#include "public_directory_list.h"
#include "scripted_message_boxes.h"
#include "signin_dialog.h"
#include "string_table.h"
#include "text_prompt.h"
#include "user_dialog.h"
#include "velmora_player_app.h"
#include "velmora_player_dialog_bar.h"
#include "velmora_player_view.h"
#include "wire/node_key.h"
#include "wire/percent.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDataStream>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <regex>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;

namespace {

constexpr char kGold[] = "demo-gold";
constexpr char kGoldPassword[] = "gold-demo-1";
// The second account: a gold one of its own, listed in the public directory,
// so that it can both be found there and answer messages (free accounts may
// not send any).
constexpr char kSecond[] = "journey-b";
constexpr char kSecondPassword[] = "journey-b-pass";

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A sine tone as a Sun audio file (16-bit linear, mono, 8 kHz).
QByteArray AuTone(double hertz, double seconds) {
    constexpr int kRate = 8000;
    const auto samples = static_cast<quint32>(kRate * seconds);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly); // big-endian, as the format wants
    out.writeRawData(".snd", 4);
    out << quint32(24) << samples * 2 << quint32(3) << quint32(kRate) << quint32(1);
    for (quint32 i = 0; i < samples; ++i)
        out << static_cast<qint16>(8000 * std::sin(2 * M_PI * hertz * i / kRate));
    return bytes;
}

// Whether the service's account document names an item so.
bool Holds(const std::string& account, const std::string& name) {
    return account.find("name=\"" + wire::PercentEncode(name) + "\"") != std::string::npos;
}

// Whether the access list of the service's lists document holds the account.
bool ListHolds(const std::string& acls, const std::string& list, const std::string& account) {
    const std::size_t start = acls.find("name=\"" + wire::PercentEncode(list) + "\"");
    if (start == std::string::npos)
        return false;
    const std::size_t end = acls.find("</acl>", start);
    const std::size_t member =
        acls.find("accountid=\"" + wire::PercentEncode(account) + "\"", start);
    return member != std::string::npos && member < end;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class Journey : public ::testing::Test {
protected:
    // A step of the journey: names itself in every failure inside it and
    // leaves its picture when it ends, however it ends.
    class Step {
    public:
        Step(Journey& journey, const std::string& name)
            : journey_(journey), name_(name), trace_(__FILE__, __LINE__, name) {}
        ~Step() { journey_.screens.Take(name_); }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        Journey& journey_;
        std::string name_;
        ::testing::ScopedTrace trace_;
    };

    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        // The cache, the log and the proxy's files are this test's own.
        qputenv("TMPDIR", home.path().toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path() + "/config");
        AppContext::Destroy();
        ASSERT_TRUE(ServeThroughProxy(service, settings)) << "velmora-service did not start";
        const QString made = service.admin(
            {"--add-user", kSecond, "--password", kSecondPassword, "--first-name", "Bea",
             "--last-name", "Brandt", "--email", "bea@example.org", "--tier", "gold", "--public"});
        ASSERT_FALSE(made.trimmed().isEmpty()) << "the second account was not made";
    }
    void TearDown() override {
        if (app)
            app->ExitInstance();
        app.reset();
        AppContext::Destroy();
        qunsetenv("TMPDIR");
        EXPECT_TRUE(dialogs.AllUsed()) << "a dialog the journey expected never came";
        EXPECT_TRUE(menus.AllUsed()) << "a menu the journey expected never opened";
    }

    // Starts the program as its main does, answering the first sign-in.
    void Start(const std::string& account, const std::string& password) {
        ExpectSignIn(account, password);
        app = std::make_unique<Cvelmora_playerApp>();
        ASSERT_TRUE(app->InitInstance({"velmora-player"}));
        frame = app->GetMainFrame();
        ASSERT_NE(frame, nullptr);
        frame->resize(1000, 700);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
        view = dynamic_cast<CLeftView*>(app->GetLibraryView());
        ASSERT_NE(view, nullptr);
        auto* playerView = dynamic_cast<Cvelmora_playerView*>(app->GetPlayerView());
        ASSERT_NE(playerView, nullptr);
        control = playerView->Player();
        ASSERT_NE(control, nullptr);
        QObject::connect(control, &COcxwmp::playStateChanged, control,
                         [this](int state) { playStates.push_back(state); });
        history = std::make_unique<ItemHistory>(*view);
    }

    void ExpectSignIn(const std::string& account, const std::string& password) {
        dialogs.Expect<CSigninDlg>([this, account, password](CSigninDlg& d) {
            d.show();
            Type(d.accountIdEdit(), account);
            Type(d.passwordEdit(), password);
            screens.Take("sign-in-" + account);
            QTest::mouseClick(d.okButton(), Qt::LeftButton);
            return d.result();
        });
    }
    void ExpectCancelledSignIn() {
        dialogs.Expect<CSigninDlg>([](CSigninDlg& d) {
            d.show();
            QTest::keyClick(&d, Qt::Key_Escape);
            return d.result();
        });
    }

    static void Type(QLineEdit* edit, const std::string& text) {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QString::fromStdString(text));
        EXPECT_EQ(edit->text().toStdString(), text);
    }
    static void Type(QTextEdit* edit, const std::string& text) {
        edit->setFocus();
        QTest::keyClicks(edit, QString::fromStdString(text));
        EXPECT_EQ(edit->toPlainText().toStdString(), text);
    }

    // Mouse and keys on the tree, through the main window as the platform
    // delivers them.
    QPoint At(QTreeWidgetItem* item) {
        view->scrollToItem(item);
        return view->viewport()->mapTo(frame, view->visualItemRect(item).center());
    }
    void Click(QTreeWidgetItem* item) {
        QTest::mouseClick(frame->windowHandle(), Qt::LeftButton, {}, At(item));
    }
    // Selects with a click, unless the item is selected already: a click on
    // the selected label would rename it.
    void Select(QTreeWidgetItem* item) {
        if (view->currentItem() != item)
            Click(item);
        ASSERT_EQ(view->currentItem(), item);
        view->setFocus();
    }
    void DoubleClick(QTreeWidgetItem* item) {
        QTest::mouseDClick(frame->windowHandle(), Qt::LeftButton, {}, At(item));
    }
    void RightClick(QTreeWidgetItem* item, int command) {
        menus.Choose(command);
        QTest::mouseClick(frame->windowHandle(), Qt::RightButton, {}, At(item));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(view, key, modifiers);
    }
    // The editor of a label being edited.
    QLineEdit* LabelEditor() const {
        for (QLineEdit* editor : view->viewport()->findChildren<QLineEdit*>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }

    // The first child whose text starts so, or null.
    static QTreeWidgetItem* ChildStartingWith(QTreeWidgetItem* parent, const std::string& start) {
        for (int i = 0; parent && i < parent->childCount(); ++i)
            if (CLeftView::ItemText(parent->child(i)).rfind(start, 0) == 0)
                return parent->child(i);
        return nullptr;
    }
    // The access lists dialog's tree, through the dialog's window.
    QPoint AclsPoint(CAclsDialog& acls, QTreeWidgetItem* item) {
        acls.tree()->scrollToItem(item);
        return acls.tree()->viewport()->mapTo(&acls, acls.tree()->visualItemRect(item).center());
    }
    void AclsRightClick(CAclsDialog& acls, QTreeWidgetItem* item, int command) {
        menus.Choose(command);
        QTest::mouseClick(acls.windowHandle(), Qt::RightButton, {}, AclsPoint(acls, item));
    }
    // The open user dialog of the account, or null.
    static CUserDialog* UserDialogOf(const std::string& account) {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<CUserDialog*>(window))
                if (dialog->isVisible() && dialog->accountIdEdit()->text().toStdString() == account)
                    return dialog;
        return nullptr;
    }
    // Opens a menu of the main window's menu bar with a click and clicks
    // the command's entry in it.
    void MenuCommand(const QString& menuTitle, int id) {
        QMenuBar* bar = frame->menuBar();
        QAction* title = nullptr;
        for (QAction* action : bar->actions())
            if (action->text().remove('&') == menuTitle)
                title = action;
        ASSERT_NE(title, nullptr) << menuTitle.toStdString();
        QMenu* menu = title->menu();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(title).center());
        ASSERT_TRUE(PumpUntil([&] { return menu->isVisible(); }, 2s)) << menuTitle.toStdString();
        QAction* entry = frame->GetAction(id);
        ASSERT_TRUE(menu->actions().contains(entry)) << id;
        ASSERT_TRUE(entry->isEnabled()) << id;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        EXPECT_FALSE(menu->isVisible());
    }
    static std::string Conversation(CUserDialog* dialog) {
        return dialog->conversationEdit()->toPlainText().toStdString();
    }
    QTreeWidgetItem* Root() const { return view->RootItem(); }
    QTreeWidgetItem* Top(const std::string& text) const { return Child(Root(), text); }
    static QTreeWidgetItem* Child(QTreeWidgetItem* parent, const std::string& text) {
        for (int i = 0; parent && i < parent->childCount(); ++i)
            if (CLeftView::ItemText(parent->child(i)) == text)
                return parent->child(i);
        return nullptr;
    }
    bool HadImage(QTreeWidgetItem* item, int image) const {
        return history->Had(item, [&](const ItemHistory::State& s) { return s.image == image; });
    }
    // Back to its own name and image: the play of the file is over.
    static bool Rests(CLeftView* view, QTreeWidgetItem* item) {
        const std::string text = CLeftView::ItemText(item);
        return view->GetItemImage(item) == CLeftView::ImageForName(text) &&
               !EndsWith(text, LibraryTransfers::kQueuedForPlay);
    }
    // Every state each child went through, for a failure's message.
    std::string Describe(QTreeWidgetItem* folder) const {
        std::string out;
        for (int i = 0; i < folder->childCount(); ++i) {
            out += "\n" + CLeftView::ItemText(folder->child(i)) + ":";
            for (const ItemHistory::State& s : history->Of(folder->child(i)))
                out += " [" + s.text + " " + std::to_string(s.image) + "]";
        }
        return out;
    }
    std::string BarText() const { return frame->GetMessageBar()->CurrentText(); }
    std::string ServiceOrigin(const ServiceProcess& s) const {
        return "http://127.0.0.1:" + std::to_string(s.port());
    }
    bool Connected() const { return AppContext::Instance().IsConnected(); }

    QTemporaryDir home;
    ServiceProcess service;
    TempSettings settings;
    ScopedScriptedBoxes boxes;
    Screens screens{QString(VELMORA_JOURNEY_SCREENS) + "/" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    // The program's own poller over the real service, polling more often
    // than the program's 3 s so the journey does not wait on it.
    AppContext::ScopedPollerMaker pollers{[](ServiceClient& client) {
        return std::make_unique<MessagePoller>(std::make_shared<ServiceClientMessages>(client),
                                               nullptr, 200ms);
    }};
    Cvelmora_playerApp::ScopedAccessListsRunner accessLists{
        &Cvelmora_playerApp::RunAccessListsDialog};
    std::deque<std::string> typedAnswers;
    std::vector<std::string> prompts;
    ScopedTextPrompter prompter{[this](const std::string& prompt, const std::string&) {
        prompts.push_back(prompt);
        if (typedAnswers.empty())
            return std::string();
        std::string answer = typedAnswers.front();
        typedAnswers.pop_front();
        return answer;
    }};
    ModalAnswers dialogs;
    MenuChoices menus;
    std::unique_ptr<Cvelmora_playerApp> app;
    CMainFrame* frame = nullptr;
    CLeftView* view = nullptr;
    COcxwmp* control = nullptr;
    std::vector<int> playStates;
    std::unique_ptr<ItemHistory> history;
};

TEST_F(Journey, OneAccountPlaysSavesUploadsEditsSearchesAndLinksItsLibrary) {
    {
        Step step(*this, "sign-in");
        Start(kGold, kGoldPassword);
        ASSERT_TRUE(Connected());
        EXPECT_EQ(frame->windowTitle(), "Velmora Media Player");
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    }
    WebSession web(service.port(), kGold, kGoldPassword);
    ASSERT_TRUE(web.SignedIn());
    {
        Step step(*this, "tree-filled");
        EXPECT_EQ(CLeftView::ItemText(Root()), "My Media");
        EXPECT_EQ(ChildTexts(Root()),
                  (std::vector<std::string>{"Music", "Samples", "Shared tones", "Welcome.aiff"}));
        EXPECT_EQ(view->GetItemImage(Top("Shared tones")), kImageSharedFolder);
        EXPECT_EQ(ChildTexts(Top("Music")), (std::vector<std::string>{"AIFF tones", "Tones"}));
    }
    QTreeWidgetItem* welcome = Top("Welcome.aiff");
    ASSERT_NE(welcome, nullptr);
    {
        Step step(*this, "play-file");
        DoubleClick(welcome);
        ASSERT_TRUE(PumpUntil([&] { return HadImage(welcome, kImagePlaying); }, 20s));
        EXPECT_TRUE(history->Had(welcome, [](const ItemHistory::State& s) {
            return s.text == std::string("Welcome.aiff") + LibraryTransfers::kQueuedForPlay;
        }));
        EXPECT_EQ(CLeftView::ItemText(welcome), "Welcome.aiff");
        EXPECT_NE(std::find(playStates.begin(), playStates.end(), 3), playStates.end())
            << "the player never reported playing";
        EXPECT_EQ(BarText().rfind("Playing: Welcome.aiff", 0), 0u) << BarText();
        EXPECT_TRUE(QFile::exists(QString::fromStdString(CacheFolder()) + "Welcome.aiff"));
        ASSERT_TRUE(PumpUntil([&] { return Rests(view, welcome); }, 20s));
    }
    QTreeWidgetItem* samples = Top("Samples");
    ASSERT_NE(samples, nullptr);
    {
        Step step(*this, "play-folder");
        ASSERT_GT(samples->childCount(), 0);
        playStates.clear();
        DoubleClick(samples);
        // Each file is queued, plays and comes to rest; the playing image
        // comes a second into a play, which the 0.3 s beep never lasts.
        auto played = [&](QTreeWidgetItem* file) {
            const std::string name = CLeftView::ItemText(file);
            return history->Had(file,
                                [&](const ItemHistory::State& s) {
                                    return s.text == name + LibraryTransfers::kQueuedForPlay;
                                }) &&
                   (name == "Short beep.au" || HadImage(file, kImagePlaying)) && Rests(view, file);
        };
        auto allPlayed = [&] {
            for (int i = 0; i < samples->childCount(); ++i)
                if (!played(samples->child(i)))
                    return false;
            return true;
        };
        ASSERT_TRUE(PumpUntil(allPlayed, 30s)) << Describe(samples);
        EXPECT_TRUE(samples->isExpanded());
        EXPECT_NE(std::find(playStates.begin(), playStates.end(), 3), playStates.end())
            << "the player never reported playing";
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    }
    QTemporaryDir saveFolder;
    {
        Step step(*this, "save-to-folder");
        Select(welcome);
        std::vector<std::string> chooserCalls;
        CFolderBrowser::ScopedFolderChooser chooser([&] {
            chooserCalls.push_back("asked");
            return saveFolder.path().toStdString();
        });
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
        QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier); // File > Save...
        EXPECT_EQ(chooserCalls.size(), 1u);
        const std::string key = CLeftView::GetNodeKey(welcome);
        const wire::NodeKeyFields fields = wire::SplitNodeKey(key);
        const std::string served =
            web.Get("/files/" + std::to_string(fields.owner) + "/" + std::to_string(fields.folder) +
                    "/" + std::to_string(fields.file));
        ASSERT_FALSE(served.empty()) << key;
        const QString saved = saveFolder.filePath("Welcome.aiff");
        ASSERT_TRUE(PumpUntil(
            [&] { return QFileInfo(saved).size() == static_cast<qint64>(served.size()); }, 20s));
        PumpUntil([&] { return !view->IsItemBusy(welcome); }, 5s);
        EXPECT_EQ(ReadBytes(saved).toStdString(), served);
        EXPECT_EQ(QDir(saveFolder.path()).entryList(QDir::Files), QStringList{"Welcome.aiff"})
            << "only the finished file is left";
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    }
    QTreeWidgetItem* music = Top("Music");
    ASSERT_NE(music, nullptr);
    QTreeWidgetItem* uploaded = nullptr;
    {
        Step step(*this, "drop-to-upload-and-play");
        QTemporaryDir local;
        for (const auto& [name, bytes] : {std::pair{QString("Journey tone.au"), AuTone(330, 2)},
                                          std::pair{QString("notes.txt"), QByteArray("notes")}}) {
            QFile file(local.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(local.filePath("Journey tone.au")),
                      QUrl::fromLocalFile(local.filePath("notes.txt"))});
        const QPoint at = view->viewport()->mapFrom(frame, At(music));
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &move);
        EXPECT_EQ(view->DropHighlight(), music);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &drop);
        ASSERT_TRUE(drop.isAccepted());
        uploaded = Child(music, "Journey tone.au");
        ASSERT_NE(uploaded, nullptr);
        EXPECT_TRUE(view->IsItemBusy(uploaded)) << "the item animates until the service has it";
        EXPECT_EQ(Child(music, "notes.txt"), nullptr) << "not a media file";
        ASSERT_TRUE(PumpUntil(
            [&] {
                return !view->IsItemBusy(uploaded) &&
                       wire::ClassifyNodeKey(CLeftView::GetNodeKey(uploaded)) ==
                           wire::NodeKind::File;
            },
            20s));
        EXPECT_EQ(view->GetItemImage(uploaded), CLeftView::ImageForName("Journey tone.au"));
        const std::string account = web.Get("/account");
        EXPECT_TRUE(Holds(account, "Journey tone.au")) << account;
        EXPECT_FALSE(Holds(account, "notes.txt"));

        playStates.clear();
        Select(uploaded);
        Key(Qt::Key_P);
        ASSERT_TRUE(PumpUntil([&] { return HadImage(uploaded, kImagePlaying); }, 20s));
        EXPECT_NE(std::find(playStates.begin(), playStates.end(), 3), playStates.end());
        ASSERT_TRUE(PumpUntil([&] { return Rests(view, uploaded); }, 20s));
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    }
    {
        Step step(*this, "new-folder");
        RightClick(music, ID_LIBRARY_NEW);
        ASSERT_EQ(menus.Shown().size(), 1u);
        EXPECT_EQ(menus.Shown()[0].front(), "Play\tP");
        QLineEdit* editor = LabelEditor();
        ASSERT_NE(editor, nullptr) << "the new folder's label opens for its name";
        EXPECT_EQ(editor->text(), "new folder");
        Type(editor, "Journey folder");
        QTest::keyClick(editor, Qt::Key_Return);
        PumpUntil([&] { return LabelEditor() == nullptr; }, 2s);
        QTreeWidgetItem* made = Child(music, "Journey folder");
        ASSERT_NE(made, nullptr) << ::testing::PrintToString(ChildTexts(music));
        EXPECT_EQ(wire::ClassifyNodeKey(CLeftView::GetNodeKey(made)), wire::NodeKind::Folder);
        EXPECT_TRUE(Holds(web.Get("/account"), "Journey folder"));
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    }
    {
        Step step(*this, "rename-with-F2");
        QTreeWidgetItem* made = Child(music, "Journey folder");
        ASSERT_NE(made, nullptr);
        Select(made);
        Key(Qt::Key_F2);
        QLineEdit* editor = LabelEditor();
        ASSERT_NE(editor, nullptr);
        Type(editor, "Road trip");
        QTest::keyClick(editor, Qt::Key_Return);
        PumpUntil([&] { return LabelEditor() == nullptr; }, 2s);
        EXPECT_EQ(CLeftView::ItemText(made), "Road trip");
        const std::string account = web.Get("/account");
        EXPECT_TRUE(Holds(account, "Road trip"));
        EXPECT_FALSE(Holds(account, "Journey folder"));
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    }
    {
        Step step(*this, "delete-with-Del");
        QTreeWidgetItem* renamed = Child(music, "Road trip");
        ASSERT_NE(renamed, nullptr);
        Select(renamed);
        boxes->answerNext(true);
        Key(Qt::Key_Delete);
        EXPECT_EQ(boxes->texts(), std::vector<std::string>{LoadString(122) + "'Road trip'?"});
        EXPECT_EQ(Child(music, "Road trip"), nullptr);
        EXPECT_FALSE(Holds(web.Get("/account"), "Road trip"));
        boxes->clear();
    }
    {
        Step step(*this, "search-with-restart");
        Select(Root());
        Key(Qt::Key_F, Qt::ControlModifier);
        CFindDialog* find = view->FindDialog();
        ASSERT_NE(find, nullptr);
        ASSERT_TRUE(find->isVisible());
        Type(find->FindWhatEdit(), "Tone A4");
        std::vector<QTreeWidgetItem*> found;
        for (int i = 0; i < 2; ++i) {
            QTest::mouseClick(find->FindNextButton(), Qt::LeftButton);
            found.push_back(view->currentItem());
            EXPECT_EQ(CLeftView::ItemText(found.back()).rfind("Tone A4.", 0), 0u);
        }
        EXPECT_NE(found[0], found[1]);
        EXPECT_TRUE(boxes->texts().empty());
        boxes->answerNext(true);
        QTest::mouseClick(find->FindNextButton(), Qt::LeftButton);
        EXPECT_EQ(boxes->texts(),
                  std::vector<std::string>{"No more ocurrences of 'Tone A4' found.\n Would you "
                                           "like to restart the search?"});
        EXPECT_EQ(view->currentItem(), found[0]) << "the search started again";
        screens.Take("search-dialog");
        QTest::mouseClick(find->CancelButton(), Qt::LeftButton);
        PumpUntil([&] { return view->FindDialog() == nullptr; }, 2s);
        EXPECT_EQ(view->FindDialog(), nullptr);
        boxes->clear();
    }
    {
        Step step(*this, "copy-link-F7");
        Select(music);
        QGuiApplication::clipboard()->clear();
        Key(Qt::Key_F7);
        EXPECT_EQ(boxes->texts(), std::vector<std::string>{LoadString(121)});
        const std::string link = QGuiApplication::clipboard()->text().toStdString();
        const std::string origin = ServiceOrigin(service);
        ASSERT_EQ(link.rfind(origin, 0), 0u) << link;
        const std::string page = web.Get(link.substr(origin.size()));
        EXPECT_NE(page.find("<h1>Music</h1>"), std::string::npos) << link << "\n" << page;
        boxes->clear();
    }
    {
        Step step(*this, "email-link-F6");
        const QDir outbox(service.dataDir() + "/outbox");
        const QStringList before = outbox.entryList({"*.eml"}, QDir::Files);
        Select(welcome);
        typedAnswers = {"listener@example.org"};
        Key(Qt::Key_F6);
        EXPECT_EQ(prompts, std::vector<std::string>{LoadString(120)});
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
        const QStringList after = outbox.entryList({"*.eml"}, QDir::Files);
        ASSERT_EQ(after.size(), before.size() + 1);
        QString mail;
        for (const QString& name : after)
            if (!before.contains(name))
                mail = QString::fromUtf8(ReadBytes(outbox.filePath(name)));
        EXPECT_TRUE(mail.contains("listener@example.org")) << mail.toStdString();
        // The mailed link opens the file's page on the service.
        std::smatch link;
        const std::string text = mail.toStdString();
        ASSERT_TRUE(std::regex_search(text, link, std::regex(ServiceOrigin(service) + "(/\\S+)")))
            << text;
        EXPECT_NE(web.Get(link[1].str()).find("Download Welcome.aiff"), std::string::npos)
            << link[1].str();
    }
    {
        Step step(*this, "exit-keeping-the-cache");
        app->ExitInstance();
        app.reset();
        EXPECT_TRUE(QDir(home.path() + "/v_player").exists()) << "clean-up at exit is off";
    }
}

TEST_F(Journey, TwoAccountsShareAFolderTalkAndTheOptionsMoveThePlayer) {
    {
        Step step(*this, "sign-in-first-account");
        Start(kGold, kGoldPassword);
        ASSERT_TRUE(Connected());
    }
    WebSession web(service.port(), kGold, kGoldPassword);
    ASSERT_TRUE(web.SignedIn());
    const std::string hello = "Hello B, Music is yours to hear & 100% shared";
    {
        Step step(*this, "access-lists");
        typedAnswers = {"Journey list"};
        dialogs.Expect<CAclsDialog>([&](CAclsDialog& acls) {
            acls.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&acls));
            AclsRightClick(acls, acls.rootItem(), CAclsDialog::ID_NEW_ACCESS_LIST);
            QTreeWidgetItem* list = ChildStartingWith(acls.rootItem(), "Journey list");
            EXPECT_NE(list, nullptr) << "the new list is shown";
            if (!list)
                return acls.result();
            // The second account found by its account id...
            AclsRightClick(acls, list, CAclsDialog::ID_NEW_USER);
            list = ChildStartingWith(acls.rootItem(), "Journey list");
            EXPECT_NE(ChildStartingWith(list, std::string(kSecond) + "("), nullptr);
            // ... and picked from the public directory into "Friends".
            AclsRightClick(acls, ChildStartingWith(acls.rootItem(), "Friends"),
                           CAclsDialog::ID_NEW_USER);
            list = ChildStartingWith(acls.rootItem(), "Journey list");
            EXPECT_NE(ChildStartingWith(ChildStartingWith(acls.rootItem(), "Friends"),
                                        std::string(kSecond) + "("),
                      nullptr);
            screens.Take("access-lists-filled");
            // A double click on the member opens his user dialog, usable at once.
            QTreeWidgetItem* member = ChildStartingWith(list, std::string(kSecond) + "(");
            EXPECT_NE(member, nullptr);
            if (member) {
                QTest::mouseDClick(acls.tree()->viewport(), Qt::LeftButton, {},
                                   acls.tree()->visualItemRect(member).center());
            }
            CUserDialog* user = UserDialogOf(kSecond);
            EXPECT_NE(user, nullptr) << "the member's user dialog opened";
            if (user) {
                EXPECT_EQ(user->emailEdit()->text(), "bea@example.org");
                Type(user->messageEdit(), hello);
                screens.Take("message-to-second-account");
                QTest::mouseClick(user->sendButton(), Qt::LeftButton);
            }
            QTest::mouseClick(acls.okButton(), Qt::LeftButton);
            return acls.result();
        });
        dialogs.Expect<CAddUserToAclDialog>([&](CAddUserToAclDialog& add) {
            add.show();
            Type(add.accountIdEdit(), kSecond);
            screens.Take("add-user-by-account-id");
            QTest::mouseClick(add.addButton(), Qt::LeftButton);
            return add.result();
        });
        dialogs.Expect<CAddUserToAclDialog>([&](CAddUserToAclDialog& add) {
            add.show();
            QTest::mouseClick(add.reloadButton(), Qt::LeftButton);
            CPublicDirectoryList* directory = add.directoryList();
            QTableWidgetItem* row = nullptr;
            for (int r = 0; r < directory->rowCount(); ++r)
                if (directory->item(r, 0)->text() == kSecond)
                    row = directory->item(r, 0);
            EXPECT_NE(row, nullptr) << "the public directory lists the second account";
            if (row) {
                QTest::mouseClick(directory->viewport(), Qt::LeftButton, {},
                                  directory->visualItemRect(row).center());
            }
            EXPECT_EQ(add.accountIdEdit()->text(), kSecond);
            screens.Take("add-user-from-directory");
            QTest::mouseClick(add.addButton(), Qt::LeftButton);
            return add.result();
        });
        MenuCommand("Tools", CMainFrame::ID_TOOLS_ACCESS_LISTS);
        EXPECT_EQ(prompts, std::vector<std::string>{LoadString(112)});
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
        const std::string acls = web.Get("/acls");
        EXPECT_TRUE(ListHolds(acls, "Journey list", kSecond)) << acls;
        EXPECT_TRUE(ListHolds(acls, "Friends", kSecond)) << acls;
        // The user dialog outlives the access lists dialog.
        CUserDialog* user = UserDialogOf(kSecond);
        ASSERT_NE(user, nullptr);
        QTest::mouseClick(user->closeButton(), Qt::LeftButton);
        EXPECT_FALSE(user->isVisible());
    }
    QTreeWidgetItem* music = Top("Music");
    ASSERT_NE(music, nullptr);
    {
        Step step(*this, "share-a-folder");
        dialogs.Expect<CAclsDialog>([&](CAclsDialog& acls) {
            acls.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&acls));
            EXPECT_EQ(acls.mode, CAclsDialog::Sharing);
            QTreeWidgetItem* list = ChildStartingWith(acls.rootItem(), "Journey list");
            EXPECT_NE(list, nullptr);
            // On the tree itself: the menu was chosen from while the right
            // button that opened it is still down, which a person's click
            // on the entry never leaves behind.
            if (list) {
                acls.tree()->scrollToItem(list);
                QTest::mouseClick(acls.tree()->viewport(), Qt::LeftButton, {},
                                  acls.tree()->visualItemRect(list).center());
            }
            screens.Take("share-dialog");
            QTest::mouseClick(acls.okButton(), Qt::LeftButton);
            return acls.result();
        });
        RightClick(music, ID_LIBRARY_SHARE);
        EXPECT_EQ(view->GetItemImage(music), kImageSharedFolder);
        const std::string account = web.Get("/account");
        EXPECT_TRUE(Holds(account, "Music"));
        EXPECT_EQ(account.find("name=\"Music\" acl=\"0\""), std::string::npos)
            << "the service holds Music as shared";
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    }
    {
        Step step(*this, "refresh-as-second-account");
        ExpectSignIn(kSecond, kSecondPassword);
        Key(Qt::Key_F5);
        ASSERT_TRUE(Connected());
        QTreeWidgetItem* gold = ChildStartingWith(Root(), std::string(kGold) + "(");
        ASSERT_NE(gold, nullptr) << ::testing::PrintToString(ChildTexts(Root()));
        // Music through the new list, "Shared tones" through "Friends".
        EXPECT_NE(Child(gold, "Music"), nullptr) << ::testing::PrintToString(ChildTexts(gold));
        EXPECT_NE(Child(gold, "Shared tones"), nullptr);
    }
    const std::string reply = "Thanks, A! Playing it now.";
    {
        Step step(*this, "second-account-reads-and-answers");
        QTreeWidgetItem* gold = ChildStartingWith(Root(), std::string(kGold) + "(");
        ASSERT_NE(gold, nullptr);
        DoubleClick(gold); // Play on a sharing user opens his user dialog
        CUserDialog* user = UserDialogOf(kGold);
        ASSERT_NE(user, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return !Conversation(user).empty(); }, 10s));
        EXPECT_EQ(Conversation(user), hello);
        Type(user->messageEdit(), reply);
        screens.Take("answer-to-first-account");
        QTest::mouseClick(user->sendButton(), Qt::LeftButton);
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
        QTest::mouseClick(user->closeButton(), Qt::LeftButton);
    }
    {
        Step step(*this, "first-account-reads-the-answer");
        ExpectSignIn(kGold, kGoldPassword);
        Key(Qt::Key_F5);
        ASSERT_TRUE(Connected());
        dialogs.Expect<CAclsDialog>([&](CAclsDialog& acls) {
            acls.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&acls));
            QTreeWidgetItem* member = ChildStartingWith(
                ChildStartingWith(acls.rootItem(), "Journey list"), std::string(kSecond) + "(");
            EXPECT_NE(member, nullptr);
            if (member) {
                QTest::mouseDClick(acls.tree()->viewport(), Qt::LeftButton, {},
                                   acls.tree()->visualItemRect(member).center());
            }
            QTest::mouseClick(acls.cancelButton(), Qt::LeftButton);
            return acls.result();
        });
        MenuCommand("Tools", CMainFrame::ID_TOOLS_ACCESS_LISTS);
        CUserDialog* user = UserDialogOf(kSecond);
        ASSERT_NE(user, nullptr);
        ASSERT_TRUE(
            PumpUntil([&] { return Conversation(user).find(reply) != std::string::npos; }, 10s))
            << Conversation(user);
        screens.Take("answer-arrived");
        QTest::mouseClick(user->closeButton(), Qt::LeftButton);
    }
    ServiceProcess moved;
    {
        Step step(*this, "options-move-to-another-service");
        // Another host and port: a second service on another loopback address.
        ASSERT_TRUE(moved.launch({"--hash-cost", "test", "--quiet", "--seed-demo", "--serve",
                                  "--listen", "127.0.0.2", "--port", "0"}));
        const int movedPort = moved.waitForPort();
        ASSERT_GT(movedPort, 0) << "the second velmora-service did not start";
        dialogs.Expect<COptionsDialog>([&](COptionsDialog& options) {
            options.show();
            EXPECT_EQ(options.hostEdit()->text(), "127.0.0.1");
            EXPECT_EQ(options.portEdit()->text().toStdString(), std::to_string(service.port()));
            Type(options.hostEdit(), "127.0.0.2");
            Type(options.portEdit(), std::to_string(movedPort));
            options.cleanUpBox()->setFocus();
            QTest::keyClick(options.cleanUpBox(), Qt::Key_Space);
            EXPECT_TRUE(options.cleanUpBox()->isChecked());
            screens.Take("options-dialog");
            QTest::mouseClick(options.okButton(), Qt::LeftButton);
            return options.result();
        });
        MenuCommand("Tools", CMainFrame::ID_TOOLS_OPTIONS);
        EXPECT_EQ(settings.store()->Host(), "127.0.0.2");
        EXPECT_EQ(settings.store()->Port(), movedPort);
        EXPECT_TRUE(IsTrue(settings.store()->CleanUpOnExit()));
        // The first service is gone: only the new address can sign in now.
        service.stop();
        ExpectSignIn(kGold, kGoldPassword);
        Key(Qt::Key_F5);
        ASSERT_TRUE(Connected()) << ::testing::PrintToString(boxes->texts());
        ASSERT_NE(Top("Music"), nullptr);
        EXPECT_EQ(view->GetItemImage(Top("Music")), kImageFolder)
            << "a freshly seeded service, where Music is nobody's share";
        // Links now name the service in use.
        Select(Top("Music"));
        Key(Qt::Key_F7);
        const std::string link = QGuiApplication::clipboard()->text().toStdString();
        EXPECT_EQ(link.rfind("http://127.0.0.2:" + std::to_string(movedPort) + "/", 0), 0u) << link;
        EXPECT_EQ(boxes->texts(), std::vector<std::string>{LoadString(121)});
        boxes->clear();
    }
    {
        Step step(*this, "sign-out");
        ExpectCancelledSignIn();
        Key(Qt::Key_F5);
        EXPECT_FALSE(Connected());
        EXPECT_EQ(ChildTexts(Root()), std::vector<std::string>{});
        EXPECT_EQ(CLeftView::ItemText(Root()), "My Media");
    }
    {
        Step step(*this, "exit-cleaning-the-cache");
        const QString cache = home.path() + "/v_player";
        EXPECT_TRUE(QDir(cache).exists());
        app->ExitInstance();
        app.reset();
        EXPECT_FALSE(QDir(cache).exists());
    }
}

} // namespace
