// The add user dialog against a seeded service through the real proxy: the
// directory fetched and cached, and a found user's dialog opened by the
// library view.

#include "add_user_dialog.h"
#include "app_context.h"
#include "left_view.h"
#include "proxied_service.h"
#include "public_directory_list.h"
#include "scripted_message_boxes.h"
#include "temp_folder.h"
#include "user_dialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

class AddUserE2E : public ::testing::Test {
protected:
    test::ScopedTempFolder temp; // the proxy writes the cache here
    test::ServiceProcess service;
    test::TempSettings settings;
    test::ScopedScriptedBoxes boxes;
    std::unique_ptr<CLeftView> view;

    void SetUp() override {
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
        view = std::make_unique<CLeftView>();
        ASSERT_TRUE(client().Login("demo-gold", "gold-demo-1")) << client().GetLastError();
    }
    void TearDown() override {
        view.reset();
        AppContext::Destroy();
    }
    ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }
    static std::vector<std::string> accounts(const CAddUserToAclDialog& dialog) {
        std::vector<std::string> out;
        for (int row = 0; row < dialog.directoryList()->rowCount(); ++row)
            out.push_back(dialog.directoryList()->item(row, 0)->text().toStdString());
        return out;
    }
};

TEST_F(AddUserE2E, TheReloadedDirectoryIsCachedAndAFoundUserIsShown) {
    CAddUserToAclDialog dialog;
    dialog.viewWindow = view.get();
    dialog.show();
    EXPECT_TRUE(accounts(dialog).empty()); // nothing cached before the first fetch
    QTest::mouseClick(dialog.reloadButton(), Qt::LeftButton);
    const std::vector<std::string> listed = accounts(dialog);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "dir-anna"), listed.end());
    EXPECT_EQ(std::find(listed.begin(), listed.end(), "demo-gold"), listed.end()); // unlisted

    CAddUserToAclDialog reopened;
    reopened.show();
    EXPECT_EQ(accounts(reopened), listed);

    dialog.emailEdit()->setText("frank@example.org");
    QTest::mouseClick(dialog.findButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.accountIdEdit()->text(), "demo-free");
    ASSERT_GT(dialog.foundUserId, 0);
    QTest::mouseClick(dialog.showButton(), Qt::LeftButton);
    CUserDialog* frank = view->GetUserDialogs().Find(dialog.foundUserId);
    ASSERT_NE(frank, nullptr);
    EXPECT_TRUE(frank->isVisible());
    EXPECT_EQ(frank->emailEdit()->text(), "frank@example.org");
    EXPECT_TRUE(boxes->texts().empty());
}

} // namespace
