#include "app_context.h"
#include "component_factory.h"
#include "left_view.h"
#include "library_populator.h"
#include "scripted_message_boxes.h"
#include "scripted_proxy.h"
#include "service_client.h"
#include "signed_in_model.h"
#include "window_messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

std::vector<std::string> ChildTexts(QTreeWidgetItem* parent) {
    std::vector<std::string> texts;
    for (int i = 0; i < parent->childCount(); ++i)
        texts.push_back(CLeftView::ItemText(parent->child(i)));
    return texts;
}

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const std::string& text) {
    for (int i = 0; i < parent->childCount(); ++i)
        if (CLeftView::ItemText(parent->child(i)) == text)
            return parent->child(i);
    return nullptr;
}

int NextInRotation(int image) {
    return image == 8 ? 4 : image + 1;
}

int CallsTo(const ScriptedProxy& proxy, const std::string& method) {
    return static_cast<int>(
        std::count_if(proxy.calls.begin(), proxy.calls.end(),
                      [&](const std::string& call) { return call.rfind(method + "(", 0) == 0; }));
}

// Every item of the tree below (and with) item has a key of its own kind;
// gives how many items there are.
std::size_t ExpectEveryItemKeyed(QTreeWidgetItem* item) {
    EXPECT_NE(wire::ClassifyNodeKey(CLeftView::GetNodeKey(item)), wire::NodeKind::None)
        << CLeftView::ItemText(item);
    std::size_t items = 1;
    for (int i = 0; i < item->childCount(); ++i)
        items += ExpectEveryItemKeyed(item->child(i));
    return items;
}

class PopulateTest : public ::testing::Test {
protected:
    void SetUp() override { view.OnInitialUpdate(); }

    // Signs in to the model as it stands and fills the tree through the
    // window message, as the sign-in loop does.
    void populate() {
        model = std::make_unique<SignedInModel>(proxy);
        ASSERT_TRUE(model->signedIn());
        ASSERT_EQ(AppContext::Instance().GetServiceClient().GetUserId(), 17);
        result = SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
    }
    ScriptedAccount& account() { return *proxy->account; }
    LibraryItem* root() { return view.RootItem(); }
    std::string key(QTreeWidgetItem* item) { return CLeftView::GetNodeKey(item); }
    int image(QTreeWidgetItem* item) { return view.GetItemImage(item); }
    std::size_t expectEveryItemKeyed() {
        EXPECT_EQ(view.topLevelItemCount(), 1);
        return ExpectEveryItemKeyed(root());
    }

    std::shared_ptr<ScriptedProxy> proxy = std::make_shared<ScriptedProxy>();
    ScopedScriptedBoxes boxes;
    CLeftView view;
    std::unique_ptr<SignedInModel> model;
    LRESULT result = -1;
};

} // namespace

TEST_F(PopulateTest, OwnLibraryWithFoldersFilesKeysAndImages) {
    auto music = account().root->addSubfolder(5, "music");
    music->addFile(51, "zeta.wma");
    music->addFile(52, "Alpha.mp3");
    auto live = music->addSubfolder(6, "Live", 3);
    live->addFile(61, "concert.avi");
    music->addFile(53, "cover.JPG");
    account().root->addSubfolder(7, "Documents");
    account().root->addFile(33, "readme.txt");
    account().root->addFile(34, "Clip.MPEG");

    populate();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(view.topLevelItemCount(), 1);
    EXPECT_TRUE(root()->isExpanded());
    EXPECT_EQ(ChildTexts(root()),
              (std::vector<std::string>{"Clip.MPEG", "Documents", "music", "readme.txt"}));
    // Files and subfolders stand mixed in alphabetical order.
    QTreeWidgetItem* musicItem = Child(root(), "music");
    ASSERT_NE(musicItem, nullptr);
    EXPECT_EQ(ChildTexts(musicItem),
              (std::vector<std::string>{"Alpha.mp3", "cover.JPG", "Live", "zeta.wma"}));

    EXPECT_EQ(key(musicItem), "17~5~0");
    EXPECT_EQ(image(musicItem), 3);
    QTreeWidgetItem* liveItem = Child(musicItem, "Live");
    EXPECT_EQ(key(liveItem), "17~6~0");
    EXPECT_EQ(image(liveItem), 27);
    EXPECT_EQ(key(Child(liveItem, "concert.avi")), "17~6~61");
    EXPECT_EQ(image(Child(liveItem, "concert.avi")), 28);
    EXPECT_EQ(key(Child(musicItem, "zeta.wma")), "17~5~51");
    EXPECT_EQ(image(Child(musicItem, "zeta.wma")), 20);
    EXPECT_EQ(image(Child(musicItem, "Alpha.mp3")), 19);
    EXPECT_EQ(image(Child(musicItem, "cover.JPG")), 31);
    // Files of the root folder carry the root folder's id.
    EXPECT_EQ(key(Child(root(), "readme.txt")), "17~1~33");
    EXPECT_EQ(image(Child(root(), "readme.txt")), 30);
    EXPECT_EQ(image(Child(root(), "Clip.MPEG")), 28);
    // The library's root folder is "My Media" itself, not an item below it.
    EXPECT_EQ(Child(root(), "My Media"), nullptr);
    EXPECT_EQ(key(root()), "root");
    EXPECT_EQ(expectEveryItemKeyed(), 10u);

    EXPECT_EQ(CallsTo(*proxy, "SetNotifyWindow"), 1);
    EXPECT_EQ(proxy->notifyWindow, HandleOf(&view));
    EXPECT_EQ(WindowFromHandle(proxy->notifyWindow), &view);
    EXPECT_TRUE(boxes->shown().empty());
}

TEST_F(PopulateTest, TopLevelFilesWithoutFoldersStillExpandTheRoot) {
    account().root->addFile(40, "b.mp3");
    account().root->addFile(41, "A.mp3");
    populate();
    EXPECT_EQ(ChildTexts(root()), (std::vector<std::string>{"A.mp3", "b.mp3"}));
    EXPECT_TRUE(root()->isExpanded());
}

TEST_F(PopulateTest, NoLibraryRootShowsNoUsersButExpandsAndSetsNotifyWindow) {
    account().root = nullptr;
    auto bob = account().addUser(21, "bob", "Bob", "Stone");
    bob->shareFolder(300, "Shared");
    populate();
    EXPECT_EQ(root()->childCount(), 0);
    EXPECT_TRUE(root()->isExpanded());
    EXPECT_EQ(proxy->notifyWindow, HandleOf(&view));
    EXPECT_TRUE(boxes->shown().empty());
}

TEST_F(PopulateTest, SharingUsersWithTheirFoldersRotatingImages) {
    account().root->addSubfolder(5, "mine");
    auto bob = account().addUser(21, "bob", "Bob", "Stone");
    auto shared = bob->shareFolder(300, "Holiday", 4);
    shared->addFile(301, "beach.jpg");
    shared->addSubfolder(302, "Day one")->addFile(303, "sea.mp3");
    auto cy = account().addUser(22, "cy", "Cy", "Young");
    cy->shareFolder(310, "Demos");

    populate();
    // User nodes stand among the user's own items in the same order.
    EXPECT_EQ(ChildTexts(root()),
              (std::vector<std::string>{"bob(Bob Stone)", "cy(Cy Young)", "mine"}));
    QTreeWidgetItem* bobItem = Child(root(), "bob(Bob Stone)");
    QTreeWidgetItem* cyItem = Child(root(), "cy(Cy Young)");
    EXPECT_EQ(key(bobItem), "21~0~0");
    EXPECT_EQ(key(cyItem), "22~0~0");
    EXPECT_GE(image(bobItem), 4);
    EXPECT_LE(image(bobItem), 8);
    EXPECT_EQ(image(cyItem), NextInRotation(image(bobItem)));

    // A shared folder's keys carry the sharing user's id as owner.
    QTreeWidgetItem* holiday = Child(bobItem, "Holiday");
    ASSERT_NE(holiday, nullptr);
    EXPECT_EQ(key(holiday), "21~300~0");
    EXPECT_EQ(image(holiday), 27);
    EXPECT_EQ(ChildTexts(holiday), (std::vector<std::string>{"beach.jpg", "Day one"}));
    EXPECT_EQ(key(Child(holiday, "beach.jpg")), "21~300~301");
    EXPECT_EQ(key(Child(Child(holiday, "Day one"), "sea.mp3")), "21~302~303");
    EXPECT_EQ(key(Child(cyItem, "Demos")), "22~310~0");
    expectEveryItemKeyed();
}

TEST_F(PopulateTest, UnlistedUserIsSkippedAndDoesNotAdvanceTheRotation) {
    auto first = account().addUser(21, "bob", "Bob", "Stone");
    auto hidden = account().addUser(22, "cy", "Cy", "Young");
    hidden->listed = 0;
    hidden->shareFolder(310, "Secret");
    auto third = account().addUser(23, "dee", "Dee", "Park");
    // Any count other than zero lists the user.
    third->listed = -3;

    populate();
    EXPECT_EQ(ChildTexts(root()), (std::vector<std::string>{"bob(Bob Stone)", "dee(Dee Park)"}));
    EXPECT_EQ(image(Child(root(), "dee(Dee Park)")),
              NextInRotation(image(Child(root(), "bob(Bob Stone)"))));
}

TEST_F(PopulateTest, SevenUsersContinueTheRotationAcrossFillings) {
    for (int i = 0; i < 7; ++i)
        account().addUser(30 + i, "u" + std::to_string(i), "F", "L");
    populate();
    std::vector<int> images;
    for (int i = 0; i < 7; ++i)
        images.push_back(image(Child(root(), "u" + std::to_string(i) + "(F L)")));
    for (int i = 1; i < 7; ++i)
        EXPECT_EQ(images[i], NextInRotation(images[i - 1]));
    EXPECT_EQ(images[5], images[0]);

    // A second tree filled later goes on from where the first one stopped.
    CLeftView second;
    second.OnInitialUpdate();
    SendMessage(&second, UM_POPULATE_LIBRARY, 0, 0);
    EXPECT_EQ(second.GetItemImage(Child(second.RootItem(), "u0(F L)")), NextInRotation(images[6]));
}

TEST_F(PopulateTest, HiddenSharedFolderIsLeftOutWithEverythingBelowIt) {
    auto bob = account().addUser(21, "bob", "Bob", "Stone");
    auto hidden = bob->shareFolder(300, "Hidden");
    hidden->visible = 0;
    hidden->addFile(301, "x.mp3");
    hidden->addSubfolder(302, "Inner")->addFile(303, "y.mp3");
    auto shown = bob->shareFolder(310, "Shown");
    // Only zero hides.
    shown->visible = 2;
    auto alone = account().addUser(22, "cy", "Cy", "Young");
    alone->shareFolder(320, "Gone")->visible = 0;

    populate();
    QTreeWidgetItem* bobItem = Child(root(), "bob(Bob Stone)");
    ASSERT_NE(bobItem, nullptr);
    EXPECT_EQ(ChildTexts(bobItem), (std::vector<std::string>{"Shown"}));
    QTreeWidgetItem* cyItem = Child(root(), "cy(Cy Young)");
    ASSERT_NE(cyItem, nullptr);
    EXPECT_EQ(cyItem->childCount(), 0);
    // Nothing of the hidden folders reached the tree.
    EXPECT_EQ(expectEveryItemKeyed(), 4u);
}

TEST_F(PopulateTest, EntriesWithoutTheExpectedInterfaceAreSkipped) {
    auto music = account().root->addSubfolder(5, "music");
    music->addFile(51, "a.mp3");
    music->files.push_back(std::make_shared<ScriptedFolder>(99, "not a file"));
    music->subfolders.push_back(std::make_shared<ScriptedFile>(98, "not a folder"));
    account().root->subfolders.push_back(nullptr);
    account().users.push_back(std::make_shared<ScriptedFile>(97, "not a user"));
    auto bob = account().addUser(21, "bob", "Bob", "Stone");
    bob->folders.push_back(std::make_shared<ScriptedFile>(96, "not a folder"));

    populate();
    EXPECT_EQ(ChildTexts(root()), (std::vector<std::string>{"bob(Bob Stone)", "music"}));
    EXPECT_EQ(ChildTexts(Child(root(), "music")), (std::vector<std::string>{"a.mp3"}));
    EXPECT_EQ(Child(root(), "bob(Bob Stone)")->childCount(), 0);
    EXPECT_TRUE(boxes->shown().empty());
}

TEST_F(PopulateTest, FailingComponentCallKeepsWhatWasReadAndIsReported) {
    auto early = account().root->addSubfolder(5, "early");
    early->addFile(51, "kept.mp3");
    auto broken = account().root->addSubfolder(6, "broken");
    broken->addFile(61, "first.mp3");
    broken->addFile(62, "second.mp3");
    broken->failFileFrom = 1;
    account().root->addSubfolder(7, "late");
    account().addUser(21, "bob", "Bob", "Stone");

    populate();
    EXPECT_EQ(result, 0);
    // Items read before the failure stay, with their keys; nothing after it
    // was read.
    EXPECT_EQ(ChildTexts(root()), (std::vector<std::string>{"broken", "early"}));
    QTreeWidgetItem* brokenItem = Child(root(), "broken");
    EXPECT_EQ(ChildTexts(brokenItem), (std::vector<std::string>{"first.mp3"}));
    EXPECT_EQ(key(brokenItem), "17~6~0");
    EXPECT_EQ(key(Child(brokenItem, "first.mp3")), "17~6~61");
    EXPECT_EQ(expectEveryItemKeyed(), 5u);
    // The tree still works with the proxy, and the user is told.
    EXPECT_TRUE(root()->isExpanded());
    EXPECT_EQ(proxy->notifyWindow, HandleOf(&view));
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(boxes->shown()[0].caption, "Velmora Media Player");
    EXPECT_FALSE(boxes->shown()[0].text.empty());
}

TEST_F(PopulateTest, LargerModelKeepsEveryLevelSortedAndEveryItemKeyed) {
    ModelShape shape;
    shape.topFolders = 6;
    shape.subfoldersEach = 5;
    shape.sharingUsers = 4;
    shape.filesPerFolder = 12;
    BuildModel(account(), shape);
    populate();

    std::size_t files = 0;
    std::function<void(QTreeWidgetItem*)> check = [&](QTreeWidgetItem* item) {
        for (int i = 1; i < item->childCount(); ++i)
            EXPECT_FALSE(TreeTextLess(item->child(i)->text(0), item->child(i - 1)->text(0)))
                << CLeftView::ItemText(item) << " at " << i;
        for (int i = 0; i < item->childCount(); ++i) {
            if (wire::ClassifyNodeKey(key(item->child(i))) == wire::NodeKind::File)
                ++files;
            check(item->child(i));
        }
    };
    check(root());
    const std::size_t folders = 6 * (1 + 5) + 4;
    EXPECT_EQ(files, folders * 12);
    EXPECT_EQ(expectEveryItemKeyed(), 1 + 4 + folders + folders * 12);
}

TEST_F(PopulateTest, SecondFillingReplacesTheFirstInsteadOfDoublingIt) {
    auto music = account().root->addSubfolder(5, "music");
    music->addFile(51, "a.mp3");
    account().addUser(21, "bob", "Bob", "Stone");
    populate();
    const std::size_t items = expectEveryItemKeyed();
    const Handle oldMusic = CLeftView::HandleOfItem(Child(root(), "music"));

    account().root->addFile(33, "new.txt");
    SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
    EXPECT_EQ(ChildTexts(root()), (std::vector<std::string>{"bob(Bob Stone)", "music", "new.txt"}));
    EXPECT_EQ(expectEveryItemKeyed(), items + 1);
    EXPECT_EQ(view.ItemFromHandle(oldMusic), nullptr);
}

TEST_F(PopulateTest, PopulatorWorksWithTheServiceClientItIsGiven) {
    // The program's own context is signed in to one account...
    account().root->addFile(33, "program.mp3");
    model = std::make_unique<SignedInModel>(proxy);
    ASSERT_TRUE(model->signedIn());

    // ... the populator is handed a client of another.
    auto other = std::make_shared<ScriptedProxy>();
    other->account->profile->userId = 23;
    other->account->root->addSubfolder(5, "theirs")->addFile(51, "b.mp3");
    ScopedComponent component(CLSID_velmoraPrxy, [other] { return other; });
    ServiceClient client;
    ASSERT_TRUE(client.Login("bob", "secret"));
    proxy->calls.clear();

    LibraryPopulator populator(view, client);
    EXPECT_EQ(populator.Populate(*root()), std::nullopt);
    EXPECT_EQ(ChildTexts(root()), (std::vector<std::string>{"theirs"}));
    QTreeWidgetItem* theirs = Child(root(), "theirs");
    EXPECT_EQ(key(theirs), "23~5~0");
    EXPECT_EQ(key(Child(theirs, "b.mp3")), "23~5~51");
    EXPECT_TRUE(root()->isExpanded());
    EXPECT_EQ(other->notifyWindow, HandleOf(&view));
    EXPECT_EQ(client.GetNotifyWindow(), HandleOf(&view));
    EXPECT_TRUE(proxy->calls.empty());
}
