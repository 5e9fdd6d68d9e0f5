#include "custom_tree_ctrl.h"

#include <QApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <vector>

using namespace velmora;

namespace {

// What the owner saw of each message, at the moment it came.
struct Seen {
    int message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::optional<QPoint> point; // for the messages that carry one
    QTreeWidgetItem* hitItem = nullptr;
    QTreeWidgetItem* currentItem = nullptr;
};

class Owner : public QObject {
public:
    explicit Owner(CCustomTreeCtrl& tree) : tree_(tree) {}
    std::vector<Seen> seen;

protected:
    bool event(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return QObject::event(e);
        const auto* m = static_cast<WindowMessage*>(e);
        Seen s{m->message(), m->wParam(),     m->lParam(),
               std::nullopt, tree_.HitItem(), tree_.currentItem()};
        switch (m->message()) {
        case UM_TREE_MOUSEMOVE:
        case UM_TREE_MBUTTONDOWN:
        case UM_TREE_RBUTTONDOWN:
        case UM_TREE_MOUSEWHEEL:
        case UM_TREE_LBUTTONDBLCLK:
            s.point = CCustomTreeCtrl::PointParam(m->lParam());
            break;
        default:
            break;
        }
        seen.push_back(s);
        return true;
    }

private:
    CCustomTreeCtrl& tree_;
};

// A shown tree of twelve items, the first one current.
struct TreeFixture {
    CCustomTreeCtrl tree;
    std::vector<QTreeWidgetItem*> items;

    TreeFixture() {
        tree.setHeaderHidden(true);
        for (int i = 0; i < 12; ++i)
            items.push_back(new QTreeWidgetItem(&tree, QStringList(QString("item %1").arg(i))));
        tree.resize(200, 400);
        tree.setCurrentItem(items[0]);
        tree.show();
        (void)QTest::qWaitForWindowExposed(&tree);
    }
    QPoint At(int i) const { return tree.visualItemRect(items[i]).center(); }
    QPoint Empty() const { return QPoint(100, tree.visualItemRect(items.back()).bottom() + 20); }

    void Mouse(QEvent::Type type, Qt::MouseButton button, const QPoint& at) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent e(type, at, tree.viewport()->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &e);
    }
    void Key(QEvent::Type type, Qt::Key key) {
        QKeyEvent e(type, key, Qt::NoModifier);
        QApplication::sendEvent(&tree, &e);
    }
    void Wheel(const QPoint& at) {
        QWheelEvent e(at, tree.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tree.viewport(), &e);
    }
};

// --- the forwarding table ----------------------------------------------------------

enum class Carries { Nothing, Point, ScreenPoint, Key };

struct ForwardCase {
    const char* name;
    QEvent::Type input;
    Qt::MouseButton button;
    int at; // the item under the cursor (-1: empty space), or the key
    int message;
    int hitBefore; // made the hit item by a right press beforehand (-1: none)
    int hitAtMessage;
    Carries carries;
};

void PrintTo(const ForwardCase& c, std::ostream* os) {
    *os << c.name;
}

class TreeForwardTest : public ::testing::TestWithParam<ForwardCase> {};

TEST_P(TreeForwardTest, OwnerHearsBeforeTheTreeActs) {
    const ForwardCase& c = GetParam();
    TreeFixture f;
    auto item = [&](int i) { return i < 0 ? nullptr : f.items[i]; };
    const QPoint at = c.at < 0 ? f.Empty() : f.At(std::min<int>(c.at, f.items.size() - 1));
    if (c.hitBefore >= 0)
        f.Mouse(QEvent::MouseButtonPress, Qt::RightButton, f.At(c.hitBefore));
    if (c.input == QEvent::MouseButtonDblClick) {
        f.Mouse(QEvent::MouseButtonPress, Qt::LeftButton, at);
        f.Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, at);
    }
    f.tree.setCurrentItem(f.items[0]);
    Owner owner(f.tree);
    f.tree.SetTarget(&owner);
    f.tree.SetTag(77);
    if (c.input == QEvent::Wheel)
        f.Wheel(at);
    else if (c.input == QEvent::KeyPress || c.input == QEvent::KeyRelease)
        f.Key(c.input, Qt::Key(c.at));
    else
        f.Mouse(c.input, c.button, at);
    ASSERT_FALSE(owner.seen.empty());
    const Seen& s = owner.seen.front();
    EXPECT_EQ(s.message, c.message);
    EXPECT_EQ(s.wParam, 77u);
    EXPECT_EQ(s.hitItem, item(c.hitAtMessage));
    EXPECT_EQ(f.tree.HitItem(), item(c.hitAtMessage));
    EXPECT_EQ(s.currentItem, f.items[0]) << "the tree moved before its owner was told";
    const QPoint screen = f.tree.viewport()->mapToGlobal(at);
    const std::optional<QPoint> point = c.carries == Carries::Point         ? std::optional(at)
                                        : c.carries == Carries::ScreenPoint ? std::optional(screen)
                                                                            : std::nullopt;
    EXPECT_EQ(s.point, point);
    if (!point) {
        EXPECT_EQ(s.lParam, c.carries == Carries::Key ? c.at : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, TreeForwardTest,
    ::testing::Values(ForwardCase{"LeftDown", QEvent::MouseButtonPress, Qt::LeftButton, 3,
                                  UM_TREE_LBUTTONDOWN, -1, 3, Carries::Nothing},
                      ForwardCase{"LeftDownOnEmptySpaceClearsTheHitItemFirst",
                                  QEvent::MouseButtonPress, Qt::LeftButton, -1, UM_TREE_LBUTTONDOWN,
                                  3, -1, Carries::Nothing},
                      ForwardCase{"LeftUp", QEvent::MouseButtonRelease, Qt::LeftButton, 4,
                                  UM_TREE_LBUTTONUP, -1, 4, Carries::Nothing},
                      ForwardCase{"RightDown", QEvent::MouseButtonPress, Qt::RightButton, 5,
                                  UM_TREE_RBUTTONDOWN, -1, 5, Carries::Point},
                      ForwardCase{"DoubleClick", QEvent::MouseButtonDblClick, Qt::LeftButton, 6,
                                  UM_TREE_LBUTTONDBLCLK, -1, 6, Carries::Point},
                      ForwardCase{"MiddleDownLeavesTheHitItem", QEvent::MouseButtonPress,
                                  Qt::MiddleButton, 2, UM_TREE_MBUTTONDOWN, 7, 7, Carries::Point},
                      ForwardCase{"MoveLeavesTheHitItem", QEvent::MouseMove, Qt::NoButton, 2,
                                  UM_TREE_MOUSEMOVE, 7, 7, Carries::Point},
                      ForwardCase{"WheelCarriesTheScreenPoint", QEvent::Wheel, Qt::NoButton, 2,
                                  UM_TREE_MOUSEWHEEL, 7, 7, Carries::ScreenPoint},
                      ForwardCase{"KeyDownBeforeTheSelectionMoves", QEvent::KeyPress, Qt::NoButton,
                                  Qt::Key_Down, UM_TREE_KEYDOWN, 7, 7, Carries::Key},
                      ForwardCase{"KeyUp", QEvent::KeyRelease, Qt::NoButton, Qt::Key_F2,
                                  UM_TREE_KEYUP, 7, 7, Carries::Key}),
    [](const ::testing::TestParamInfo<ForwardCase>& info) { return info.param.name; });

TEST(CustomTreeCtrl, DroppedFilesReachTheOwnerWhenDropsAreOn) {
    TreeFixture f;
    Owner owner(f.tree);
    f.tree.SetTarget(&owner);
    f.tree.setAcceptDrops(true);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/song.mp3")});
    QDragEnterEvent enter(f.At(1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.tree.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(f.At(1)), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.tree.viewport(), &drop);
    ASSERT_EQ(owner.seen.size(), 1u);
    EXPECT_EQ(owner.seen[0].message, UM_TREE_DROPFILES);
    EXPECT_EQ(owner.seen[0].lParam, reinterpret_cast<LPARAM>(&data));
}

TEST(CustomTreeCtrl, WithoutATargetItIsAPlainTreeThatStillRecordsTheHitItem) {
    TreeFixture f;
    f.Mouse(QEvent::MouseButtonPress, Qt::LeftButton, f.At(3));
    f.Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, f.At(3));
    EXPECT_EQ(f.tree.HitItem(), f.items[3]);
    EXPECT_EQ(f.tree.currentItem(), f.items[3]);
    f.Key(QEvent::KeyPress, Qt::Key_Down);
    EXPECT_EQ(f.tree.currentItem(), f.items[4]);
    // An item that goes leaves no hit item behind.
    delete f.items[3];
    EXPECT_EQ(f.tree.HitItem(), nullptr);
}

// --- the owner's drag -------------------------------------------------------------

TEST(CustomTreeCtrl, DraggingAnItemIsReportedAndTheSelectionStaysPut) {
    TreeFixture f;
    Owner owner(f.tree);
    f.tree.SetTarget(&owner);
    QSignalSpy begin(&f.tree, &CCustomTreeCtrl::beginDrag);
    f.Mouse(QEvent::MouseButtonPress, Qt::LeftButton, f.At(2));
    const QPoint away = f.At(2) + QPoint(0, QApplication::startDragDistance() + 5);
    f.Mouse(QEvent::MouseMove, Qt::LeftButton, f.At(2) + QPoint(3, 0));
    f.Mouse(QEvent::MouseMove, Qt::LeftButton, away);
    ASSERT_EQ(begin.count(), 1);
    EXPECT_EQ(begin[0][0].value<QTreeWidgetItem*>(), f.items[2]);

    f.tree.SetDragging(true);
    f.tree.SetDragItem(f.items[2]);
    f.Mouse(QEvent::MouseMove, Qt::LeftButton, f.At(8));
    EXPECT_EQ(f.tree.currentItem(), f.items[2]) << "the selection followed the drag";
    EXPECT_EQ(owner.seen.back().message, UM_TREE_MOUSEMOVE);
    EXPECT_EQ(owner.seen.back().point, f.At(8));
    f.Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, f.At(8));
    EXPECT_EQ(owner.seen.back().message, UM_TREE_LBUTTONUP);
    EXPECT_EQ(owner.seen.back().hitItem, f.items[8]);
    EXPECT_EQ(begin.count(), 1);
}

TEST(CustomTreeCtrl, WheelDuringADragScrollsWithTheImageHiddenAndShowsItAgain) {
    TreeFixture f;
    for (int i = 0; i < 100; ++i)
        new QTreeWidgetItem(&f.tree, QStringList(QString("more %1").arg(i)));
    f.tree.SetDragImage(CDragImage::OfItem(f.tree, f.items[1]));
    CDragImage* image = f.tree.DragImage();
    image->BeginDrag(QPoint(8, 8));
    image->DragEnter(f.tree.viewport()->mapToGlobal(f.At(1)));
    f.tree.SetDragging(true);
    ASSERT_TRUE(image->isVisible());

    std::vector<bool> visibleWhileScrolling;
    QObject::connect(f.tree.verticalScrollBar(), &QScrollBar::valueChanged,
                     [&] { visibleWhileScrolling.push_back(image->isVisible()); });
    f.Wheel(f.At(1));
    ASSERT_FALSE(visibleWhileScrolling.empty()) << "the tree did not scroll";
    EXPECT_FALSE(visibleWhileScrolling.front());
    EXPECT_TRUE(image->isVisible());

    // Once the drag has left, a wheel turn shows nothing.
    image->DragLeave();
    f.Wheel(f.At(1));
    EXPECT_FALSE(image->isVisible());
}

} // namespace
