#include "communicate_acl_dialog.h"
#include "dialog_test_support.h"

#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace velmora;
using test::Tier;

namespace {

// A list whose members have addresses.
class ListWithMembers : public test::ScriptedAccessList {
public:
    ListWithMembers(std::int32_t id, std::vector<std::string> accounts)
        : ScriptedAccessList(id, "Friends") {
        for (std::size_t i = 0; i < accounts.size(); ++i)
            members.push_back(std::make_shared<test::ScriptedProfile>(
                static_cast<std::int32_t>(100 + i), accounts[i], "", ""));
    }
    std::int32_t MemberCount() override { return static_cast<std::int32_t>(members.size()); }
    ComPtr Member(std::int32_t index) override {
        return members.at(static_cast<std::size_t>(index));
    }

    std::vector<std::shared_ptr<test::ScriptedProfile>> members;
};

// A proxy whose e-mail to one address fails.
class FailingMailProxy : public test::ScriptedProxy {
public:
    std::string failFor;
    void SendEmail(const std::string& sender, const std::string& recipient,
                   const std::string& body) override {
        if (recipient == failFor)
            failOn("SendEmail", "Mailbox full");
        ScriptedProxy::SendEmail(sender, recipient, body);
    }
};

class CommunicateTest : public test::SignedInTest {
protected:
    std::shared_ptr<FailingMailProxy> mailProxy = std::make_shared<FailingMailProxy>();
    CCommunicateAclDialog dialog;

    void SetUp() override {
        proxy = mailProxy; // what the component hands out from now on
        dialog.listId = 7;
    }
    void addList(std::vector<std::string> accounts) {
        proxy->account->lists.push_back(std::make_shared<ListWithMembers>(7, std::move(accounts)));
    }
    void emailWith(const char* text) {
        dialog.messageEdit()->setPlainText(text);
        QTest::mouseClick(dialog.emailButton(), Qt::LeftButton);
    }
};

} // namespace

TEST_F(CommunicateTest, TheTemplatesTextsInOrder) {
    EXPECT_EQ(dialog.windowTitle(), "Velmora Player - Acl - Communicate");
    std::vector<std::string> buttons;
    for (QPushButton* button : dialog.findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
        buttons.push_back(button->text().toStdString());
    EXPECT_EQ(buttons, (std::vector<std::string>{"Close", "Email", "Send"}));
    EXPECT_TRUE(dialog.closeButton()->isDefault());
}

TEST_F(CommunicateTest, SendGoesToTheListForGoldAndPlatinumOnly) {
    SignIn({true, false, false});
    dialog.messageEdit()->setPlainText("meet at 8");
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    EXPECT_EQ(boxes->texts(),
              (std::vector<std::string>{
                  "This feature is only available to 'gold' and 'platinum' accounts"}));
    AppContext::Destroy();
    boxes->clear();
    SignIn({false, true, false});
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    EXPECT_TRUE(boxes->texts().empty());
    EXPECT_EQ(callsOf("SendUserMessage"),
              (std::vector<std::string>{"SendUserMessage(-1,7,meet at 8)"}));
    dialog.messageEdit()->clear();
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    EXPECT_EQ(boxes->texts(), (std::vector<std::string>{"Empty message"}));
}

TEST_F(CommunicateTest, EmailGoesToEachMemberInTheListsOrder) {
    SignIn();
    addList({"ben", "carla", "dora"});
    emailWith("hello all");
    EXPECT_EQ(callsOf("SendEmail"),
              (std::vector<std::string>{"SendEmail(ada,ben@example.org,hello all)",
                                        "SendEmail(ada,carla@example.org,hello all)",
                                        "SendEmail(ada,dora@example.org,hello all)"}));
    EXPECT_EQ(boxes->texts(), (std::vector<std::string>{"Email was sucessfully sent"}));
}

TEST_F(CommunicateTest, EmailStopsAtTheFirstFailingMember) {
    SignIn();
    addList({"ben", "carla", "dora"});
    mailProxy->failFor = "carla@example.org";
    emailWith("hello all");
    EXPECT_EQ(callsOf("SendEmail"),
              (std::vector<std::string>{"SendEmail(ada,ben@example.org,hello all)",
                                        "SendEmail(ada,carla@example.org,hello all)"}));
    ASSERT_EQ(boxes->texts().size(), 2u);
    EXPECT_EQ(boxes->texts()[0], client().GetLastError());
    EXPECT_NE(boxes->texts()[0].find("Mailbox full"), std::string::npos);
    EXPECT_EQ(boxes->texts()[1], "Email sent with errors");
}

TEST_F(CommunicateTest, EmailToAListWithoutMembersReportsSuccessAndAnEmptyTextIsRefused) {
    SignIn();
    addList({});
    emailWith("");
    emailWith("anyone?");
    EXPECT_TRUE(callsOf("SendEmail").empty());
    EXPECT_EQ(boxes->texts(),
              (std::vector<std::string>{"Empty message", "Email was sucessfully sent"}));
}

TEST_F(CommunicateTest, AListThatCannotBeReadEndsWithErrorsInsteadOfSuccess) {
    SignIn();
    emailWith("nobody reads this"); // no list 7
    proxy->account->failAccessListById = true;
    emailWith("nor this");
    EXPECT_TRUE(callsOf("SendEmail").empty());
    ASSERT_EQ(boxes->texts().size(), 3u);
    EXPECT_EQ(boxes->texts()[0], "Email sent with errors");
    EXPECT_EQ(boxes->texts()[2], "Email sent with errors");
}
