#include "dialog_test_support.h"
#include "left_view.h"
#include "library_images.h"
#include "messaging_test_support.h"
#include "user_dialog.h"
#include "user_record.h"
#include "window_messages.h"

#include <QGroupBox>
#include <QLabel>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

using namespace velmora;
using test::MessagesXml;
using test::Tier;

namespace {

UserRecord Frank() {
    UserRecord user;
    user.id = 42;
    user.accountId = "demo-free";
    user.firstName = "Frank";
    user.lastName = "Free";
    user.email = "frank@example.org";
    return user;
}

class UserDialogTest : public test::SignedInTest {
protected:
    // The program ends its views (and their dialogs) before the context.
    std::unique_ptr<CLeftView> owner = std::make_unique<CLeftView>();
    CLeftView& view = *owner;
    void TearDown() override {
        owner.reset();
        SignedInTest::TearDown();
    }

    CUserDialog* open(const UserRecord& user) {
        const LRESULT answer = SendMessage(&view, UM_OPEN_USER_DIALOG, static_cast<WPARAM>(user.id),
                                           reinterpret_cast<LPARAM>(&user));
        auto* dialog = qobject_cast<CUserDialog*>(WindowFromHandle(static_cast<Handle>(answer)));
        EXPECT_EQ(dialog, view.GetUserDialogs().Find(user.id));
        return dialog;
    }
    void receive(CUserDialog* dialog, const std::string& text) {
        const XmlNode message(MessagesXml({{"42", text}}));
        SendMessage(dialog->InboxHandle(), UM_USER_MESSAGE, 0,
                    reinterpret_cast<LPARAM>(&message.Child(0)));
    }
};

struct TierCase {
    const char* name;
    Tier tier;
    // After Send and then Email with a message typed: the boxes shown and
    // the service calls made.
    std::vector<std::string> shown;
    std::vector<std::string> calls;
};

void PrintTo(const TierCase& c, std::ostream* os) {
    *os << c.name;
}

class UserDialogTier : public UserDialogTest, public ::testing::WithParamInterface<TierCase> {};

const std::string kGoldOnly = "This feature is only available to 'gold' and 'platinum' accounts";
const std::string kNotFree = "This feature is not available to free accounts";
const std::string kMessageCall = "SendUserMessage(42,-1,hello there)";
const std::string kEmailCall = "SendEmail(ada,frank@example.org,hello there)";

} // namespace

TEST_P(UserDialogTier, SendNeedsGoldOrPlatinumAndEmailNeedsPlus) {
    const TierCase& c = GetParam();
    SignIn(c.tier);
    CUserDialog* dialog = open(Frank());
    dialog->messageEdit()->setPlainText("hello there");
    QTest::mouseClick(dialog->sendButton(), Qt::LeftButton);
    QTest::mouseClick(dialog->emailButton(), Qt::LeftButton);
    std::vector<std::string> calls = callsOf("SendUserMessage");
    for (const std::string& call : callsOf("SendEmail"))
        calls.push_back(call);
    EXPECT_EQ(boxes->texts(), c.shown);
    EXPECT_EQ(calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Tiers, UserDialogTier,
    ::testing::Values(TierCase{"Free", {}, {kGoldOnly, kNotFree}, {}},
                      TierCase{"Plus", {true, false, false}, {kGoldOnly}, {kEmailCall}},
                      TierCase{"GoldWithoutPlus", {false, true, false}, {kNotFree}, {kMessageCall}},
                      TierCase{
                          "PlatinumAndPlus", {true, false, true}, {}, {kMessageCall, kEmailCall}}),
    [](const ::testing::TestParamInfo<TierCase>& info) { return info.param.name; });

TEST_F(UserDialogTest, AnEmptyMessageIsRefusedAndAFailedSendShowsTheLastError) {
    SignIn({true, true, false});
    CUserDialog* dialog = open(Frank());
    QTest::mouseClick(dialog->sendButton(), Qt::LeftButton);
    QTest::mouseClick(dialog->emailButton(), Qt::LeftButton);
    EXPECT_EQ(boxes->texts(), (std::vector<std::string>{"Empty message", "Empty message"}));
    EXPECT_TRUE(proxy->calls.empty());

    boxes->clear();
    proxy->failOn("SendUserMessage", "Service unreachable");
    dialog->messageEdit()->setPlainText("hi");
    QTest::mouseClick(dialog->sendButton(), Qt::LeftButton);
    ASSERT_EQ(boxes->texts().size(), 1u);
    EXPECT_EQ(boxes->texts()[0], client().GetLastError());
    EXPECT_NE(boxes->texts()[0].find("Service unreachable"), std::string::npos);
    // The dialog stays as it was: the text is neither cleared nor added.
    EXPECT_EQ(dialog->messageEdit()->toPlainText(), "hi");
    EXPECT_EQ(dialog->conversationEdit()->toPlainText(), "");
}

TEST_F(UserDialogTest, OpeningShowsTheUserReadOnlyWithTheNextIconAndRegisters) {
    SignIn();
    CUserDialog* dialog = open(Frank());
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Velmora Player - User");
    std::vector<std::string> texts;
    for (QWidget* control : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (auto* button = qobject_cast<QPushButton*>(control))
            texts.push_back(button->text().toStdString());
        else if (auto* label = qobject_cast<QLabel*>(control); label && !label->text().isEmpty())
            texts.push_back(label->text().toStdString());
        else if (auto* group = qobject_cast<QGroupBox*>(control))
            texts.push_back(group->title().toStdString());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Close", "User Info", "Account Id", "First Name",
                                               "Last Name", "Email Address", "Communicate", "Send",
                                               "Email"}));
    EXPECT_TRUE(dialog->closeButton()->isDefault());
    const std::vector<std::pair<QLineEdit*, const char*>> fields = {
        {dialog->accountIdEdit(), "demo-free"},
        {dialog->firstNameEdit(), "Frank"},
        {dialog->lastNameEdit(), "Free"},
        {dialog->emailEdit(), "frank@example.org"}};
    for (const auto& [edit, text] : fields) {
        EXPECT_EQ(edit->text(), text);
        EXPECT_TRUE(edit->isReadOnly());
    }
    EXPECT_TRUE(dialog->conversationEdit()->isReadOnly());
    EXPECT_FALSE(dialog->picture()->pixmap().isNull());
    // Each opening takes the next icon of the rotation.
    UserRecord other = Frank();
    other.id = 43;
    const std::vector<int> rotation = {143, 144, 145, 146, 142};
    const auto at = std::find(rotation.begin(), rotation.end(), dialog->iconId);
    ASSERT_NE(at, rotation.end());
    EXPECT_EQ(open(other)->iconId,
              rotation[static_cast<std::size_t>(at - rotation.begin() + 1) % 5]);
    EXPECT_EQ(poller->registered.at(42), dialog->InboxHandle());
    EXPECT_NE(dialog->InboxHandle(), 0u);
}

TEST_F(UserDialogTest, OpeningAnOpenDialogOnlyFocusesIt) {
    SignIn();
    CUserDialog* first = open(Frank());
    const int icon = first->iconId;
    const Handle inbox = first->InboxHandle();
    UserRecord renamed = Frank();
    renamed.firstName = "Francis";
    CUserDialog* second = open(renamed);
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->iconId, icon);
    EXPECT_EQ(second->InboxHandle(), inbox);
    EXPECT_EQ(second->firstNameEdit()->text(), "Frank");
    EXPECT_EQ(view.GetUserDialogs().Count(), 1u);
}

TEST_F(UserDialogTest, ReceivedTextsRunTogetherAndTheTypedTextStays) {
    SignIn();
    CUserDialog* dialog = open(Frank());
    dialog->messageEdit()->setPlainText("half a thou");
    receive(dialog, "Hello & welcome");
    receive(dialog, "second");
    EXPECT_EQ(dialog->conversationText, "Hello & welcomesecond");
    EXPECT_EQ(dialog->conversationEdit()->toPlainText(), "Hello & welcomesecond");
    EXPECT_EQ(dialog->messageEdit()->toPlainText(), "half a thou");
}

TEST_F(UserDialogTest, EveryWayOfClosingUnregistersAndTheReopenedDialogKeepsItsConversation) {
    SignIn();
    const std::vector<std::pair<const char*, std::function<void(CUserDialog*)>>> closings = {
        {"Close button",
         [](CUserDialog* d) { QTest::mouseClick(d->closeButton(), Qt::LeftButton); }},
        {"close box", [](CUserDialog* d) { d->close(); }},
        {"Escape", [](CUserDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }},
    };
    std::string conversation;
    for (const auto& [how, closeIt] : closings) {
        SCOPED_TRACE(how);
        CUserDialog* dialog = open(Frank());
        const int icon = dialog->iconId;
        receive(dialog, how);
        conversation += how;
        const Handle inbox = dialog->InboxHandle();
        poller->calls.clear();
        closeIt(dialog);
        EXPECT_EQ(poller->calls, (std::vector<std::string>{"Unregister(42)"}));
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_FALSE(dialog->created);
        // The window is gone: a late delivery reaches nothing.
        EXPECT_EQ(WindowFromHandle(inbox), nullptr);
        EXPECT_EQ(view.GetUserDialogs().Find(42), dialog);

        CUserDialog* again = open(Frank());
        EXPECT_EQ(again, dialog);
        EXPECT_TRUE(again->isVisible());
        EXPECT_NE(again->iconId, icon); // the next of the rotation
        EXPECT_EQ(again->conversationEdit()->toPlainText().toStdString(), conversation);
        EXPECT_EQ(poller->registered.at(42), again->InboxHandle());
        QTest::mouseClick(again->closeButton(), Qt::LeftButton);
    }
}

TEST_F(UserDialogTest, DestroyingTheViewUnregistersItsOpenDialogs) {
    SignIn();
    auto owner = std::make_unique<CLeftView>();
    UserRecord user = Frank();
    SendMessage(owner.get(), UM_OPEN_USER_DIALOG, 42, reinterpret_cast<LPARAM>(&user));
    ASSERT_EQ(poller->registered.count(42), 1u);
    owner.reset();
    EXPECT_EQ(poller->registered.count(42), 0u);
}

TEST_F(UserDialogTest, WithoutANotifyWindowTheClosingReachesTheViewThatMadeTheWindow) {
    SignIn();
    const UserRecord user = Frank();
    CUserDialog* dialog = view.GetUserDialogs().Open(user.id, &user, false);
    ASSERT_EQ(dialog->notifyWindow, nullptr);
    dialog->close();
    EXPECT_FALSE(dialog->created);
    EXPECT_EQ(dialog->notifyWindow, &view) << "kept for the next closing";
}

TEST_F(UserDialogTest, AnOpenUserDialogDoesNotKeepTheProgramRunningOnceTheMainWindowCloses) {
    SignIn();
    // The view stands in for the main window it lives in.
    view.show();
    CUserDialog* dialog = open(Frank());
    ASSERT_TRUE(dialog->isVisible());
    QTimer::singleShot(0, &view, &QWidget::close);
    QTimer stillRunning;
    stillRunning.setSingleShot(true);
    QObject::connect(&stillRunning, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stillRunning.start(5000);
    EXPECT_EQ(QApplication::exec(), 0) << "the program went on with only the user dialog open";
}
