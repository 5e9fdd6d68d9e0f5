// What a screen reader finds in each window of the program: every control
// the keyboard reaches, and every button that shows only an icon, has a
// name; an icon-only button says what its tool tip says; Tab visits the
// controls in the order they are seen and comes round to the start.

#include "about_dialog.h"
#include "acls_dialog.h"
#include "add_user_dialog.h"
#include "communicate_acl_dialog.h"
#include "dialog_test_support.h"
#include "find_dialog.h"
#include "folder_browser.h"
#include "input_box_dialog.h"
#include "main_frame.h"
#include "options_dialog.h"
#include "signin_dialog.h"
#include "temp_settings.h"
#include "user_dialogs.h"
#include "velmora_player_app.h"
#include "velmora_player_dialog_bar.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

class NoBarText : public BarTextSource {
public:
    std::string GetStatusText() override { return {}; }
    void RefreshAppMessages() override {}
    std::string GetCurrentMessageUrl() override { return {}; }
    std::string GetCurrentMessageId() override { return {}; }
};

bool IconOnly(const QWidget* widget) {
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    if (!button || button->icon().isNull())
        return false;
    const auto* tool = qobject_cast<const QToolButton*>(button);
    return button->text().isEmpty() || (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly);
}

QString Describe(const QWidget* widget, const QString& name) {
    return QString("%1 '%2' named '%3'")
        .arg(widget->metaObject()->className(), widget->objectName(), name);
}

// Every visible control under the interface, as a screen reader walks it.
void Walk(QAccessibleInterface* parent, const QWidget* window, QStringList& unnamed) {
    for (int i = 0; i < parent->childCount(); ++i) {
        QAccessibleInterface* child = parent->child(i);
        auto* widget = child ? qobject_cast<QWidget*>(child->object()) : nullptr;
        // Items of lists and trees carry their own text; hidden controls
        // are out of reach.
        if (!widget || !widget->isVisibleTo(window))
            continue;
        const QString name = child->text(QAccessible::Name);
        const bool reachable = (widget->focusPolicy() & Qt::TabFocus) != 0;
        if ((reachable || IconOnly(widget)) && name.trimmed().isEmpty())
            unnamed << Describe(widget, name);
        if (IconOnly(widget) && widget->toolTip() != name)
            unnamed << Describe(widget, name) + " with the tool tip '" + widget->toolTip() + "'";
        Walk(child, window, unnamed);
    }
}

QString NameOf(QWidget* widget) {
    QAccessibleInterface* face = widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    return face ? face->text(QAccessible::Name) : QString("(none)");
}

class AccessibilityTest;

struct WindowCase {
    const char* name;
    QWidget* (*open)(AccessibilityTest&);
    // The names Tab visits from the first focus; empty when the window's
    // order is Qt's own.
    QStringList tabOrder;
};

void PrintTo(const WindowCase& c, std::ostream* os) {
    *os << c.name;
}

class AccessibilityTest : public test::SignedInTest,
                          public ::testing::WithParamInterface<WindowCase> {
public:
    QTemporaryDir dir;
    test::TempSettings settings;
    NoBarText barText;
    std::vector<std::unique_ptr<QWidget>> windows;
    QWidget owner;
    std::unique_ptr<UserDialogs> userDialogs;

    template <class Dialog> Dialog* Keep(std::unique_ptr<Dialog> dialog) {
        Dialog* raw = dialog.get();
        windows.push_back(std::move(dialog));
        return raw;
    }

protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path() + "/config");
        proxy->account->lists.push_back(std::make_shared<test::ScriptedAccessList>(10, "Friends"));
        SignIn(test::Tier{true, true, false});
    }
    void TearDown() override {
        userDialogs.reset();
        windows.clear();
        SignedInTest::TearDown();
    }
};

UserRecord Frank() {
    UserRecord user;
    user.id = 42;
    user.accountId = "frank";
    user.firstName = "Frank";
    user.lastName = "Free";
    user.email = "frank@example.org";
    return user;
}

const WindowCase kWindows[] = {
    {"MainFrame",
     [](AccessibilityTest& t) -> QWidget* {
         auto* frame =
             t.Keep(std::make_unique<CMainFrame>(&t.barText, Cvelmora_playerApp::DefaultPanes()));
         EXPECT_TRUE(frame->Create());
         return frame;
     },
     {}},
    {"SignIn",
     [](AccessibilityTest& t) -> QWidget* { return t.Keep(std::make_unique<CSigninDlg>()); },
     {"Account Id", "Password", "Ok", "Cancel"}},
    {"Options",
     [](AccessibilityTest& t) -> QWidget* { return t.Keep(std::make_unique<COptionsDialog>()); },
     {"Host Name", "Port", "Clean up local cache on exit", "Repeat on play", "Ok", "Cancel"}},
    {"Prompt",
     [](AccessibilityTest& t) -> QWidget* {
         auto* prompt = t.Keep(std::make_unique<CInputBoxDialog>());
         prompt->SetPrompt("Enter name of the access list");
         return prompt;
     },
     {"Enter name of the access list", "Ok", "Cancel"}},
    {"About",
     [](AccessibilityTest& t) -> QWidget* { return t.Keep(std::make_unique<CAboutDlg>()); },
     {"Legal notice", "Ok", "Help..."}},
    {"Find",
     [](AccessibilityTest& t) -> QWidget* {
         return t.Keep(std::make_unique<CFindDialog>("song", nullptr));
     },
     {"Find what:", "Match whole word only", "Match case", "Down", "Find Next", "Cancel"}},
    {"FolderBrowser",
     [](AccessibilityTest& t) -> QWidget* { return t.Keep(std::make_unique<CFolderBrowser>()); },
     {}},
    {"AccessLists",
     [](AccessibilityTest& t) -> QWidget* { return t.Keep(std::make_unique<CAclsDialog>()); },
     {"Access lists", "Close"}},
    {"AddUser",
     [](AccessibilityTest& t) -> QWidget* {
         auto* add = t.Keep(std::make_unique<CAddUserToAclDialog>());
         add->listName = "Friends";
         return add;
     },
     {"Account Id", "Email Address", "Find!", "Show...", "Public Directory", "Reload", "Add",
      "Cancel"}},
    {"User",
     [](AccessibilityTest& t) -> QWidget* {
         t.userDialogs = std::make_unique<UserDialogs>(t.owner);
         const UserRecord frank = Frank();
         return t.userDialogs->Open(frank.id, &frank, false);
     },
     {"Message", "Conversation", "Send", "Email", "Close", "Account Id", "First Name", "Last Name",
      "Email Address"}},
    {"Communicate",
     [](AccessibilityTest& t) -> QWidget* {
         auto* communicate = t.Keep(std::make_unique<CCommunicateAclDialog>());
         communicate->listId = 10;
         return communicate;
     },
     {"Message", "Email", "Send", "Close"}},
};

TEST_P(AccessibilityTest, EveryControlHasANameAndTabGoesRoundInOrder) {
    QWidget* window = GetParam().open(*this);
    ASSERT_NE(window, nullptr);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));

    QStringList unnamed;
    Walk(QAccessible::queryAccessibleInterface(window), window, unnamed);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join("\n").toStdString();

    const QStringList& order = GetParam().tabOrder;
    if (order.isEmpty())
        return;
    std::vector<std::string> visited;
    for (qsizetype i = 0; i <= order.size(); ++i) {
        visited.push_back(NameOf(QApplication::focusWidget()).toStdString());
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
    }
    std::vector<std::string> expected;
    for (const QString& name : order)
        expected.push_back(name.toStdString());
    expected.push_back(expected.front()); // and round to the start
    EXPECT_EQ(visited, expected);
}

INSTANTIATE_TEST_SUITE_P(Windows, AccessibilityTest, ::testing::ValuesIn(kWindows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
