// Shows an owner-drawn menu on a real X server (Xvfb) and reads it back from
// the screen: the popup window, its title strip and its icons as a person
// sees them. With VELMORA_MENU_SCREENSHOT set, the menu beside the window it
// opened over is saved there.

#include "icons.h"
#include "menu_xp.h"

#include <QApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace velmora;

namespace {

QIcon MenuIconOf(int resource) {
    return QIcon(IconPath(resource));
}

} // namespace

TEST(MenuOnX, ShowsItsStripAndIconsOnScreen) {
    QTreeWidget owner;
    owner.setHeaderHidden(true);
    new QTreeWidgetItem(&owner, QStringList("My Media"));
    owner.setGeometry(40, 40, 320, 360);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));

    CMenuXP menu(&owner);
    menu.AddTitleStrip(MenuItemRecord::TitleStrip(24, "Velmora Media Player"));
    QAction* play = menu.AppendEntry(CMenuXP::Enabled,
                                     MenuItemRecord::Entry(1009, "Play\tP", MenuIconOf(185), 32));
    menu.AppendEntry(CMenuXP::Enabled,
                     MenuItemRecord::Entry(1001, "Search...", MenuIconOf(183), 32),
                     CAccelText(CAccelText::VirtualKey | CAccelText::Control, Qt::Key_F));
    menu.AppendSeparator();
    menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1002, "New...", MenuIconOf(181), 32));
    menu.AppendEntry(CMenuXP::Disabled,
                     MenuItemRecord::Entry(1004, "Delete\tDel", MenuIconOf(180), 32));
    menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1005, "Rename...\tF2", {}, 32));
    menu.setDefaultAction(play);

    menu.popup(owner.mapToGlobal(QPoint(60, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QTest::qWait(200); // the X server has the painted window

    QScreen* screen = menu.screen();
    const QImage shot = screen->grabWindow(0).toImage();
    const QRect strip = menu.TitleStripRect().translated(menu.geometry().topLeft());
    const int x = strip.left() + 21;
    EXPECT_EQ(shot.pixelColor(x, strip.bottom()), QColor(0, 0, 192));
    EXPECT_EQ(shot.pixelColor(x, strip.top()), QColor(0, 0, 0));

    // The play icon's green shows in its entry's icon column.
    const QRect playRect = menu.actionGeometry(play).translated(menu.geometry().topLeft());
    int green = 0;
    for (int px = playRect.left(); px < playRect.left() + playRect.height(); ++px)
        for (int py = playRect.top(); py <= playRect.bottom(); ++py) {
            const QColor c = shot.pixelColor(px, py);
            green += c.green() > 120 && c.red() < 100 && c.blue() < 120;
        }
    EXPECT_GT(green, 100);

    if (const char* path = std::getenv("VELMORA_MENU_SCREENSHOT"))
        shot.copy(owner.frameGeometry().united(menu.geometry()).adjusted(-8, -8, 8, 8))
            .save(QString::fromLocal8Bit(path));
    menu.hide();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QProcess xvfb;
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(5000) || !xvfb.waitForReadyRead(10000)) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    const QByteArray display = ":" + xvfb.readAllStandardOutput().trimmed();
    setenv("DISPLAY", display.constData(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    xvfb.terminate();
    xvfb.waitForFinished(5000);
    return result;
}
