// Each dialog of the program completed with the keyboard alone: keys go to
// whatever has the keyboard focus (or to the open menu), through Qt's
// shortcut handling, as a person would type them.

#include "about_dialog.h"
#include "acls_dialog.h"
#include "add_user_dialog.h"
#include "communicate_acl_dialog.h"
#include "custom_tree_ctrl.h"
#include "desktop_services.h"
#include "dialog_test_support.h"
#include "event_pump.h"
#include "find_dialog.h"
#include "input_box_dialog.h"
#include "main_frame.h"
#include "menu_xp.h"
#include "modal_runner.h"
#include "options_dialog.h"
#include "public_directory_list.h"
#include "signin_dialog.h"
#include "temp_settings.h"
#include "text_prompt.h"
#include "user_dialogs.h"
#include "user_record.h"
#include "velmora_player_app.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

using namespace velmora;

namespace {

// One key press, or a text typed key by key.
struct Key {
    Qt::Key key = Qt::Key_unknown;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    const char* text = nullptr;
};
Key Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    return {key, modifiers, nullptr};
}
Key Type(const char* text) {
    return {Qt::Key_unknown, Qt::NoModifier, text};
}

void Send(const Key& k) {
    // No widget given: QTest picks the open menu, else the focus widget.
    if (k.text)
        QTest::keyClicks(static_cast<QWidget*>(nullptr), k.text);
    else
        QTest::keyClick(static_cast<QWidget*>(nullptr), k.key, k.modifiers);
}

// A button still held down has its key's release waiting in the queue; the
// next step waits for it, as an Escape between a Space's press and release
// would cancel the button's press (for a person too).
bool ReleasePending() {
    auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    return button && button->isDown();
}

// The keys for one window, typed once it is up with the keyboard in it.
struct Step {
    const char* window;
    bool (*ready)();
    std::vector<Key> keys;
};

// A dialog of that kind is the active window, with the keyboard in it and no
// menu open. A window manager hands the activation back to a window when the
// one above it closes; the offscreen platform does not, so that is done here.
template <class Window> bool Up() {
    if (QApplication::activePopupWidget())
        return false;
    Window* found = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* w = qobject_cast<Window*>(top); w && w->isVisible() && !w->isHidden())
            found = w;
    if (!found)
        return false;
    if (QApplication::activeModalWidget() && QApplication::activeModalWidget() != found)
        return false;
    if (QApplication::activeWindow() != found) {
        found->activateWindow();
        return false;
    }
    QWidget* focus = QApplication::focusWidget();
    return focus && found->isAncestorOf(focus);
}

// The access lists dialog's context menu, and the "New" menu inside it.
bool MenuUp() {
    auto* menu = qobject_cast<CMenuXP*>(QApplication::activePopupWidget());
    return menu && !qobject_cast<CMenuXP*>(menu->parent());
}
bool SubmenuUp() {
    auto* menu = qobject_cast<CMenuXP*>(QApplication::activePopupWidget());
    return menu && qobject_cast<CMenuXP*>(menu->parent());
}

// Runs the steps from timers of the event loop, so they go on inside the
// loops that modal dialogs and menus run. A step that never becomes ready
// ends every open menu and dialog, so the test fails rather than hangs.
class KeyScript {
public:
    explicit KeyScript(std::vector<Step> steps) : steps_(std::move(steps)) {}
    void Start() {
        clock_.start();
        Schedule();
    }
    bool Done() const { return next_ == steps_.size(); }
    // The window the script waited for in vain, or empty.
    std::string Stuck() const { return stuck_; }

private:
    void Schedule() {
        QTimer::singleShot(5, &context_, [this] { Poll(); });
    }
    void Poll() {
        if (!stuck_.empty())
            return;
        if (Done()) {
            // The last keys should have closed every menu and modal dialog;
            // one left open would hold the test in its loop for good.
            if (!QApplication::activePopupWidget() && !QApplication::activeModalWidget())
                return;
            if (clock_.elapsed() > 5000)
                GiveUp("a window still open after the last keys");
            else
                Schedule();
            return;
        }
        const Step& step = steps_[next_];
        if (ReleasePending() || !step.ready()) {
            // A first window of a sanitizer build can take seconds to show.
            if (clock_.elapsed() > 30000)
                GiveUp(step.window);
            else
                Schedule();
            return;
        }
        ++next_;
        clock_.restart();
        // Before the keys: they may open a window that runs its own loop.
        Schedule();
        for (const Key& key : step.keys)
            Send(key);
    }
    void GiveUp(const char* window) {
        stuck_ = window;
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        while (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->reject();
        // A dialog whose modality the window system has not taken up yet.
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(top); dialog && dialog->isVisible())
                dialog->reject();
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QElapsedTimer clock_;
    std::string stuck_;
    QObject context_;
};

// A list that holds members, with the service's changes landing in it.
class MemberList : public test::ScriptedAccessList {
public:
    using ScriptedAccessList::ScriptedAccessList;
    std::int32_t MemberCount() override { return static_cast<std::int32_t>(members.size()); }
    ComPtr Member(std::int32_t index) override { return members.at(index); }
    std::vector<std::shared_ptr<test::ScriptedProfile>> members;
};

// The lists live in the account object itself: the service's answer is what
// the proxy changed there.
class ListsAccount : public test::ScriptedAccount {
public:
    void SetAccessLists(const std::string&) override {}
};

class ListsProxy : public test::ScriptedProxy {
public:
    ListsProxy() { account = std::make_shared<ListsAccount>(); }
    std::shared_ptr<test::ScriptedProfile> ben =
        std::make_shared<test::ScriptedProfile>(23, "ben", "Ben", "Brook");

    void CreateAccessList(const std::string& name) override {
        ScriptedProxy::CreateAccessList(name);
        account->lists.push_back(std::make_shared<MemberList>(40, name));
    }
    void AddUserToAccessList(std::int32_t id, std::int32_t userId) override {
        ScriptedProxy::AddUserToAccessList(id, userId);
        for (auto& list : account->lists)
            if (list->id_ == id && userId == ben->userId)
                static_cast<MemberList&>(*list).members.push_back(ben);
    }
    std::string FindUserById(const std::string& accountId) override {
        ScriptedProxy::FindUserById(accountId);
        return accountId == "ben"
                   ? R"(<user id="23" accountid="ben" first_name="Ben" last_name="Brook"/>)"
                   : "";
    }
};

class KeyboardTest;

// The keys for the windows of one dialog; run opens the dialog, returns once
// the keys are done with it and checks what they achieved.
struct KeyCase {
    const char* name;
    std::vector<Step> steps;
    void (*run)(KeyboardTest&, KeyScript&);
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyboardTest : public test::SignedInTest, public ::testing::WithParamInterface<KeyCase> {
public:
    using SignedInTest::callsOf;
    std::shared_ptr<ListsProxy> lists = std::make_shared<ListsProxy>();
    test::TempSettings settings;
    ScopedTextPrompter prompter{[](const std::string& prompt, const std::string& initial) {
        return Prompt(prompt, initial);
    }};
    std::vector<std::string> opened;
    DesktopActions previousActions;

    static int RunModalDialog(QDialog& dialog, KeyScript& script) {
        script.Start();
        return RunModal(dialog);
    }
    static void RunModeless(QWidget& window, KeyScript& script) {
        script.Start();
        window.show();
        test::PumpUntil([&] { return script.Done() || !script.Stuck().empty(); });
    }

protected:
    void SetUp() override {
        proxy = lists;
        SignIn(test::Tier{true, true, false});
        previousActions = InstallDesktopActions(
            {[this](const std::string& url) { return opened.push_back(url), true; }, {}});
    }
    void TearDown() override {
        InstallDesktopActions(previousActions);
        SignedInTest::TearDown();
    }
};

std::vector<std::string> Labels(QTreeWidgetItem* item, std::vector<std::string> out = {}) {
    out.push_back(item->text(0).toStdString());
    for (int i = 0; i < item->childCount(); ++i)
        out = Labels(item->child(i), std::move(out));
    return out;
}

const KeyCase kCases[] = {
    {"SignIn",
     {{"sign-in",
       Up<CSigninDlg>,
       {Type("ada"), Press(Qt::Key_Tab), Type("secret"), Press(Qt::Key_Return)}}},
     [](KeyboardTest&, KeyScript& script) {
         CSigninDlg dialog;
         EXPECT_EQ(KeyboardTest::RunModalDialog(dialog, script), QDialog::Accepted);
         EXPECT_EQ(dialog.accountId + "/" + dialog.password, "ada/secret");
     }},
    {"OptionsSaved",
     {{"options",
       Up<COptionsDialog>,
       {Press(Qt::Key_A, Qt::ControlModifier), Type("media.example.org"),
        Press(Qt::Key_P, Qt::AltModifier), Type("8081"), Press(Qt::Key_Tab), Press(Qt::Key_Space),
        Press(Qt::Key_Tab), Press(Qt::Key_Space), Press(Qt::Key_Return)}}},
     [](KeyboardTest& t, KeyScript& script) {
         auto store = t.settings.store();
         store->SetHost("old.example.org");
         store->SetPort(80);
         Cvelmora_playerApp app;
         script.Start();
         app.OnCommand(CMainFrame::ID_TOOLS_OPTIONS);
         EXPECT_EQ(store->Host(), "media.example.org");
         EXPECT_EQ(store->Port(), 8081);
         EXPECT_TRUE(IsTrue(store->CleanUpOnExit()));
         EXPECT_EQ(store->GetValue("repeat_on_play"), "yes");
     }},
    {"AboutHelpThenEscape",
     {{"about", Up<CAboutDlg>, {Press(Qt::Key_Tab), Press(Qt::Key_Tab), Press(Qt::Key_Space)}},
      {"about", Up<CAboutDlg>, {Press(Qt::Key_Escape)}}},
     [](KeyboardTest& t, KeyScript& script) {
         CAboutDlg about;
         EXPECT_EQ(KeyboardTest::RunModalDialog(about, script), QDialog::Rejected);
         EXPECT_EQ(t.opened.size(), 1u);
     }},
    {"FindNextThenEscape",
     {{"find",
       Up<CFindDialog>,
       {Press(Qt::Key_Tab), Press(Qt::Key_Tab), Press(Qt::Key_Space),
        Press(Qt::Key_N, Qt::AltModifier), Type("song"), Press(Qt::Key_Return),
        Press(Qt::Key_Escape)}}},
     [](KeyboardTest&, KeyScript& script) {
         CFindDialog dialog("", nullptr);
         QSignalSpy found(&dialog, &CFindDialog::findNext);
         QSignalSpy closing(&dialog, &CFindDialog::closing);
         KeyboardTest::RunModeless(dialog, script);
         EXPECT_EQ(found, (QList<QVariantList>{{"song", true, false}}));
         EXPECT_EQ(closing, (QList<QVariantList>{{"song"}}));
         EXPECT_FALSE(dialog.isVisible());
     }},
    {"AccessListCreatedAndMemberAdded",
     {// New > Access List... from the context menu, named in the prompt.
      {"access lists", Up<CAclsDialog>, {Press(Qt::Key_F10, Qt::ShiftModifier)}},
      {"context menu", MenuUp, {Press(Qt::Key_Down), Press(Qt::Key_Right)}},
      {"New menu", SubmenuUp, {Press(Qt::Key_Down), Press(Qt::Key_Return)}},
      {"prompt",
       Up<CInputBoxDialog>,
       {Press(Qt::Key_A, Qt::ControlModifier), Type("Family"), Press(Qt::Key_Return)}},
      // The new list is the last item: New > User... on it.
      {"access lists",
       Up<CAclsDialog>,
       {Press(Qt::Key_End), Press(Qt::Key_F10, Qt::ShiftModifier)}},
      {"context menu", MenuUp, {Press(Qt::Key_Down), Press(Qt::Key_Right)}},
      {"New menu", SubmenuUp, {Press(Qt::Key_Return)}},
      {"add user", Up<CAddUserToAclDialog>, {Type("ben"), Press(Qt::Key_Return)}},
      {"access lists", Up<CAclsDialog>, {Press(Qt::Key_Return)}}},
     [](KeyboardTest& t, KeyScript& script) {
         t.lists->account->lists = {std::make_shared<MemberList>(10, "Friends")};
         CAclsDialog dialog;
         EXPECT_EQ(KeyboardTest::RunModalDialog(dialog, script), QDialog::Accepted);
         EXPECT_EQ(t.callsOf("CreateAccessList"),
                   std::vector<std::string>{"CreateAccessList(Family)"});
         EXPECT_EQ(t.callsOf("AddUserToAccessList"),
                   std::vector<std::string>{"AddUserToAccessList(40,23)"});
         EXPECT_EQ(
             Labels(dialog.rootItem()),
             (std::vector<std::string>{"access lists", "Friends", "Family", "ben(Ben Brook)"}));
     }},
    {"UserMessageSent",
     {{"user",
       Up<CUserDialog>,
       {Type("hello"), Press(Qt::Key_Tab), Press(Qt::Key_Tab), Press(Qt::Key_Space),
        Press(Qt::Key_Escape)}}},
     [](KeyboardTest& t, KeyScript& script) {
         QWidget owner;
         UserDialogs dialogs(owner);
         UserRecord frank;
         frank.id = 42;
         script.Start();
         CUserDialog* dialog = dialogs.Open(frank.id, &frank, false);
         test::PumpUntil([&] { return script.Done() || !script.Stuck().empty(); });
         EXPECT_EQ(t.callsOf("SendUserMessage"),
                   std::vector<std::string>{"SendUserMessage(42,-1,hello)"});
         EXPECT_FALSE(dialog->isVisible());
     }},
    {"ListMessageSent",
     {{"communicate",
       Up<CCommunicateAclDialog>,
       {Type("hi all"), Press(Qt::Key_Tab), Press(Qt::Key_Tab), Press(Qt::Key_Space),
        Press(Qt::Key_Escape)}}},
     [](KeyboardTest& t, KeyScript& script) {
         CCommunicateAclDialog dialog;
         dialog.listId = 10;
         EXPECT_EQ(KeyboardTest::RunModalDialog(dialog, script), QDialog::Rejected);
         EXPECT_EQ(t.callsOf("SendUserMessage"),
                   std::vector<std::string>{"SendUserMessage(-1,10,hi all)"});
     }},
};

TEST_P(KeyboardTest, TheDialogIsCompletedFromTheKeyboard) {
    const KeyCase& c = GetParam();
    KeyScript script(c.steps);
    c.run(*this, script);
    EXPECT_EQ(script.Stuck(), "");
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
}

INSTANTIATE_TEST_SUITE_P(Dialogs, KeyboardTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Space or Enter on the directory's current row takes that row as a click
// does; Enter goes on to the dialog's default button, Space stays in the list.
struct DirectoryKeyCase {
    const char* name;
    std::vector<Key> keys;
    std::vector<int> taken;
    bool passedOn;
};

void PrintTo(const DirectoryKeyCase& c, std::ostream* os) {
    *os << c.name;
}

class DirectoryKeys : public ::testing::TestWithParam<DirectoryKeyCase> {};

// Records whether a key reached the list's parent.
class KeySink : public QWidget {
public:
    bool reached = false;

protected:
    void keyPressEvent(QKeyEvent*) override { reached = true; }
};

TEST_P(DirectoryKeys, TakeTheCurrentRow) {
    KeySink parent;
    auto* list = new CPublicDirectoryList(&parent);
    for (const char* id : {"ben", "carla", "dora"}) {
        UserRecord user;
        user.accountId = id;
        list->AppendUser(user);
    }
    list->setCurrentCell(0, 0);
    std::vector<int> taken;
    QObject::connect(list, &CPublicDirectoryList::rowClicked,
                     [&](int row) { taken.push_back(row); });
    for (const Key& key : GetParam().keys)
        QTest::keyClick(list, key.key, key.modifiers);
    EXPECT_EQ(taken, GetParam().taken);
    EXPECT_EQ(parent.reached, GetParam().passedOn);
}

INSTANTIATE_TEST_SUITE_P(
    Directory, DirectoryKeys,
    ::testing::Values(
        DirectoryKeyCase{
            "SpaceTakesTheRow", {Press(Qt::Key_Down), Press(Qt::Key_Space)}, {1}, false},
        DirectoryKeyCase{"EnterTakesTheRowAndGoesOn",
                         {Press(Qt::Key_Down), Press(Qt::Key_Down), Press(Qt::Key_Return)},
                         {2},
                         true},
        DirectoryKeyCase{"KeypadEnterToo", {Press(Qt::Key_Enter, Qt::KeypadModifier)}, {0}, true},
        DirectoryKeyCase{"ArrowsAloneTakeNothing", {Press(Qt::Key_Down)}, {}, false},
        DirectoryKeyCase{
            "ShiftSpaceIsNoPick", {Press(Qt::Key_Space, Qt::ShiftModifier)}, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
