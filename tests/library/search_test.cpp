#include "find_dialog.h"
#include "item_search.h"
#include "left_view.h"
#include "scripted_message_boxes.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

// A small library: files and folders mixed, a user node, a folder whose
// name matches with a match below it.
//   My Media
//     bob(Bob Stone)
//       Rocking chair
//     Hard rock
//     Rock Classics
//       rock one.mp3
//       Rock two.mp3
//     rockabilly.mp3
class SearchTree : public ::testing::Test {
protected:
    void SetUp() override {
        view.OnInitialUpdate();
        root = view.RootItem();
        bob = view.InsertItem(root, "bob(Bob Stone)", 4);
        view.InsertItem(bob, "Rocking chair", kImageFolder);
        view.InsertItem(root, "Hard rock", kImageFolder);
        classics = view.InsertItem(root, "Rock Classics", kImageFolder);
        view.InsertItem(classics, "rock one.mp3", kImageAudio);
        view.InsertItem(classics, "Rock two.mp3", kImageAudio);
        view.InsertItem(root, "rockabilly.mp3", kImageAudio);
    }

    // Find Next until nothing is left; the texts in the order found.
    std::vector<std::string> pass(const char* text, bool matchCase, bool wholeWord) {
        std::vector<std::string> found;
        while (QTreeWidgetItem* item = view.FindItemByText(root, text, matchCase, wholeWord))
            found.push_back(CLeftView::ItemText(item));
        return found;
    }

    CLeftView view;
    LibraryItem* root = nullptr;
    LibraryItem* bob = nullptr;
    LibraryItem* classics = nullptr;
};

struct PassCase {
    const char* text;
    bool matchCase;
    bool wholeWord;
    std::vector<std::string> found;
};

void PrintTo(const PassCase& c, std::ostream* out) {
    *out << "\"" << c.text << "\"" << (c.matchCase ? " case" : "") << (c.wholeWord ? " whole" : "");
}

class SearchPass : public SearchTree, public ::testing::WithParamInterface<PassCase> {};

} // namespace

// Without whole word the text must begin the item's text; with it, stand
// anywhere in it. A reported folder hides what is below it for the pass.
TEST_P(SearchPass, FindsTheMatchesInTreeOrder) {
    const PassCase& c = GetParam();
    EXPECT_EQ(pass(c.text, c.matchCase, c.wholeWord), c.found);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SearchPass,
    ::testing::Values(
        PassCase{"rock", false, false, {"Rocking chair", "Rock Classics", "rockabilly.mp3"}},
        PassCase{
            "rock", false, true, {"Rocking chair", "Hard rock", "Rock Classics", "rockabilly.mp3"}},
        PassCase{"rock", true, false, {"rock one.mp3", "rockabilly.mp3"}},
        PassCase{"rock", true, true, {"Hard rock", "rock one.mp3", "rockabilly.mp3"}},
        PassCase{"Rock", true, false, {"Rocking chair", "Rock Classics"}},
        PassCase{"ROCK T", false, false, {"Rock two.mp3"}}, PassCase{"two.mp3", false, false, {}},
        PassCase{"two.mp3", false, true, {"Rock two.mp3"}},
        PassCase{"bob(", false, false, {"bob(Bob Stone)"}}, PassCase{"My Media", false, true, {}},
        PassCase{"Rock Classics and more", false, false, {}}));

TEST_F(SearchTree, ReportedItemsHideWhatIsBelowThemOnlyWhileTheyMatch) {
    ItemSearch search(view);
    // Reported by a drop before the search: the folder and its children are
    // passed over.
    search.NoteReported(classics);
    EXPECT_EQ(search.FindItemByText(root, "Rock", false, false)->text(0), "Rocking chair");
    EXPECT_EQ(search.FindItemByText(root, "Rock", false, false)->text(0), "rockabilly.mp3");
    EXPECT_EQ(search.FindItemByText(root, "Rock", false, false), nullptr);
    // A reported item that does not match the text hides nothing.
    EXPECT_EQ(search.FindItemByText(root, "rock o", false, false)->text(0), "rock one.mp3");
    // A search below a start item leaves the start itself out.
    search.ClearReported();
    EXPECT_EQ(search.FindItemByText(classics, "Rock", false, false)->text(0), "rock one.mp3");
}

namespace {

// The search as written out plainly: from the start at every call.
QTreeWidgetItem* PlainFind(QTreeWidgetItem* start, const QString& text, bool matchCase,
                           bool wholeWord, std::unordered_set<Handle>& reported) {
    for (int i = 0; i < start->childCount(); ++i) {
        QTreeWidgetItem* child = start->child(i);
        if (ItemSearch::Matches(child->text(0), text, matchCase, wholeWord)) {
            if (reported.count(CLeftView::HandleOfItem(child)))
                continue;
            reported.insert(CLeftView::HandleOfItem(child));
            return child;
        }
        if (QTreeWidgetItem* below = PlainFind(child, text, matchCase, wholeWord, reported))
            return below;
    }
    return nullptr;
}

void Collect(QTreeWidgetItem* item, std::vector<QTreeWidgetItem*>& all) {
    all.push_back(item);
    for (int i = 0; i < item->childCount(); ++i)
        Collect(item->child(i), all);
}

} // namespace

// The search goes on from where it stopped only while nothing it depends on
// changed; whatever happens between two searches, it finds what a search from
// the start finds.
TEST(ItemSearchResume, AgreesWithASearchFromTheStartThroughChanges) {
    CLeftView view;
    view.OnInitialUpdate();
    LibraryItem* root = view.RootItem();
    ItemSearch search(view);
    std::mt19937 random(12345);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::vector<QString> words{"ab", "abc", "b", "Ab", "c"};
    auto name = [&] { return (words[pick(5)] + words[pick(5)]).toStdString(); };
    for (int i = 0; i < 60; ++i) {
        std::vector<QTreeWidgetItem*> all;
        Collect(root, all);
        view.InsertItem(all[pick(static_cast<int>(all.size()))], name(), kImageFolder);
    }

    std::unordered_set<Handle> plainReported;
    int found = 0;
    for (int step = 0; step < 3000; ++step) {
        std::vector<QTreeWidgetItem*> all;
        Collect(root, all);
        QTreeWidgetItem* any = all[pick(static_cast<int>(all.size()))];
        const int what = pick(100);
        if (what < 80) {
            // Mostly Find Next with one text, now and then another.
            const QString text = what < 70 ? "ab" : words[pick(5)];
            const bool matchCase = what % 3 == 0;
            const bool wholeWord = what % 2 == 0;
            QTreeWidgetItem* expected = PlainFind(root, text, matchCase, wholeWord, plainReported);
            ASSERT_EQ(search.FindItemByText(root, text, matchCase, wholeWord), expected)
                << "step " << step;
            found += expected != nullptr;
            if (!expected && pick(2) == 0) {
                // The pass starts again.
                plainReported.clear();
                search.ClearReported();
            }
        } else if (what < 85) {
            view.InsertItem(any, name(), kImageFolder);
        } else if (what < 90 && any != root) {
            any->setText(0, QString::fromStdString(name()));
        } else if (what < 93 && any != root) {
            view.DeleteItem(any);
        } else if (what < 96) {
            plainReported.insert(CLeftView::HandleOfItem(any));
            search.NoteReported(any);
        } else {
            // An image change alone is no change for the search.
            view.SetItemImage(any, kImageTransferFirst + pick(8));
        }
    }
    EXPECT_GT(found, 100);
}

namespace {

class FindDialogTest : public SearchTree {
protected:
    CFindDialog* open() {
        view.OnSearch();
        return view.FindDialog();
    }
    void findNext(const char* text, bool wholeWord = false) {
        CFindDialog* dialog = view.FindDialog();
        dialog->FindWhatEdit()->setText(text);
        dialog->WholeWordBox()->setChecked(wholeWord);
        dialog->FindNextButton()->click();
    }
    std::string selected() { return CLeftView::ItemText(view.currentItem()); }

    ScopedScriptedBoxes boxes;
};

} // namespace

TEST_F(FindDialogTest, OpensOnceWithTheDirectionDownAndTheLastText) {
    CFindDialog* dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->SearchDown());
    EXPECT_EQ(dialog->FindText(), "");
    EXPECT_FALSE(dialog->FindNextButton()->isEnabled());
    EXPECT_EQ(open(), dialog);

    findNext("hard");
    EXPECT_EQ(selected(), "Hard rock");
    dialog->CancelButton()->click();
    EXPECT_EQ(view.FindDialog(), nullptr);
    EXPECT_EQ(view.LastSearchText(), "hard");

    // Opened again: the last text is there, and closing ended the pass.
    dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->FindText(), "hard");
    dialog->FindNextButton()->click();
    EXPECT_EQ(selected(), "Hard rock");
    EXPECT_TRUE(boxes->shown().empty());
    dialog->reject();
    EXPECT_EQ(view.FindDialog(), nullptr);
}

TEST_F(FindDialogTest, NotFoundOrTheRestartQuestionWhichStartsThePassAgainOnYesOnly) {
    open();
    findNext("jazz");
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(boxes->shown()[0].text, "'jazz' not found");
    EXPECT_EQ(boxes->shown()[0].caption, "Velmora Media Player");
    EXPECT_EQ(boxes->shown()[0].buttons, BoxButtons::Ok);
    boxes->clear();

    const std::string question =
        "No more ocurrences of 'rock' found.\n Would you like to restart the search?";
    std::vector<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        findNext("rock", true);
        seen.push_back(selected());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Rocking chair", "Hard rock", "Rock Classics",
                                              "rockabilly.mp3"}));
    // The view is not shown, and the match's folders were opened all the same.
    EXPECT_FALSE(view.isVisible());
    EXPECT_TRUE(bob->isExpanded());
    EXPECT_TRUE(boxes->shown().empty());

    // No: the selection stays, and the next Find Next asks again.
    findNext("rock", true);
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(boxes->shown()[0].text, question);
    EXPECT_EQ(boxes->shown()[0].caption, "velmora_player");
    EXPECT_EQ(boxes->shown()[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(selected(), "rockabilly.mp3");

    // Yes: the first match from the top again, then on through the pass.
    boxes->answerNext(true);
    findNext("rock", true);
    EXPECT_EQ(boxes->shown().size(), 2u);
    EXPECT_EQ(selected(), "Rocking chair");
    findNext("rock", true);
    EXPECT_EQ(selected(), "Hard rock");
}

TEST_F(FindDialogTest, FoundItemIsScrolledIntoViewWithItsFoldersExpanded) {
    view.resize(300, 120);
    view.show();
    for (int i = 0; i < 30; ++i)
        view.InsertItem(root, "filler " + std::to_string(i), kImageFolder);
    classics->setExpanded(false);
    open();
    findNext("rock two");
    QTreeWidgetItem* found = view.currentItem();
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->text(0), "Rock two.mp3");
    EXPECT_TRUE(found->isSelected());
    EXPECT_TRUE(classics->isExpanded());
    EXPECT_TRUE(view.viewport()->rect().intersects(view.visualItemRect(found)));
}
