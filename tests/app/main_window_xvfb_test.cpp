// Drives the real main window on a real X server (Xvfb): start-up with the
// service named on the command line, typing into the sign-in dialog, and the
// library tree filled from a real service.

#include "app_context.h"
#include "component_factory.h"
#include "left_view.h"
#include "main_frame.h"
#include "service_process.h"
#include "service_proxy.h"
#include "settings_store.h"
#include "signin_dialog.h"
#include "velmora_player_app.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace velmora;

namespace {

QStringList TreeTexts(QTreeWidgetItem* item) {
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}

} // namespace

TEST(MainWindowOnX, SignInThroughTheDialogFillsTheTree) {
    test::ServiceProcess service;
    ASSERT_TRUE(service.start()) << "velmora-service did not start";
    QTemporaryDir dir;
    qputenv("TMPDIR", dir.path().toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path() + "/config");
    QString settingsPath = dir.path() + "/settings.ini";
    // The stored address leads nowhere: the command line names the service.
    {
        SettingsStore store(settingsPath);
        store.SetHost("stored.invalid");
        store.SetPort(1);
    }
    ScopedComponent settings(CLSID_SettingsStore,
                             [&] { return std::make_shared<SettingsStore>(settingsPath); });
    RegisterProxyComponent();

    // A person at the keyboard: waits for the sign-in dialog, types, presses Ok.
    bool typed = false;
    QTimer driver;
    driver.setInterval(50);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<CSigninDlg*>(QApplication::activeModalWidget());
        if (!dialog || typed || !dialog->isVisible())
            return;
        typed = true;
        QTest::keyClicks(dialog->accountIdEdit(), "demo-free");
        QTest::keyClicks(dialog->passwordEdit(), "free-demo-1");
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    });
    driver.start();

    Cvelmora_playerApp app;
    const std::string address = "127.0.0.1:" + std::to_string(service.port());
    ASSERT_TRUE(app.InitInstance({"velmora-player", "--service", address}));
    driver.stop();
    ASSERT_TRUE(typed) << "the sign-in dialog was never shown";
    ASSERT_TRUE(AppContext::Instance().IsConnected());
    // Links point at the service in use.
    EXPECT_EQ(AppContext::Instance().GetFileLinkBase().rfind("http://" + address + "/", 0), 0u)
        << AppContext::Instance().GetFileLinkBase();

    CMainFrame* frame = app.GetMainFrame();
    ASSERT_TRUE(frame->isVisible());
    auto* tree = qobject_cast<CLeftView*>(frame->GetLibraryView());
    ASSERT_NE(tree, nullptr);
    QTreeWidgetItem* root = tree->RootItem();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), "My Media");
    QStringList own = TreeTexts(root);
    EXPECT_TRUE(own.contains("Music")) << own.join(", ").toStdString();
    EXPECT_TRUE(own.contains("Samples"));
    EXPECT_TRUE(own.contains("Welcome.aiff"));
    // demo-gold shares "Shared tones" with a list holding demo-free.
    auto found = tree->findItems("Shared tones", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    ASSERT_NE(found[0]->parent(), nullptr);
    EXPECT_NE(found[0]->parent(), root); // it hangs under the user who shares it

    QTest::qWait(100);
    if (const char* shot = std::getenv("VELMORA_SCREENSHOT")) {
        root->setExpanded(true);
        for (int i = 0; i < root->childCount(); ++i)
            root->child(i)->setExpanded(true);
        QTest::qWait(300);
        frame->grab().save(QString::fromLocal8Bit(shot));
    }
    frame->close();
    app.ExitInstance();
    qunsetenv("TMPDIR");

    SettingsStore stored(settingsPath);
    EXPECT_EQ(stored.Host(), "stored.invalid");
    EXPECT_EQ(stored.Port(), 1);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // A display of our own, whatever the machine has.
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(5000) || !xvfb.waitForReadyRead(10000)) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    QByteArray display = ":" + xvfb.readAllStandardOutput().trimmed();
    setenv("DISPLAY", display.constData(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result;
    {
        QApplication qapp(argc, argv);
        result = RUN_ALL_TESTS();
        AppContext::Destroy();
    }
    xvfb.terminate();
    xvfb.waitForFinished(5000);
    return result;
}
