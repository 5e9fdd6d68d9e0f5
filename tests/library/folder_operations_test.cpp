// The refusals of New folder, Rename and Delete, which reach no server
// operation; what the operations do on the service is in the e2e tests.
#include "event_pump.h"
#include "left_view.h"
#include "library_test_support.h"
#include "modal_runner.h"
#include "scripted_message_boxes.h"
#include "stealth_dialog.h"
#include "window_messages.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

// Signed in as user 17:
//   My Media
//     bob(Bob Stone)   21~0~0
//       Holiday        21~300~0
//         beach.jpg    21~300~301
//     music            17~5~0
//       song.mp3       17~5~51
//       upload.mp3     17~5~0   (its upload has not ended)
//     lost             17~99~0  (gone from the library model)
//       a.mp3          17~99~7
class FolderCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto music = proxy->account->root->addSubfolder(5, "music");
        music->addFile(51, "song.mp3");
        proxy->account->addUser(21, "bob", "Bob", "Stone")
            ->shareFolder(300, "Holiday")
            ->addFile(301, "beach.jpg");
        model = std::make_unique<SignedInModel>(proxy);
        ASSERT_TRUE(model->signedIn());
        view.resize(400, 400);
        view.show();
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        LibraryItem* musicItem = find(view.RootItem(), "music");
        LibraryItem* upload = view.InsertItem(musicItem, "upload.mp3", kImageAudio);
        upload->setNodeKey("17~5~0");
        LibraryItem* lost = view.InsertItem(view.RootItem(), "lost", kImageFolder);
        lost->setNodeKey("17~99~0");
        view.InsertItem(lost, "a.mp3", kImageAudio)->setNodeKey("17~99~7");
        proxy->calls.clear();
        previousRunner = InstallModalRunner([this](QDialog& dialog) {
            if (dynamic_cast<CStealthDialog*>(&dialog))
                ++pauses;
            return dialog.exec();
        });
    }
    void TearDown() override { InstallModalRunner(previousRunner); }

    static LibraryItem* find(QTreeWidgetItem* parent, const std::string& text) {
        for (int i = 0; i < parent->childCount(); ++i) {
            if (CLeftView::ItemText(parent->child(i)) == text)
                return LibraryItem::from(parent->child(i));
            if (LibraryItem* below = find(parent->child(i), text))
                return below;
        }
        return nullptr;
    }
    LibraryItem* item(const std::string& text) {
        return text.empty()         ? nullptr
               : text == "My Media" ? view.RootItem()
                                    : find(view.RootItem(), text);
    }
    QLineEdit* editor() {
        for (QLineEdit* line : view.viewport()->findChildren<QLineEdit*>())
            if (line->isVisible())
                return line;
        return nullptr;
    }
    bool editorOpen() { return editor() != nullptr; }
    int itemCount(QTreeWidgetItem* item) {
        int n = 1;
        for (int i = 0; i < item->childCount(); ++i)
            n += itemCount(item->child(i));
        return n;
    }

    std::shared_ptr<ScriptedProxy> proxy = std::make_shared<ScriptedProxy>();
    std::unique_ptr<SignedInModel> model;
    ScopedScriptedBoxes boxes;
    CLeftView view;
    ModalRunner previousRunner;
    int pauses = 0;
};

struct Refusal {
    const char* command;
    const char* target;  // item text; empty for no hit item
    const char* message; // empty: nothing shown
};

class Refusals : public FolderCommandsTest, public ::testing::WithParamInterface<Refusal> {};

void PrintTo(const Refusal& r, std::ostream* out) {
    *out << r.command << " on '" << r.target << "'";
}

} // namespace

// Nothing changes, nothing reaches the service, and no label editor opens.
TEST_P(Refusals, LeaveTheTreeAndTheServiceAlone) {
    const Refusal& r = GetParam();
    const std::string command = r.command;
    // A busy item is one under transfer: it animates, as the view's own
    // transfers make it.
    const bool busy = std::string(r.target) == "busy song.mp3";
    const std::string target = busy ? "song.mp3" : r.target;
    if (busy)
        view.StartItemAnimation(item(target), false, 9, 16, 150, false, false);
    view.SetHitItem(item(target));
    ASSERT_EQ(target.empty(), view.HitItem() == nullptr);
    const int items = itemCount(view.RootItem());
    boxes->answerNext(true);
    if (command == "New")
        view.OnNewFolder();
    else if (command == "Rename")
        view.OnRename();
    else if (command == "Delete")
        view.OnDelete();
    else if (LibraryItem* edited = item(target))
        view.editItem(edited); // a click on the label of the selected item
    EXPECT_EQ(itemCount(view.RootItem()), items);
    EXPECT_TRUE(proxy->calls.empty()) << proxy->calls.front();
    EXPECT_FALSE(editorOpen());
    EXPECT_FALSE(view.LabelEditActive());
    EXPECT_EQ(pauses, 0);
    if (*r.message)
        EXPECT_EQ(boxes->texts(), std::vector<std::string>{r.message});
    else
        EXPECT_TRUE(boxes->shown().empty()) << boxes->texts().front();
}

INSTANTIATE_TEST_SUITE_P(
    FolderCommands, Refusals,
    ::testing::Values(Refusal{"New", "", ""}, Refusal{"New", "bob(Bob Stone)", "Invalid selection"},
                      Refusal{"New", "Holiday", "Invalid selection"},
                      Refusal{"New", "beach.jpg", "Invalid selection"},
                      Refusal{"New", "busy song.mp3", ""}, Refusal{"New", "upload.mp3", ""},
                      Refusal{"Rename", "", "Invalid selection"},
                      Refusal{"Rename", "busy song.mp3", ""}, Refusal{"Rename", "upload.mp3", ""},
                      Refusal{"Rename", "My Media", ""}, Refusal{"Rename", "bob(Bob Stone)", ""},
                      Refusal{"Rename", "Holiday", ""}, Refusal{"Rename", "beach.jpg", ""},
                      Refusal{"Edit", "upload.mp3", ""}, Refusal{"Edit", "busy song.mp3", ""},
                      Refusal{"Edit", "My Media", ""}, Refusal{"Delete", "", "Invalid selection"},
                      Refusal{"Delete", "My Media", "Invalid selection"},
                      Refusal{"Delete", "bob(Bob Stone)", "Invalid selection"},
                      Refusal{"Delete", "Holiday", "Invalid selection"},
                      Refusal{"Delete", "beach.jpg", "Invalid selection"},
                      Refusal{"Delete", "busy song.mp3", ""}, Refusal{"Delete", "upload.mp3", ""}));

TEST_F(FolderCommandsTest, AnEditBeginsWithOnePauseAndTakesTheEditedItemAsHitItem) {
    view.SetHitItem(view.RootItem());
    LibraryItem* song = item("song.mp3");
    view.editItem(song);
    EXPECT_TRUE(editorOpen());
    EXPECT_TRUE(view.LabelEditActive());
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(view.HitItem(), song);
    QTest::keyClick(editor(), Qt::Key_Escape);
    EXPECT_FALSE(editorOpen());
    EXPECT_FALSE(view.LabelEditActive());
    EXPECT_EQ(pauses, 1);
}

TEST_F(FolderCommandsTest, AClickRenamesOnlyTheItemThatWasAlreadySelected) {
    LibraryItem* song = item("song.mp3");
    view.scrollToItem(song);
    const QPoint at = view.visualItemRect(song).center();
    const auto wait = std::chrono::milliseconds(QApplication::doubleClickInterval() + 100);
    view.setCurrentItem(view.RootItem());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
    test::PumpFor(wait);
    EXPECT_FALSE(editorOpen()) << "a click that selects an item is no rename";
    EXPECT_EQ(view.currentItem(), song);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(test::PumpUntil([&] { return editorOpen(); }));
    QTest::keyClick(editor(), Qt::Key_Escape);
}

TEST_F(FolderCommandsTest, RenameInAFolderMissingFromTheModelSaysSo) {
    LibraryItem* a = item("a.mp3");
    view.SetHitItem(a);
    view.OnRename();
    QLineEdit* line = editor();
    ASSERT_NE(line, nullptr);
    line->setText("b.mp3");
    QTest::keyClick(line, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Failed to find tree node"});
    EXPECT_EQ(CLeftView::ItemText(a), "a.mp3");
    EXPECT_TRUE(proxy->calls.empty()) << proxy->calls.front();
}
