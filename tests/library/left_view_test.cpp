#include "left_view.h"
#include "library_menu.h"
#include "menu_xp.h"
#include "window_messages.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;

namespace {

std::vector<std::string> ChildTexts(QTreeWidgetItem* parent) {
    std::vector<std::string> texts;
    for (int i = 0; i < parent->childCount(); ++i)
        texts.push_back(CLeftView::ItemText(parent->child(i)));
    return texts;
}

// A stand-in for the main frame: records the texts meant for the message bar.
class FrameProbe : public QWidget {
public:
    std::vector<std::string> barTexts;

protected:
    bool event(QEvent* e) override {
        if (WindowMessage::isWindowMessage(e)) {
            auto* m = static_cast<WindowMessage*>(e);
            if (m->message() == UM_SET_BAR_TEXT && m->wParam() == 0)
                barTexts.push_back(paramText(m->lParam()));
            return true;
        }
        return QWidget::event(e);
    }
};

} // namespace

TEST(LeftViewInitialUpdate, WelcomeTextThenRootItemOnce) {
    FrameProbe frame;
    auto* layout = new QVBoxLayout(&frame);
    auto* view = new CLeftView;
    layout->addWidget(view);
    EXPECT_EQ(view->topLevelItemCount(), 0);

    frame.show();
    ASSERT_TRUE(view->IsInitialised());
    EXPECT_EQ(frame.barTexts, (std::vector<std::string>{"Welcome to Velmora Media Player!"}));
    ASSERT_EQ(view->topLevelItemCount(), 1);
    LibraryItem* root = view->RootItem();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root, view->topLevelItem(0));
    EXPECT_EQ(CLeftView::ItemText(root), "My Media");
    EXPECT_EQ(view->GetItemImage(root), 0);
    EXPECT_EQ(view->GetNodeKey(root), "root");
    EXPECT_EQ(view->palette().color(QPalette::Base), QColor(240, 248, 255));
    EXPECT_TRUE(view->acceptDrops());
    EXPECT_EQ(view->iconSize(), QSize(32, 32));

    // Showing again, or an explicit call, adds no second root.
    frame.hide();
    frame.show();
    view->OnInitialUpdate();
    EXPECT_EQ(view->topLevelItemCount(), 1);
    EXPECT_EQ(frame.barTexts.size(), 1u);
}

class LeftViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(400, 600);
        view.show();
        root = view.RootItem();
        ASSERT_NE(root, nullptr);
    }
    CLeftView view;
    LibraryItem* root = nullptr;
};

TEST_F(LeftViewTest, InsertionPlacesSiblingsAlphabeticallyIgnoringCase) {
    for (const char* text : {"delta", "Bravo", "alpha", "Charlie", "bravo", "ALPHA", "echo"})
        view.InsertItem(root, text, kImageFolder);
    // Equal texts keep the order they came in.
    EXPECT_EQ(ChildTexts(root), (std::vector<std::string>{"alpha", "ALPHA", "Bravo", "bravo",
                                                          "Charlie", "delta", "echo"}));
    EXPECT_FALSE(view.isSortingEnabled());
}

TEST_F(LeftViewTest, SortChildrenSortsOneLevelAndKeepsItemsAndKeys) {
    LibraryItem* a = view.InsertItem(root, "a", kImageFolder);
    LibraryItem* b = view.InsertItem(root, "b", kImageFolder);
    LibraryItem* inner1 = view.InsertItem(b, "m", kImageOtherFile);
    LibraryItem* inner2 = view.InsertItem(b, "n", kImageOtherFile);
    CLeftView::SetNodeKey(a, "17~4~0");
    CLeftView::SetNodeKey(b, "17~5~0");
    CLeftView::SetNodeKey(inner1, "17~5~8");
    CLeftView::SetNodeKey(inner2, "17~5~9");
    // Renamed in place: the order no longer holds at either level.
    a->setText(0, "z");
    inner1->setText(0, "zz");

    view.SortChildren(root);
    EXPECT_EQ(ChildTexts(root), (std::vector<std::string>{"b", "z"}));
    EXPECT_EQ(ChildTexts(b), (std::vector<std::string>{"zz", "n"}));
    EXPECT_EQ(root->child(0), b);
    EXPECT_EQ(view.ItemFromHandle(inner2->handle()), inner2);
    // Every item kept its key and image through the move.
    EXPECT_EQ(CLeftView::GetNodeKey(root->child(0)), "17~5~0");
    EXPECT_EQ(CLeftView::GetNodeKey(root->child(1)), "17~4~0");
    EXPECT_EQ(CLeftView::GetNodeKey(b->child(0)), "17~5~8");
    EXPECT_EQ(CLeftView::GetNodeKey(b->child(1)), "17~5~9");
    EXPECT_EQ(view.GetItemImage(root->child(1)), kImageFolder);
}

TEST_F(LeftViewTest, ItemsCarryTheirImageAsNormalAndSelectedImage) {
    LibraryItem* item = view.InsertItem(root, "song.mp3", CLeftView::ImageForName("song.mp3"));
    EXPECT_EQ(view.GetItemImage(item), 19);
    EXPECT_EQ(item->icon(0).cacheKey(), view.ImageList()[19].cacheKey());
    view.SetItemImage(item, kImagePlaying);
    EXPECT_EQ(view.GetItemImage(item), kImagePlaying);
    // An index outside the list changes nothing.
    view.SetItemImage(item, 32);
    EXPECT_EQ(view.GetItemImage(item), kImagePlaying);
}

TEST_F(LeftViewTest, DeletingAnItemLeavesNoHandleOfAnythingBelowItAndKeepsTheRest) {
    LibraryItem* folder = view.InsertItem(root, "Music", kImageFolder);
    LibraryItem* sub = view.InsertItem(folder, "Live", kImageFolder);
    LibraryItem* deep = view.InsertItem(sub, "a.mp3", kImageAudio);
    LibraryItem* file = view.InsertItem(folder, "b.mp3", kImageAudio);
    LibraryItem* other = view.InsertItem(root, "Other", kImageFolder);
    CLeftView::SetNodeKey(folder, "17~5~0");
    CLeftView::SetNodeKey(other, "17~9~0");
    const std::vector<Handle> gone{folder->handle(), sub->handle(), deep->handle(), file->handle()};

    view.DeleteItem(folder);
    for (Handle h : gone) {
        EXPECT_EQ(view.ItemFromHandle(h), nullptr);
        EXPECT_EQ(HandleRegistry::instance().item(h), nullptr);
    }
    EXPECT_EQ(ChildTexts(root), (std::vector<std::string>{"Other"}));
    EXPECT_EQ(CLeftView::GetNodeKey(other), "17~9~0");
    EXPECT_EQ(CLeftView::GetNodeKey(root), "root");
}

TEST_F(LeftViewTest, OnlyLibraryItemsCarryKeys) {
    LibraryItem* item = view.InsertItem(root, "x", kImageFolder);
    EXPECT_EQ(CLeftView::GetNodeKey(item), "");
    QTreeWidgetItem plain;
    CLeftView::SetNodeKey(&plain, "17~5~0");
    EXPECT_EQ(CLeftView::GetNodeKey(&plain), "");
    EXPECT_EQ(CLeftView::GetNodeKey(nullptr), "");
}

TEST_F(LeftViewTest, HandlesResolveOnlyToLiveItemsOfThisView) {
    LibraryItem* item = view.InsertItem(root, "x", kImageFolder);
    const Handle handle = item->handle();
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(view.ItemFromHandle(handle), item);
    EXPECT_EQ(CLeftView::HandleOfItem(item), handle);
    EXPECT_EQ(CLeftView::HandleOfItem(nullptr), 0u);

    CLeftView otherView;
    otherView.OnInitialUpdate();
    EXPECT_EQ(otherView.ItemFromHandle(handle), nullptr);
    EXPECT_EQ(otherView.ItemFromHandle(view.RootItem()->handle()), nullptr);

    // A plain tree item is no library item and has no handle.
    QTreeWidgetItem plain;
    EXPECT_EQ(CLeftView::HandleOfItem(&plain), 0u);

    delete item;
    EXPECT_EQ(view.ItemFromHandle(handle), nullptr);
}

class LeftViewHitTest : public LeftViewTest {
protected:
    void SetUp() override {
        LeftViewTest::SetUp();
        first = view.InsertItem(root, "first", kImageFolder);
        second = view.InsertItem(root, "second", kImageFolder);
        root->setExpanded(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    // Every menu the view opens is answered here, with nothing chosen.
    std::vector<QPoint> menusAt;
    CMenuXP::ScopedTracker tracker{[this](CMenuXP&, const QPoint& at) {
        menusAt.push_back(at);
        return 0;
    }};
    QPoint centre(QTreeWidgetItem* item) { return view.visualItemRect(item).center(); }
    QPoint empty() { return QPoint(5, view.viewport()->height() - 5); }

    LibraryItem* first = nullptr;
    LibraryItem* second = nullptr;
};

TEST_F(LeftViewHitTest, LeftPressSetsHitItemAndSelectsIt) {
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, centre(second));
    EXPECT_EQ(view.HitItem(), second);
    EXPECT_EQ(view.currentItem(), second);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, centre(second));
    EXPECT_EQ(view.currentItem(), second);
    EXPECT_TRUE(second->isSelected());
}

TEST_F(LeftViewHitTest, RightClickSelectsTheHitItemAndOpensOneMenuAtTheCursor) {
    view.setCurrentItem(first);
    // Through the window, as the windowing system delivers a click: the
    // press is followed by the request for a context menu.
    const QPoint at = view.viewport()->mapTo(&view, centre(second));
    QTest::mousePress(view.windowHandle(), Qt::RightButton, {}, at);
    QTest::mouseRelease(view.windowHandle(), Qt::RightButton, {}, at);
    EXPECT_EQ(view.HitItem(), second);
    EXPECT_EQ(view.currentItem(), second);
    EXPECT_EQ(menusAt, std::vector<QPoint>{view.viewport()->mapToGlobal(centre(second))});
}

TEST_F(LeftViewHitTest, TheKeyboardOpensTheMenuFivepixelsInsideTheTopLeftForTheSelection) {
    const QPoint corner = view.viewport()->mapToGlobal(QPoint(5, 5));
    view.setCurrentItem(second);
    QTest::keyClick(&view, Qt::Key_Menu);
    QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(menusAt, (std::vector<QPoint>{corner, corner}));
    EXPECT_EQ(view.HitItem(), second);
}

TEST_F(LeftViewHitTest, KeysActOnReleaseAndCtrlFSearchesWhicheverKeyComesUpFirst) {
    view.InsertItem(root, "play list", kImageFolder);
    view.setCurrentItem(second);
    // P plays only when it comes up, and typing it does not move the
    // selection to an item starting with "p" first.
    QTest::keyPress(&view, Qt::Key_P, {});
    EXPECT_EQ(view.currentItem(), second);
    QTest::keyClick(&view, Qt::Key_F);
    EXPECT_EQ(view.FindDialog(), nullptr);
    QTest::keyPress(&view, Qt::Key_Control);
    QTest::keyPress(&view, Qt::Key_F, Qt::ControlModifier);
    QTest::keyRelease(&view, Qt::Key_Control);
    EXPECT_EQ(view.FindDialog(), nullptr);
    QTest::keyRelease(&view, Qt::Key_F);
    EXPECT_NE(view.FindDialog(), nullptr);
}

TEST(LibraryMenu, EntriesStandInOrderWithTheirTextsAndIcons) {
    const std::unique_ptr<CMenuXP> menu = MakeLibraryMenu(nullptr);
    ASSERT_NE(menu->TitleStripRecord(), nullptr);
    EXPECT_EQ(menu->TitleStripRecord()->text, "Velmora Media Player");
    EXPECT_EQ(menu->TitleStripRecord()->size, 24);
    std::vector<std::string> entries;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            entries.push_back("-");
            continue;
        }
        const MenuItemRecord* record = CMenuXP::RecordOf(action);
        ASSERT_NE(record, nullptr);
        EXPECT_TRUE(action->isEnabled());
        EXPECT_EQ(record->size, 32);
        entries.push_back(std::to_string(record->commandId) + " " + record->text.toStdString() +
                          (record->icon.isNull() ? "" : " +icon"));
    }
    EXPECT_EQ(entries,
              (std::vector<std::string>{"1009 Play\tP +icon", "1001 Search...\tCtrl+F +icon", "-",
                                        "1006 Email Link\tF6 +icon", "1010 Copy Link\tf7 +icon",
                                        "1011 Copy Media Link +icon", "-", "1002 New... +icon",
                                        "1003 Share... +icon", "1004 Delete\tDel +icon",
                                        "1005 Rename...\tF2", "-", "1008 Refresh\tF5 +icon"}));
}

struct KeyCase {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool autoRepeat;
    int command;
    bool controlAtPress = false;
};

class LibraryKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(LibraryKeys, AReleasedKeyStandsForItsCommand) {
    const KeyCase& c = GetParam();
    const QKeyEvent release(QEvent::KeyRelease, c.key, c.modifiers, QString(), c.autoRepeat);
    EXPECT_EQ(LibraryCommandOfKey(release, c.controlAtPress), c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LibraryKeys,
    ::testing::Values(KeyCase{Qt::Key_Delete, {}, false, ID_LIBRARY_DELETE},
                      KeyCase{Qt::Key_F2, {}, false, ID_LIBRARY_RENAME},
                      KeyCase{Qt::Key_F5, {}, false, ID_LIBRARY_REFRESH},
                      KeyCase{Qt::Key_F6, {}, false, ID_LIBRARY_EMAIL_LINK},
                      KeyCase{Qt::Key_F7, {}, false, ID_LIBRARY_COPY_LINK},
                      KeyCase{Qt::Key_F, Qt::ControlModifier, false, ID_LIBRARY_SEARCH},
                      KeyCase{Qt::Key_F, {}, false, 0},
                      KeyCase{Qt::Key_F, {}, false, ID_LIBRARY_SEARCH, true},
                      KeyCase{Qt::Key_P, {}, false, ID_LIBRARY_PLAY},
                      KeyCase{Qt::Key_P, {}, true, 0}, KeyCase{Qt::Key_Return, {}, false, 0}));

TEST_F(LeftViewHitTest, PressOnEmptySpaceClearsHitItemAndKeepsSelection) {
    view.setCurrentItem(first);
    QTest::mousePress(view.viewport(), Qt::RightButton, {}, centre(second));
    ASSERT_EQ(view.HitItem(), second);
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, empty());
    EXPECT_EQ(view.HitItem(), nullptr);
    EXPECT_EQ(view.currentItem(), first);
}

TEST_F(LeftViewHitTest, ClickSelectsTheHitItemAgain) {
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, centre(second));
    // Something moves the selection between press and release.
    view.setCurrentItem(first);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, centre(second));
    EXPECT_EQ(view.currentItem(), second);
}

TEST_F(LeftViewHitTest, KeyReleaseTakesTheSelectedItemAsHitItem) {
    QTest::mousePress(view.viewport(), Qt::RightButton, {}, centre(second));
    ASSERT_EQ(view.HitItem(), second);
    view.setCurrentItem(first);
    QTest::keyRelease(&view, Qt::Key_Shift);
    EXPECT_EQ(view.HitItem(), first);
}

TEST_F(LeftViewHitTest, HitItemOfADeletedItemIsNull) {
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, centre(second));
    ASSERT_EQ(view.HitItem(), second);
    view.DeleteItem(second);
    EXPECT_EQ(view.HitItem(), nullptr);
}

TEST_F(LeftViewHitTest, ItemsFromAnotherTreeAreNeverDroppedIn) {
    QTreeWidget source;
    source.addTopLevelItem(new QTreeWidgetItem(QStringList{"stray"}));
    QMimeData* data = source.model()->mimeData({source.model()->index(0, 0)});
    QDragEnterEvent enter(centre(first), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDropEvent drop(centre(first), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
    EXPECT_EQ(first->childCount(), 0);
    EXPECT_EQ(root->childCount(), 2);
    delete data;
}
