// Transfers as the tree sees them, against the scripted proxy: the context
// text, the item animations, the done messages, drops, uploads to the root
// and File > Save.

#include "cache_files.h"
#include "desktop_notices.h"
#include "event_pump.h"
#include "folder_browser.h"
#include "left_view.h"
#include "library_test_support.h"
#include "scripted_message_boxes.h"
#include "scripted_proxy.h"
#include "transfer_context.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

using namespace velmora;
using namespace velmora::test;

namespace {

TEST(TransferContextTest, AnyNameAndPathComeBackAsTheyWent) {
    const std::string longPath = "/tmp/" + std::string(300, 'd') + "/song.mp3";
    for (const std::string& text :
         {std::string("plain.mp3"), std::string("a^b.mp3"), std::string("100%.mp3"),
          std::string("%5E^%25.mp3"), std::string("^"), std::string(), longPath}) {
        TransferContext context{42, text, text + "/path", 19, {}};
        const std::string wire = context.Text();
        // Four fields, whatever the texts hold.
        EXPECT_EQ(std::count(wire.begin(), wire.end(), '^'), 3) << wire;
        const std::optional<TransferContext> back = TransferContext::Parse(wire);
        ASSERT_TRUE(back) << wire;
        EXPECT_EQ(back->item, 42u);
        EXPECT_EQ(back->name, text);
        EXPECT_EQ(back->localPath, text + "/path");
        EXPECT_EQ(back->image, 19);
        // The proxy appends the new file's id to a finished upload's context.
        EXPECT_EQ(TransferContext::Parse(wire + "^77")->NewFileId(), 77);
        EXPECT_FALSE(back->IsNoPlay());
    }
    EXPECT_TRUE(TransferContext::Parse("1^a^b^3^noplay")->IsNoPlay());
    EXPECT_FALSE(TransferContext::Parse("1^a^b^3^noplay^x")->IsNoPlay());
    EXPECT_FALSE(TransferContext::Parse("1^a^b"));
}

int ThreadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// User 17 owns "music" (5) with song.mp3 (51) and "Live" (6) with
// "hard song.mp3" (61), and top.mp3 (33) at the top; user 40 shares
// "theirs" (80) with their.mp3 (81).
class TransfersTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.OnInitialUpdate();
        view.SetPlayerView(&player);
        auto music = proxy->account->root->addSubfolder(5, "music");
        music->addFile(51, "song.mp3");
        music->addSubfolder(6, "Live")->addFile(61, "hard song.mp3");
        proxy->account->root->addFile(33, "top.mp3");
        proxy->account->addUser(40, "bo", "Bo", "Berg")
            ->shareFolder(80, "theirs")
            ->addFile(81, "their.mp3");
        model = std::make_unique<SignedInModel>(proxy);
        ASSERT_TRUE(model->signedIn());
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        ASSERT_NE(song(), nullptr);
        ASSERT_TRUE(scratch.isValid());
    }

    QTreeWidgetItem* root() { return view.RootItem(); }
    QTreeWidgetItem* music() { return Child(root(), "music"); }
    QTreeWidgetItem* song() { return Child(music(), "song.mp3"); }
    QTreeWidgetItem* theirs() { return Child(Child(root(), "bo(Bo Berg)"), "theirs"); }
    bool animating(QTreeWidgetItem* item) {
        return view.Animations().IsAnimating(CLeftView::HandleOfItem(item));
    }
    // The arguments of the last call of the method, or an empty text.
    std::string lastCall(const std::string& method) {
        for (auto it = proxy->calls.rbegin(); it != proxy->calls.rend(); ++it)
            if (it->rfind(method + "(", 0) == 0)
                return it->substr(method.size() + 1, it->size() - method.size() - 2);
        return {};
    }
    // The context the last transfer of the method started with.
    std::string lastContext(const std::string& method) {
        const std::string args = lastCall(method);
        return args.substr(args.find(',', args.find(',') + 1) + 1);
    }
    QString makeFile(const QString& name, const QByteArray& bytes = "bytes") {
        return WriteFile(scratch.filePath(name), bytes);
    }
    void done(int message, const std::string& error, const std::string& context) {
        SendMessage(&view, message, static_cast<WPARAM>(textParam(error)), textParam(context));
        // A finished download reaches the player from a worker of its own.
        EXPECT_TRUE(test::PumpUntil([&] { return view.Play().HandOver().Pending() == 0; }));
        QCoreApplication::processEvents();
    }

    std::shared_ptr<ScriptedProxy> proxy = std::make_shared<ScriptedProxy>();
    ScopedScriptedBoxes boxes;
    FakePlayer player;
    CLeftView view;
    std::unique_ptr<SignedInModel> model;
    QTemporaryDir scratch;
};

TEST_F(TransfersTest, FramesRunFromNineToSixteenAndRoundAgain) {
    view.StartItemAnimation(song(), false, 9, 16, 150, false, false);
    std::vector<int> frames;
    for (int i = 0; i < 10; ++i) {
        view.Animations().ShowNextFrames();
        frames.push_back(view.GetItemImage(song()));
    }
    EXPECT_EQ(frames, (std::vector<int>{9, 10, 11, 12, 13, 14, 15, 16, 9, 10}));
    view.StopItemAnimation(song());
    EXPECT_FALSE(animating(song()));
    EXPECT_FALSE(view.Animations().TimerRunning());
}

TEST_F(TransfersTest, WhatAStartAnimatesAndWhatIsBusy) {
    QTreeWidgetItem* live = Child(music(), "Live");
    QTreeWidgetItem* hard = Child(live, "hard song.mp3");
    // Recursing from a folder starts its own files, not the folder itself and
    // not the files of its subfolders.
    view.StartItemAnimation(music(), false, 9, 16, 150, true, false);
    EXPECT_TRUE(animating(song()));
    EXPECT_FALSE(animating(music()));
    EXPECT_FALSE(animating(hard));
    EXPECT_TRUE(view.IsItemBusy(music()));
    EXPECT_TRUE(view.IsItemBusy(root()));
    EXPECT_FALSE(view.IsItemBusy(live));
    // A pending upload carries its folder's key: only forced.
    LibraryItem* pending = view.InsertItem(music(), "new.mp3", 19);
    pending->setNodeKey("17~5~0");
    view.StartItemAnimation(pending, false, 9, 16, 150, false, false);
    EXPECT_FALSE(animating(pending));
    view.StartItemAnimation(pending, false, 9, 16, 150, false, true);
    EXPECT_TRUE(animating(pending));
    // Stopping with recurse stops the files below.
    view.StartItemAnimation(music(), true, 9, 16, 150, true, false);
    EXPECT_FALSE(animating(song()));
    EXPECT_TRUE(animating(pending));
    // An item deleted while it animates leaves the registry at the next frame.
    view.DeleteItem(pending);
    view.Animations().ShowNextFrames();
    EXPECT_EQ(view.Animations().Count(), 0u);
    EXPECT_FALSE(view.Animations().TimerRunning());
}

TEST_F(TransfersTest, AThousandAnimationsCostNoThread) {
    const int threadsBefore = ThreadCount();
    std::vector<LibraryItem*> items;
    for (int i = 0; i < 1000; ++i) {
        LibraryItem* item = view.InsertItem(music(), "f" + std::to_string(i) + ".mp3", 19);
        item->setNodeKey("17~5~" + std::to_string(1000 + i));
        items.push_back(item);
    }
    view.StartItemAnimation(music(), false, 9, 16, 150, true, false);
    EXPECT_EQ(view.Animations().Count(), 1001u);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    view.Animations().ShowNextFrames();
    EXPECT_TRUE(std::all_of(items.begin(), items.end(),
                            [&](LibraryItem* item) { return item->image() == 9; }));
}

TEST_F(TransfersTest, DownloadDoneLabelsRestoresAndPlays) {
    struct Case {
        bool noPlay;
        std::string error;
        std::string label;
        bool played;
    };
    for (const Case& c :
         {Case{false, "", "song.mp3(Queued for play)", true}, Case{true, "", "song.mp3", false},
          Case{false, "Download failed: gone", "song.mp3(Queued for play)", false}}) {
        SCOPED_TRACE(c.label + "|" + c.error);
        player.files.clear();
        boxes->clear();
        LibraryItem* item = LibraryItem::from(music()->child(music()->childCount() - 1));
        item->setText(0, "song.mp3");
        const std::string path = scratch.filePath("song.mp3").toStdString();
        view.Transfers().StartDownload(*item, path, c.noPlay);
        EXPECT_EQ(lastCall("DownloadFile").rfind("17~5~51," + path + ",", 0), 0u);
        EXPECT_TRUE(animating(item));
        done(UM_DOWNLOAD_DONE, c.error, lastContext("DownloadFile"));
        EXPECT_EQ(CLeftView::ItemText(item), c.label);
        EXPECT_EQ(view.GetItemImage(item), 19);
        EXPECT_FALSE(animating(item));
        EXPECT_EQ(boxes->texts(),
                  c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
        const auto handedOver = std::make_pair(
            std::to_string(HandleOf(&view)) + "|" + std::to_string(item->handle()), path);
        EXPECT_EQ(player.files,
                  c.played ? decltype(player.files){handedOver} : decltype(player.files){});
    }
}

// A Save that ended and an upload that failed reach the desktop while the
// user is at another program; downloads for play, finished uploads and
// anything while the program is active do not. The boxes stay as they were.
TEST_F(TransfersTest, TransferEndsReachTheDesktopWhileTheProgramIsInactive) {
    enum class Kind { Save, Play, Upload };
    struct Case {
        const char* name;
        Kind kind;
        std::string error;
        bool active;
        std::vector<DesktopNotice> notices;
    };
    const std::string folder = scratch.path().toStdString();
    const Case cases[] = {
        {"saved", Kind::Save, "", false, {{"Saved song.mp3", folder}}},
        {"save failed",
         Kind::Save,
         "Download failed: gone",
         false,
         {{"Could not save song.mp3", "Download failed: gone"}}},
        {"saved while active", Kind::Save, "", true, {}},
        {"save failed while active", Kind::Save, "Download failed: gone", true, {}},
        {"played", Kind::Play, "", false, {}},
        {"play failed", Kind::Play, "Download failed: gone", false, {}},
        {"upload failed",
         Kind::Upload,
         "Upload failed: full",
         false,
         {{"Could not upload new.mp3", "Upload failed: full"}}},
        {"upload failed while active", Kind::Upload, "Upload failed: full", true, {}},
        {"uploaded", Kind::Upload, "", false, {}},
    };
    LibraryItem* songItem = LibraryItem::from(song());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A download for play leaves the item queued.
        songItem->setText(0, "song.mp3");
        std::vector<DesktopNotice> sent;
        ScopedDesktopNotifications notifications(
            {[&](const DesktopNotice& notice) { sent.push_back(notice); },
             [&] { return c.active; }});
        boxes->clear();
        if (c.kind == Kind::Upload) {
            view.Transfers().Drop(music(), {QUrl::fromLocalFile(makeFile("new.mp3"))});
            const std::string context = lastContext("UploadFile");
            done(UM_UPLOAD_DONE, c.error, c.error.empty() ? context + "^99" : context);
        } else {
            view.Transfers().StartDownload(*songItem, scratch.filePath("song.mp3").toStdString(),
                                           c.kind == Kind::Save);
            done(UM_DOWNLOAD_DONE, c.error, lastContext("DownloadFile"));
        }
        EXPECT_EQ(sent, c.notices);
        EXPECT_EQ(boxes->texts(),
                  c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
    }
}

TEST_F(TransfersTest, ATransferTheProxyRefusesDoesNotAnimateOn) {
    proxy->failOn("DownloadFile", "no room");
    proxy->failOn("UploadFile", "no way");
    view.Transfers().StartDownload(*LibraryItem::from(song()), "/nowhere/song.mp3", false);
    EXPECT_FALSE(animating(song()));
    EXPECT_EQ(view.GetItemImage(song()), 19);
    view.Transfers().Drop(music(), {QUrl::fromLocalFile(makeFile("new.mp3"))});
    EXPECT_EQ(Child(music(), "new.mp3"), nullptr);
    EXPECT_EQ(view.Animations().Count(), 0u);
    ASSERT_EQ(boxes->texts().size(), 2u);
    EXPECT_NE(boxes->texts()[0].find("no room"), std::string::npos);
    EXPECT_NE(boxes->texts()[1].find("no way"), std::string::npos);
}

TEST_F(TransfersTest, FilesDroppedOnTheViewGoToTheItemUnderTheDropPoint) {
    view.resize(300, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QPoint at = view.visualItemRect(music()).center();
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(makeFile("new.mp3"))});
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    // The target is marked while the drag lasts; the selection stays.
    view.setCurrentItem(root());
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &move);
    EXPECT_EQ(view.DropHighlight(), music());
    EXPECT_EQ(view.currentItem(), root());
    QCoreApplication::sendEvent(view.viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(view.DropHighlight(), nullptr);
    EXPECT_EQ(view.currentItem(), music());
    EXPECT_NE(Child(music(), "new.mp3"), nullptr);
    EXPECT_EQ(lastCall("UploadFile").rfind("17~5~new.mp3,", 0), 0u);
    delete data;
}

TEST_F(TransfersTest, NothingIsDroppedOutsideTheOwnFolders) {
    const QList<QUrl> urls{QUrl::fromLocalFile(makeFile("new.mp3"))};
    for (QTreeWidgetItem* at :
         {static_cast<QTreeWidgetItem*>(nullptr), Child(root(), "bo(Bo Berg)"), theirs(),
          Child(theirs(), "their.mp3")}) {
        boxes->clear();
        view.Transfers().Drop(at, urls);
        EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Invalid drop target"});
    }
    EXPECT_EQ(lastCall("UploadFile"), "");
}

TEST_F(TransfersTest, ADropReplacesOnlyTheSameNamedFileRightBelowTheTarget) {
    const QString path = makeFile("song.mp3");
    QTreeWidgetItem* hard = Child(Child(music(), "Live"), "hard song.mp3");
    view.Transfers().Drop(music(), {QUrl::fromLocalFile(path)});
    EXPECT_EQ(CountChildren(music(), "song.mp3"), 1);
    EXPECT_EQ(CLeftView::GetNodeKey(song()), "17~5~0");
    EXPECT_EQ(CLeftView::GetNodeKey(hard), "17~6~61");
    // The service replaces the file on the upload itself; nothing is deleted.
    EXPECT_EQ(lastCall("DeleteFile"), "");

    // A finished upload gives the item the file's id, and the model the file.
    const std::string context = lastContext("UploadFile");
    done(UM_UPLOAD_DONE, "", context + "^51");
    EXPECT_EQ(CLeftView::GetNodeKey(song()), "17~5~51");
    EXPECT_FALSE(animating(song()));

    // A failed one removes the new item and brings the file it replaced back,
    // since the service still holds it.
    view.Transfers().Drop(music(), {QUrl::fromLocalFile(path)});
    done(UM_UPLOAD_DONE, "Upload failed: full", lastContext("UploadFile"));
    EXPECT_EQ(CountChildren(music(), "song.mp3"), 1);
    EXPECT_EQ(CLeftView::GetNodeKey(song()), "17~5~51");
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Upload failed: full"});
}

TEST_F(TransfersTest, UploadToTheRootIsRecordedEvenWhenItsItemIsGone) {
    EXPECT_TRUE(view.property("acceptsMediaUploads").toBool());
    const std::string path = makeFile("a^b.mp3").toStdString();
    SendMessage(&view, UM_MEDIA_FILE, 0, textParam(path));
    QTreeWidgetItem* item = Child(root(), "a^b.mp3");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(CLeftView::GetNodeKey(item), "17~1~0");
    EXPECT_EQ(lastCall("UploadFile").rfind("17~1~a^b.mp3," + path + ",", 0), 0u);
    const std::string context = lastContext("UploadFile");
    view.DeleteItem(item);
    done(UM_UPLOAD_DONE, "", context + "^90");
    const auto& files = proxy->account->root->files;
    EXPECT_TRUE(std::any_of(files.begin(), files.end(), [](const ComPtr& file) {
        auto* f = dynamic_cast<ScriptedFile*>(file.get());
        return f && f->id_ == 90 && f->name_ == "a^b.mp3";
    }));
}

TEST_F(TransfersTest, SaveTakesOwnFilesOnly) {
    CFolderBrowser::ScopedFolderChooser chooser([&] { return scratch.path().toStdString(); });
    for (QTreeWidgetItem* item : {static_cast<QTreeWidgetItem*>(nullptr), root(), music(),
                                  Child(root(), "bo(Bo Berg)"), Child(theirs(), "their.mp3")}) {
        boxes->clear();
        view.SetHitItem(item);
        EXPECT_TRUE(view.HandlesCommand(CLeftView::ID_FILE_SAVE));
        EXPECT_TRUE(view.OnCommand(CLeftView::ID_FILE_SAVE));
        EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Invalid selection"});
    }
    EXPECT_EQ(lastCall("DownloadFile"), "");
}

TEST(FolderBrowserTest, ATypedPathThatIsNoFolderKeepsTheDialogOpen) {
    ScopedScriptedBoxes boxes;
    QTemporaryDir dir;
    QFile file(dir.filePath("plain.mp3"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    CFolderBrowser browser;
    EXPECT_EQ(browser.windowTitle(), "choose the location to save selected file to");
    for (const QString& path : {file.fileName(), dir.filePath("missing")}) {
        browser.selectFile(path);
        browser.accept();
        EXPECT_EQ(browser.result(), QDialog::Rejected) << path.toStdString();
    }
    EXPECT_EQ(boxes->texts(),
              (std::vector<std::string>{"Invalid folder selection", "Invalid folder selection"}));
    browser.setDirectory(dir.path());
    browser.selectFile(dir.path());
    browser.accept();
    EXPECT_EQ(browser.result(), QDialog::Accepted);
}

// Play on the hit item: what it downloads, and into which file.
TEST_F(TransfersTest, PlayDownloadsIntoTheCacheAndAFolderEveryIdleFileBelowIt) {
    auto downloads = [&] {
        std::vector<std::string> keysAndPaths;
        for (const std::string& call : proxy->calls)
            if (call.rfind("DownloadFile(", 0) == 0)
                keysAndPaths.push_back(call.substr(13, call.find(',', call.find(',') + 1) - 13));
        return keysAndPaths;
    };
    view.SetHitItem(root());
    view.OnPlay();
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Invalid selection"});
    QTreeWidgetItem* hard = Child(Child(music(), "Live"), "hard song.mp3");
    view.SetHitItem(hard);
    view.OnPlay();
    // Busy now: neither the file itself nor its folder starts it again.
    view.OnPlay();
    view.SetHitItem(music());
    view.OnPlay();
    const std::string cache = CacheFolder();
    EXPECT_EQ(downloads(), (std::vector<std::string>{"17~6~61," + cache + "hard song.mp3",
                                                     "17~5~51," + cache + "song.mp3"}));
    EXPECT_FALSE(TransferContext::Parse(lastContext("DownloadFile"))->IsNoPlay());
}

TEST_F(TransfersTest, PlayOnAUserOpensOneDialogAndFocusesItAgain) {
    view.SetHitItem(Child(root(), "bo(Bo Berg)"));
    view.OnPlay();
    CUserDialog* dialog = view.GetUserDialogs().Find(40);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->created);
    view.OnPlay();
    EXPECT_EQ(view.GetUserDialogs().Count(), 1u);
    EXPECT_EQ(view.GetUserDialogs().Find(40), dialog);
    EXPECT_EQ(lastCall("DownloadFile"), "");
}

TEST_F(TransfersTest, NowPlayingRelabelsAndMarksTheItemUntilItEnds) {
    const Handle handle = CLeftView::HandleOfItem(song());
    std::string name = "song.mp3";
    auto report = [&](int message) {
        SendMessage(&view, message, static_cast<WPARAM>(handle), textParam(name));
    };
    song()->setText(0, "song.mp3(Queued for play)");
    // A play that ends within the second never shows the playing image.
    report(UM_NOW_PLAYING);
    EXPECT_EQ(CLeftView::ItemText(song()), "song.mp3");
    report(UM_PLAYING_ENDED);
    test::PumpFor(std::chrono::milliseconds(LibraryPlay::kPlayingImageDelayMs + 200));
    EXPECT_EQ(view.GetItemImage(song()), kImageAudio);
    report(UM_NOW_PLAYING);
    EXPECT_TRUE(test::PumpUntil([&] { return view.GetItemImage(song()) == kImagePlaying; }));
    report(UM_PLAYING_ENDED);
    EXPECT_EQ(view.GetItemImage(song()), kImageAudio);
}

} // namespace
