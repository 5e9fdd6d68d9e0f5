#include "icons.h"
#include "menu_xp.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace velmora;

namespace {

QIcon SolidIcon(const QColor& colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

// Lays the menu out as it would be shown.
void Layout(QMenu& menu) {
    menu.resize(menu.sizeHint());
}

QFontMetrics BoldMetrics(const QMenu& menu) {
    QFont bold = menu.font();
    bold.setWeight(QFont::Bold);
    return QFontMetrics(bold);
}

// --- measuring ----------------------------------------------------------------

struct MeasureCase {
    const char* name;
    const char* label; // null for a separator
    const char* accel;
    int size;
    bool iconOnly;
};

void PrintTo(const MeasureCase& c, std::ostream* os) {
    *os << c.name;
}

class MenuMeasureTest : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(MenuMeasureTest, LaysOutTheEntryAtItsMeasuredSize) {
    const MeasureCase& c = GetParam();
    CMenuXP menu;
    QAction* before = menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1, "x"));
    auto record = c.label ? MenuItemRecord::Entry(7, QString(c.label) + c.accel, {}, c.size)
                          : MenuItemRecord::Separator();
    record->iconOnly = c.iconOnly;
    QAction* action = menu.AppendEntry(CMenuXP::Enabled, std::move(record));
    Layout(menu);
    const QRect geometry = menu.actionGeometry(action);
    EXPECT_EQ(geometry.top(), menu.actionGeometry(before).bottom() + 1);
    if (!c.label) {
        EXPECT_EQ(geometry.height(),
                  menu.style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, &menu) / 2);
        return;
    }
    const QFontMetrics bold = BoldMetrics(menu);
    EXPECT_EQ(geometry.height(), std::max(bold.height(), c.size + 4));
    if (c.iconOnly) {
        EXPECT_EQ(menu.MeasureItem(*CMenuXP::RecordOf(action)).width(), geometry.height());
        return;
    }
    // The accelerator text (after its tab) has room beside the label.
    const QString accel = QString(c.accel).mid(1);
    EXPECT_GE(geometry.width(),
              2 * c.size + 12 + bold.horizontalAdvance(c.label) + bold.horizontalAdvance(accel));
}

INSTANTIATE_TEST_SUITE_P(
    Records, MenuMeasureTest,
    ::testing::Values(MeasureCase{"SmallIconTakesTheTextHeight", "Play", "", 2, false},
                      MeasureCase{"IconSizePlusFour", "Play", "", 60, false},
                      MeasureCase{"AcceleratorTextIsRoomed", "Search...", "\tCtrl+F", 32, false},
                      MeasureCase{"IconOnlyIsSquare", "ignored", "", 50, true},
                      MeasureCase{"SeparatorIsHalfACheckMark", nullptr, "", 0, false}),
    [](const ::testing::TestParamInfo<MeasureCase>& info) { return info.param.name; });

// --- the signature rule -------------------------------------------------------

TEST(MenuXP, ItemDataWithoutTheSignatureIsNeitherMeasuredNorDeleted) {
    auto foreign = MenuItemRecord::Entry(42, "Foreign", {}, 100);
    foreign->signature = 0;
    auto ownedTwin = MenuItemRecord::Entry(43, "Foreign", {}, 100);
    {
        CMenuXP menu;
        QAction* plain = menu.addAction("Foreign");
        plain->setData(QVariant::fromValue(foreign.get()));
        QAction* owned = menu.AppendEntry(CMenuXP::Enabled, std::move(ownedTwin));
        Layout(menu);
        EXPECT_EQ(menu.actionGeometry(owned).height(), 104);
        EXPECT_LT(menu.actionGeometry(plain).height(), 104) << "measured by the menu";
        EXPECT_EQ(CMenuXP::RecordOf(plain), nullptr);
        EXPECT_EQ(CMenuXP::CommandOf(plain), 0);
        EXPECT_EQ(CMenuXP::CommandOf(owned), 43);
        menu.Clear();
        EXPECT_TRUE(menu.actions().isEmpty());
    }
    // Still ours: the menu neither deleted it when cleared nor when destroyed.
    EXPECT_EQ(foreign->commandId, 42u);
    EXPECT_EQ(foreign->text, "Foreign");
}

TEST(MenuXP, ClearDeletesSubMenusAndTheTitleStrip) {
    CMenuXP menu;
    menu.AddTitleStrip(MenuItemRecord::TitleStrip(24, "ACLs"));
    auto sub = std::make_unique<CMenuXP>();
    sub->AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(32780, "User...", {}, 32));
    QPointer<CMenuXP> subMenu = sub.get();
    QAction* popup =
        menu.AppendPopup(CMenuXP::Enabled, std::move(sub), MenuItemRecord::Entry(0, "New", {}, 32));
    EXPECT_EQ(popup->menu(), subMenu.data());
    menu.Clear();
    EXPECT_TRUE(subMenu.isNull());
    EXPECT_EQ(menu.TitleStripRecord(), nullptr);
    EXPECT_EQ(menu.contentsMargins().left(), 0);
}

// --- accelerators in labels -----------------------------------------------------

struct LabelCase {
    const char* name;
    std::optional<CAccelText> accelerator;
    const char* label;
};

void PrintTo(const LabelCase& c, std::ostream* os) {
    *os << c.name;
}

class MenuLabelTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(MenuLabelTest, AcceleratorTextFollowsATab) {
    const LabelCase& c = GetParam();
    CMenuXP menu;
    QAction* action =
        menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1, "Rename..."), c.accelerator);
    EXPECT_EQ(CMenuXP::RecordOf(action)->text.toStdString(), c.label);
    EXPECT_EQ(action->text(), "Rename...");
}

INSTANTIATE_TEST_SUITE_P(
    Accelerators, MenuLabelTest,
    ::testing::Values(LabelCase{"None", std::nullopt, "Rename..."},
                      LabelCase{"KeyName", CAccelText(CAccelText::VirtualKey, Qt::Key_F2),
                                "Rename...\tF2"},
                      LabelCase{"EmptyTextLeavesNoTab", CAccelText(0, 27), "Rename..."}),
    [](const ::testing::TestParamInfo<LabelCase>& info) { return info.param.name; });

// --- the title strip's column -----------------------------------------------------

TEST(MenuXP, EntryAfterTheTitleStripOpensTheSecondColumnEvenWhenASeparator) {
    CMenuXP plain;
    QAction* plainFirst = plain.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1, "Play"));
    Layout(plain);

    CMenuXP menu;
    menu.AddTitleStrip(MenuItemRecord::TitleStrip(24, "Velmora Media Player"));
    QAction* separator = menu.AppendSeparator();
    QAction* entry = menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1, "Play"));
    Layout(menu);

    const QRect strip = menu.TitleStripRect();
    const QRect separatorRect = menu.actionGeometry(separator);
    EXPECT_EQ(strip.width(), 24);
    EXPECT_GT(separatorRect.height(), 0) << "a separator after the strip is not collapsed";
    EXPECT_GT(separatorRect.left(), strip.right() + 3) << "beside the strip and its gradient";
    EXPECT_EQ(separatorRect.top(), plain.actionGeometry(plainFirst).top()) << "at the top";
    EXPECT_EQ(menu.actionGeometry(entry).left(), separatorRect.left());
    EXPECT_EQ(menu.actionGeometry(entry).top(), separatorRect.bottom() + 1);
    EXPECT_EQ(menu.actionGeometry(entry).left() - plain.actionGeometry(plainFirst).left(), 24 + 3);
    // The strip runs the menu's whole height, beside every entry.
    EXPECT_LE(strip.top(), separatorRect.top());
    EXPECT_GE(strip.bottom(), menu.actionGeometry(entry).bottom());
}

// --- painting -------------------------------------------------------------------

TEST(MenuXP, PaintsTheStripGradientAndTheIconsOfEntriesThatHaveThem) {
    CMenuXP menu;
    menu.AddTitleStrip(MenuItemRecord::TitleStrip(24, "ACLs"));
    QAction* withIcon = menu.AppendEntry(
        CMenuXP::Enabled, MenuItemRecord::Entry(2003, "Communicate...", SolidIcon(Qt::red), 32));
    menu.AppendSeparator();
    QAction* withoutIcon =
        menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(32779, "Rename...\tF2", {}, 32));
    QAction* checked =
        menu.AppendEntry(CMenuXP::Checked, MenuItemRecord::Entry(1, "Repeat", {}, 32));
    QAction* disabledIcon = menu.AppendEntry(
        CMenuXP::Disabled, MenuItemRecord::Entry(32781, "Delete\tDel", SolidIcon(Qt::red), 32));
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    const QImage image = menu.grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    auto pixel = [&](int x, int y) { return image.pixelColor(QPoint(x * ratio, y * ratio)); };

    // The strip's text starts 2 pixels in and is 16 high: past it, only the
    // gradient shows.
    const QRect strip = menu.TitleStripRect();
    const int x = strip.left() + 21;
    EXPECT_EQ(pixel(x, strip.bottom()), QColor(0, 0, 192));
    EXPECT_EQ(pixel(x, strip.top()), QColor(0, 0, 0));
    EXPECT_GT(pixel(x, strip.center().y()).blue(), 0);
    EXPECT_LT(pixel(x, strip.center().y()).blue(), 192);

    // The pixels of this colour in the entry's icon square.
    auto count = [&](QAction* action, Qt::GlobalColor colour) {
        const QRect rect = menu.actionGeometry(action);
        int found = 0;
        for (int px = rect.left(); px < rect.left() + rect.height(); ++px)
            for (int py = rect.top(); py <= rect.bottom(); ++py)
                found += pixel(px, py) == QColor(colour);
        return found;
    };
    EXPECT_GT(count(withIcon, Qt::red), 28 * 28 / 2);
    EXPECT_EQ(count(withoutIcon, Qt::red), 0);
    EXPECT_EQ(count(disabledIcon, Qt::red), 0) << "a disabled icon has the disabled look";

    // A checked entry without an icon has the check mark there: three
    // strokes of 8 pixels' width.
    EXPECT_GE(count(checked, Qt::black), 3 * 8);
    EXPECT_EQ(count(withoutIcon, Qt::black), 0);
    menu.hide();
}

// --- tracking -------------------------------------------------------------------

TEST(MenuXP, TrackAnswersTheCommandChosenWithEitherButton) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        CMenuXP menu;
        menu.AddTitleStrip(MenuItemRecord::TitleStrip(24, "Velmora Media Player"));
        menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1009, "Play\tP", {}, 32));
        QAction* refresh =
            menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1008, "Refresh", {}, 32));
        QTimer::singleShot(0, &menu, [&] {
            const QPoint at = menu.actionGeometry(refresh).center();
            QTest::mouseMove(&menu, at);
            QTest::mouseClick(&menu, button, {}, at);
        });
        EXPECT_EQ(menu.Track(QPoint(20, 20)), 1008) << "button " << button;
    }
}

TEST(MenuXP, TrackAnswersZeroWhenDismissed) {
    CMenuXP menu;
    menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1009, "Play", {}, 32));
    QTimer::singleShot(0, &menu, [&] { QTest::keyClick(&menu, Qt::Key_Escape); });
    EXPECT_EQ(menu.Track(QPoint(20, 20)), 0);
}

TEST(MenuXP, AnInstalledTrackerChoosesInsteadOfAPerson) {
    CMenuXP menu;
    menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1009, "Play", {}, 32));
    QPoint seen;
    {
        CMenuXP::ScopedTracker tracker([&](CMenuXP& shown, const QPoint& at) {
            seen = at;
            return CMenuXP::CommandOf(shown.actions().front());
        });
        EXPECT_EQ(menu.Track(QPoint(5, 6)), 1009);
    }
    EXPECT_EQ(seen, QPoint(5, 6));
    EXPECT_FALSE(menu.isVisible());
}

} // namespace

// --- the menus' icons -------------------------------------------------------------

class MenuIcon : public ::testing::TestWithParam<int> {};

TEST_P(MenuIcon, LoadsAtTheEntriesIconSize) {
    const QIcon icon(IconPath(GetParam()));
    ASSERT_FALSE(icon.isNull());
    const QImage image = icon.pixmap(32, 32).toImage();
    ASSERT_FALSE(image.isNull());
    // Something is drawn, not just a transparent square.
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 0;
    EXPECT_GT(opaque, 32);
}

INSTANTIATE_TEST_SUITE_P(Resources, MenuIcon, ::testing::ValuesIn(kMenuIconResources));
