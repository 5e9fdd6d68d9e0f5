// Share through the access lists dialog, the real proxy and a seeded
// service: demo-gold shares his Music folder with "Friends"; its member
// demo-free sees the folder after signing in again, and no longer after the
// sharing stops.

#include "acls_dialog.h"
#include "app_context.h"
#include "custom_tree_ctrl.h"
#include "left_view.h"
#include "modal_runner.h"
#include "proxied_service.h"
#include "scripted_message_boxes.h"
#include "window_messages.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

QTreeWidgetItem* ChildStartingWith(QTreeWidgetItem* parent, const std::string& prefix) {
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0).toStdString().rfind(prefix, 0) == 0)
            return parent->child(i);
    return nullptr;
}

class AclsE2E : public ::testing::Test {
protected:
    test::ServiceProcess service;
    test::TempSettings settings;
    test::ScopedScriptedBoxes boxes;

    void SetUp() override {
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
    }
    void TearDown() override { AppContext::Destroy(); }
    static ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }
    static void SignInAs(const char* account, const char* password) {
        AppContext::Destroy();
        ASSERT_TRUE(client().Login(account, password)) << client().GetLastError();
    }
    // The folders the user's tree shows under the sharing user.
    static std::vector<std::string> SharedBy(const std::string& owner) {
        CLeftView view;
        view.show();
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        std::vector<std::string> out;
        if (QTreeWidgetItem* user = ChildStartingWith(view.RootItem(), owner + "("))
            for (int i = 0; i < user->childCount(); ++i)
                out.push_back(CLeftView::ItemText(user->child(i)));
        return out;
    }
    static void Mouse(CCustomTreeCtrl* tree, QEvent::Type type, const QPoint& at) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, at, tree->viewport()->mapToGlobal(at), Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &e);
    }
    static void Click(CCustomTreeCtrl* tree, QTreeWidgetItem* item) {
        const QPoint at = tree->visualItemRect(item).center();
        Mouse(tree, QEvent::MouseButtonPress, at);
        Mouse(tree, QEvent::MouseButtonRelease, at);
    }
};

TEST_F(AclsE2E, AFolderSharedWithAListReachesItsMembersAndStopSharingTakesItBack) {
    SignInAs("demo-gold", "gold-demo-1");
    CLeftView view;
    view.resize(400, 600);
    view.show();
    SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
    QTreeWidgetItem* music = ChildStartingWith(view.RootItem(), "Music");
    ASSERT_NE(music, nullptr);
    // Share on Music, with "Friends" (which holds demo-free) clicked in the
    // dialog, then Share or Stop Sharing.
    auto share = [&](bool stop) {
        view.SetHitItem(music);
        ModalRunner previous = InstallModalRunner([&](QDialog& d) {
            auto& acls = dynamic_cast<CAclsDialog&>(d);
            acls.show();
            Click(acls.tree(), ChildStartingWith(acls.rootItem(), "Friends"));
            if (stop)
                acls.OnCommand(CAclsDialog::ID_STOP_SHARING);
            else
                QTest::mouseClick(acls.okButton(), Qt::LeftButton);
            return acls.result();
        });
        view.OnShare();
        InstallModalRunner(previous);
    };
    share(false);
    EXPECT_EQ(view.GetItemImage(music), kImageSharedFolder);

    SignInAs("demo-free", "free-demo-1");
    std::vector<std::string> shared = SharedBy("demo-gold");
    EXPECT_NE(std::find(shared.begin(), shared.end(), "Music"), shared.end());

    SignInAs("demo-gold", "gold-demo-1");
    share(true);
    EXPECT_EQ(view.GetItemImage(music), kImageFolder);
    SignInAs("demo-free", "free-demo-1");
    shared = SharedBy("demo-gold");
    EXPECT_EQ(std::find(shared.begin(), shared.end(), "Music"), shared.end());
    EXPECT_NE(std::find(shared.begin(), shared.end(), "Shared tones"), shared.end());
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
}

} // namespace
