// Share on the library tree against the scripted model; sharing on the real
// service is in the sharing e2e test.
#include "acls_dialog.h"
#include "left_view.h"
#include "library_test_support.h"
#include "modal_runner.h"
#include "scripted_message_boxes.h"
#include "window_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

struct ShareCase {
    const char* name;
    std::string target; // the hit item's text; empty: none
    bool busy;
    int dialogResult;        // -1: no dialog may open
    std::int32_t chosenList; // the dialog's list id after the run
    std::string failure;     // the service refuses with this text
    std::vector<std::string> calls;
    std::vector<std::string> texts;
    int image;              // the target's image afterwards; -1: not looked at
    std::int32_t modelList; // the folder's list in the model afterwards
};

void PrintTo(const ShareCase& c, std::ostream* os) {
    *os << c.name;
}

// Signed in as user 17:
//   My Media
//     bob(Bob Stone)   21~0~0
//       Holiday        21~300~0
//     music            17~5~0   shared with list 10
//       song.mp3       17~5~51
//     lost             17~99~0  (gone from the library model)
class FolderSharingTest : public ::testing::TestWithParam<ShareCase> {
protected:
    std::shared_ptr<ScriptedProxy> proxy = std::make_shared<ScriptedProxy>();
    ScopedScriptedBoxes boxes;
    std::shared_ptr<ScriptedFolder> music;
    std::unique_ptr<SignedInModel> model;
    CLeftView view;

    void SetUp() override {
        music = proxy->account->root->addSubfolder(5, "music", 10);
        music->addFile(51, "song.mp3");
        proxy->account->lists = {std::make_shared<ScriptedAccessList>(10, "Friends"),
                                 std::make_shared<ScriptedAccessList>(11, "Family")};
        proxy->account->addUser(21, "bob", "Bob", "Stone")->shareFolder(300, "Holiday");
        model = std::make_unique<SignedInModel>(proxy);
        ASSERT_TRUE(model->signedIn());
        view.resize(400, 400);
        view.show();
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        view.InsertItem(view.RootItem(), "lost", kImageFolder)->setNodeKey("17~99~0");
        proxy->calls.clear();
    }
    LibraryItem* Find(QTreeWidgetItem* parent, const std::string& text) {
        if (text == "My Media")
            return view.RootItem();
        for (int i = 0; parent && i < parent->childCount(); ++i) {
            if (CLeftView::ItemText(parent->child(i)) == text)
                return LibraryItem::from(parent->child(i));
            if (LibraryItem* below = Find(parent->child(i), text))
                return below;
        }
        return nullptr;
    }
};

TEST_P(FolderSharingTest, SharesOnlyOwnFoldersAndShowsTheResult) {
    const ShareCase& c = GetParam();
    LibraryItem* target = c.target.empty() ? nullptr : Find(view.RootItem(), c.target);
    ASSERT_EQ(target == nullptr, c.target.empty());
    // A folder is busy while a file in it is under transfer, and animates.
    LibraryItem* song = Find(view.RootItem(), "song.mp3");
    if (c.busy)
        view.StartItemAnimation(song, false, 9, 16, 150, false, false);
    view.SetHitItem(target);
    if (!c.failure.empty())
        proxy->failOn("SetFolderAccessList", c.failure);
    int dialogs = 0;
    ModalRunner previous = InstallModalRunner([&](QDialog& d) {
        auto& acls = dynamic_cast<CAclsDialog&>(d);
        ++dialogs;
        EXPECT_EQ(acls.mode, CAclsDialog::Sharing);
        EXPECT_EQ(acls.viewWindow, &view);
        EXPECT_EQ(acls.listId, 10) << "the folder's list is preselected";
        EXPECT_EQ(acls.parentWidget(), nullptr);
        acls.listId = c.chosenList;
        return c.dialogResult;
    });
    view.OnShare();
    InstallModalRunner(previous);
    if (c.busy)
        view.StopItemAnimation(song);
    EXPECT_EQ(dialogs, c.dialogResult == -1 ? 0 : 1);
    EXPECT_EQ(proxy->calls, c.calls);
    if (c.failure.empty()) {
        EXPECT_EQ(boxes->texts(), c.texts);
    } else {
        const std::string shown = AppContext::Instance().GetServiceClient().GetLastError();
        EXPECT_EQ(boxes->texts(), std::vector<std::string>{shown});
        EXPECT_NE(shown.find(c.failure), std::string::npos);
    }
    if (target && c.image != -1) {
        EXPECT_EQ(view.GetItemImage(target), c.image);
    }
    EXPECT_EQ(music->accessListId, c.modelList);
}

const int kAccepted = QDialog::Accepted, kRejected = QDialog::Rejected, kNone = -1;

// Share on the music folder, whose dialog ends with this result and list.
ShareCase MusicDialog(const char* name, int dialogResult, std::int32_t chosenList,
                      std::string failure, std::vector<std::string> calls, int image,
                      std::int32_t modelList) {
    return {name, "music", false,    dialogResult, chosenList, std::move(failure), std::move(calls),
            {},   image,   modelList};
}

// A target Share refuses outright: no dialog, no call, the folder's list kept.
ShareCase InvalidSelection(const char* name, std::string target, int image) {
    return {name, std::move(target), false, kNone, 0, "", {}, {"Invalid selection"}, image, 10};
}

INSTANTIATE_TEST_SUITE_P(
    Share, FolderSharingTest,
    ::testing::Values(
        MusicDialog("WithAList", kAccepted, 11, "", {"SetFolderAccessList(5,11)"},
                    kImageSharedFolder, 11),
        MusicDialog("StopSharing", kAccepted, 0, "", {"SetFolderAccessList(5,0)"}, kImageFolder, 0),
        MusicDialog("Cancelled", kRejected, 11, "", {}, kImageSharedFolder, 10),
        MusicDialog("Refused", kAccepted, 11, "Not allowed", {"SetFolderAccessList(5,11)"},
                    kImageSharedFolder, 10),
        ShareCase{"BusyFolder", "music", true, kNone, 0, "", {}, {}, kImageSharedFolder, 10},
        InvalidSelection("File", "song.mp3", kImageAudio),
        InvalidSelection("Root", "My Media", kImageRoot),
        InvalidSelection("OtherUsersFolder", "Holiday", kImageFolder),
        InvalidSelection("User", "bob(Bob Stone)", -1),
        InvalidSelection("FolderGoneFromTheModel", "lost", kImageFolder),
        InvalidSelection("NothingHit", "", 0)),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
