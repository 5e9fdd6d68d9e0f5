// The access lists dialog and Share through the real proxy against a seeded
// service: demo-gold makes a list, adds a user found by account id, drags a
// member of "Friends" onto it and shares his Music folder with it; the
// member sees the folder after signing in again, and no longer after the
// sharing stops.

#include "acls_dialog.h"
#include "add_user_dialog.h"
#include "app_context.h"
#include "custom_tree_ctrl.h"
#include "left_view.h"
#include "modal_runner.h"
#include "scripted_message_boxes.h"
#include "service_process.h"
#include "service_proxy.h"
#include "temp_settings.h"
#include "window_messages.h"

#include <QLineEdit>
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
    CAclsDialog::ScopedPrompter prompter{
        [](const std::string&, const std::string&) { return std::string("Crew"); }};

    void SetUp() override {
        RegisterProxyComponent();
        ASSERT_TRUE(service.start()) << "velmora-service did not start";
        auto store = settings.store();
        store->SetHost("127.0.0.1");
        store->SetPort(service.port());
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

TEST_F(AclsE2E, AListMadeAndSharedReachesItsMembersAndStopSharingTakesItBack) {
    SignInAs("demo-gold", "gold-demo-1");
    CLeftView view;
    view.resize(400, 600);
    view.show();
    SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);

    // Management: a new list, a user found by account id, a member dragged in.
    {
        CAclsDialog dialog;
        dialog.viewWindow = &view;
        dialog.resize(800, 600);
        dialog.show();
        dialog.OnCommand(CAclsDialog::ID_NEW_ACCESS_LIST);
        QTreeWidgetItem* crew = ChildStartingWith(dialog.rootItem(), "Crew");
        ASSERT_NE(crew, nullptr) << (boxes->texts().empty() ? "" : boxes->texts().back());
        Click(dialog.tree(), crew);
        ModalRunner previous = InstallModalRunner([](QDialog& d) {
            auto& add = dynamic_cast<CAddUserToAclDialog&>(d);
            add.show();
            add.accountIdEdit()->setText("demo-plus");
            QTest::mouseClick(add.findButton(), Qt::LeftButton);
            QTest::mouseClick(add.addButton(), Qt::LeftButton);
            return add.result();
        });
        dialog.OnCommand(CAclsDialog::ID_NEW_USER);
        InstallModalRunner(previous);
        crew = ChildStartingWith(dialog.rootItem(), "Crew");
        ASSERT_NE(ChildStartingWith(crew, "demo-plus("), nullptr);

        QTreeWidgetItem* frank =
            ChildStartingWith(ChildStartingWith(dialog.rootItem(), "Friends"), "demo-free(");
        ASSERT_NE(frank, nullptr);
        CCustomTreeCtrl* tree = dialog.tree();
        const QPoint from = tree->visualItemRect(frank).center();
        const QPoint onto = tree->visualItemRect(crew).center();
        Mouse(tree, QEvent::MouseButtonPress, from);
        Mouse(tree, QEvent::MouseMove, from + QPoint(3, 0));
        Mouse(tree, QEvent::MouseMove, from + QPoint(0, QApplication::startDragDistance() + 4));
        Mouse(tree, QEvent::MouseMove, onto);
        Mouse(tree, QEvent::MouseButtonRelease, onto);
        crew = ChildStartingWith(dialog.rootItem(), "Crew");
        EXPECT_NE(ChildStartingWith(crew, "demo-free("), nullptr);
        EXPECT_NE(ChildStartingWith(ChildStartingWith(dialog.rootItem(), "Friends"), "demo-free("),
                  nullptr);
    }
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();

    // Share Music with the new list, picked in the dialog.
    QTreeWidgetItem* music = ChildStartingWith(view.RootItem(), "Music");
    ASSERT_NE(music, nullptr);
    auto share = [&](bool stop) {
        view.SetHitItem(music);
        ModalRunner previous = InstallModalRunner([&](QDialog& d) {
            auto& acls = dynamic_cast<CAclsDialog&>(d);
            acls.resize(800, 600);
            acls.show();
            Click(acls.tree(), ChildStartingWith(acls.rootItem(), "Crew"));
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
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();

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
