// Two accounts of the seeded service talk through the player's dialogs: the
// real proxy, the real poller (with a short period) and a real service.

#include "app_context.h"
#include "left_view.h"
#include "message_poller.h"
#include "messaging_test_support.h"
#include "proxied_service.h"
#include "scripted_message_boxes.h"
#include "user_dialog.h"
#include "user_record.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;
using test::PumpUntil;

namespace {

class MessagingE2E : public ::testing::Test {
protected:
    test::ServiceProcess service;
    test::TempSettings settings;
    MessagePoller* poller = nullptr;
    AppContext::ScopedPollerMaker maker{[this](ServiceClient& client) {
        auto made = std::make_unique<MessagePoller>(std::make_shared<ServiceClientMessages>(client),
                                                    nullptr, 100ms);
        poller = made.get();
        return made;
    }};
    test::ScopedScriptedBoxes boxes;
    std::unique_ptr<CLeftView> view;

    void SetUp() override {
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
        view = std::make_unique<CLeftView>();
    }
    void TearDown() override {
        view.reset();
        AppContext::Destroy();
    }

    ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }
    void signIn(const char* account, const char* password) {
        client().Logout();
        ASSERT_TRUE(client().Login(account, password)) << client().GetLastError();
    }
    UserRecord lookUp(const char* account) {
        return UserRecord::FromReply(client().FindUserById(account));
    }
    CUserDialog* open(const UserRecord& user) {
        const LRESULT answer =
            SendMessage(view.get(), UM_OPEN_USER_DIALOG, static_cast<WPARAM>(user.id),
                        reinterpret_cast<LPARAM>(&user));
        return qobject_cast<CUserDialog*>(WindowFromHandle(static_cast<Handle>(answer)));
    }
    static std::string conversation(CUserDialog* dialog) {
        return dialog->conversationEdit()->toPlainText().toStdString();
    }
};

} // namespace

TEST_F(MessagingE2E, AMessageSentFromOneDialogArrivesInTheOtherAccountsDialog) {
    signIn("demo-gold", "gold-demo-1");
    const UserRecord frank = lookUp("demo-free");
    ASSERT_GT(frank.id, 0);
    CUserDialog* toFrank = open(frank);
    ASSERT_NE(toFrank, nullptr);
    EXPECT_EQ(toFrank->emailEdit()->text(), "frank@example.org");
    toFrank->messageEdit()->setPlainText("Tea at 8 & bring 50% of the cake?");
    QTest::mouseClick(toFrank->sendButton(), Qt::LeftButton);
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    QTest::mouseClick(toFrank->closeButton(), Qt::LeftButton);

    signIn("demo-free", "free-demo-1");
    const UserRecord gustav = lookUp("demo-gold");
    CUserDialog* fromGustav = open(gustav);
    ASSERT_NE(fromGustav, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !conversation(fromGustav).empty(); }, 10s));
    EXPECT_EQ(conversation(fromGustav), "Tea at 8 & bring 50% of the cake?");
}

TEST_F(MessagingE2E, AMessageForAClosedDialogAppearsWhenItOpens) {
    signIn("demo-free", "free-demo-1");
    const UserRecord petra = lookUp("demo-plus");
    const UserRecord gustav = lookUp("demo-gold");
    CUserDialog* other = open(petra);
    ASSERT_NE(other, nullptr);

    ServiceClient sender;
    ASSERT_TRUE(sender.Login("demo-gold", "gold-demo-1"));
    ASSERT_TRUE(sender.SendUserMessage(client().GetUserId(), -1, "while you were away"));
    ASSERT_TRUE(PumpUntil([&] { return poller->KeptCount(gustav.id) == 1; }, 10s));
    EXPECT_EQ(conversation(other), "");

    CUserDialog* fromGustav = open(gustav);
    EXPECT_EQ(conversation(fromGustav), "while you were away");
}
