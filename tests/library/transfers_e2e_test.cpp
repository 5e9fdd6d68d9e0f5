// Transfers from the library tree through the real proxy against a real
// velmora-service on loopback, signed in as the demo account demo-free.

#include "app_context.h"
#include "event_pump.h"
#include "folder_browser.h"
#include "left_view.h"
#include "library_test_support.h"
#include "proxied_service.h"
#include "scripted_message_boxes.h"
#include "service_client.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace velmora;
using namespace velmora::test;

namespace {

// Counts the transfer ends that reach the view.
class DoneCounter : public QObject {
public:
    int done = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == eventType(UM_DOWNLOAD_DONE) || e->type() == eventType(UM_UPLOAD_DONE))
            ++done;
        return false;
    }
};

class TransfersE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
        AppContext::Destroy();
        ASSERT_TRUE(client().Login("demo-free", "free-demo-1")) << client().GetLastError();
        view.OnInitialUpdate();
        view.SetPlayerView(&player);
        view.installEventFilter(&counter);
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        ASSERT_NE(samples(), nullptr);
        ASSERT_TRUE(scratch.isValid());
    }
    void TearDown() override { AppContext::Destroy(); }

    static ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }
    QTreeWidgetItem* root() { return view.RootItem(); }
    QTreeWidgetItem* samples() { return Child(root(), "Samples"); }
    std::string key(QTreeWidgetItem* item) { return CLeftView::GetNodeKey(item); }
    std::string own(int folder) {
        return std::to_string(client().GetUserId()) + "~" + std::to_string(folder) + "~";
    }

    QString makeFile(const QString& name, const QByteArray& bytes) {
        return WriteFile(scratch.filePath(name), bytes);
    }
    static QByteArray randomBytes(int size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& c : bytes)
            c = static_cast<char>(QRandomGenerator::global()->generate());
        return bytes;
    }
    // Waits for the transfer ends, and for what they hand to the player.
    bool waitForEnds(int ends) {
        return test::PumpUntil(
            [&] { return counter.done >= ends && view.Play().HandOver().Pending() == 0; },
            std::chrono::seconds(20));
    }
    // Downloads the item as a play would and gives what arrived.
    QByteArray fetch(QTreeWidgetItem* item) {
        const int before = counter.done;
        const QString path = scratch.filePath("fetched-" + QString::number(before));
        view.Transfers().StartDownload(*LibraryItem::from(item), path.toStdString(), false);
        EXPECT_TRUE(waitForEnds(before + 1));
        QCoreApplication::processEvents();
        return ReadFile(path);
    }

    ServiceProcess service;
    TempSettings settings;
    ScopedScriptedBoxes boxes;
    FakePlayer player;
    DoneCounter counter;
    CLeftView view;
    QTemporaryDir scratch;
};

TEST_F(TransfersE2E, DroppedFilesAreStoredAndPlayableAndTheFolderIsIgnored) {
    const QByteArray one = randomBytes(70000), two = randomBytes(1000), three = randomBytes(5);
    QDir(scratch.path()).mkdir("album.mp3");
    view.Transfers().Drop(samples(), {QUrl::fromLocalFile(makeFile("one.mp3", one)),
                                      QUrl::fromLocalFile(makeFile("two.au", two)),
                                      QUrl::fromLocalFile(scratch.filePath("album.mp3")),
                                      QUrl::fromLocalFile(makeFile("notes.txt", "n")),
                                      QUrl::fromLocalFile(makeFile("three.aiff", three))});
    EXPECT_EQ(view.Animations().Count(), 3u);
    ASSERT_TRUE(waitForEnds(3));
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    EXPECT_EQ(Child(samples(), "album.mp3"), nullptr);
    EXPECT_EQ(Child(samples(), "notes.txt"), nullptr);
    const std::string folderKey = key(samples());
    for (const auto& [name, bytes] :
         {std::pair{"one.mp3", one}, std::pair{"two.au", two}, std::pair{"three.aiff", three}}) {
        QTreeWidgetItem* item = Child(samples(), name);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(wire::ClassifyNodeKey(key(item)), wire::NodeKind::File) << key(item);
        EXPECT_EQ(key(item).rfind(folderKey.substr(0, folderKey.size() - 1), 0), 0u);
        EXPECT_EQ(fetch(item), bytes) << name;
    }
    EXPECT_EQ(player.files.size(), 3u);
}

TEST_F(TransfersE2E, ADropOnAFileGoesToItsFolderAndOnMyMediaToTheRoot) {
    view.Transfers().Drop(Child(samples(), "Short beep.au"),
                          {QUrl::fromLocalFile(makeFile("beside.mp3", "b"))});
    view.Transfers().Drop(root(), {QUrl::fromLocalFile(makeFile("top.mp3", "t"))});
    ASSERT_TRUE(waitForEnds(2));
    const std::string samplesKey = key(samples());
    EXPECT_EQ(
        key(Child(samples(), "beside.mp3")).rfind(samplesKey.substr(0, samplesKey.size() - 1), 0),
        0u);
    EXPECT_EQ(key(Child(root(), "top.mp3")).rfind(own(1), 0), 0u);
    // Another user's folder takes nothing.
    QTreeWidgetItem* shared = root()->child(0);
    for (int i = 0; i < root()->childCount(); ++i)
        if (wire::ClassifyNodeKey(key(root()->child(i))) == wire::NodeKind::User)
            shared = root()->child(i)->child(0);
    ASSERT_NE(shared, nullptr);
    view.Transfers().Drop(shared, {QUrl::fromLocalFile(makeFile("theirs.mp3", "x"))});
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Invalid drop target"});
}

TEST_F(TransfersE2E, ADropOfAStoredNameReplacesThatFile) {
    QTreeWidgetItem* old = Child(samples(), "Short beep.au");
    const std::string oldKey = key(old);
    const QByteArray bytes = randomBytes(3000);
    view.Transfers().Drop(samples(), {QUrl::fromLocalFile(makeFile("Short beep.au", bytes))});
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_TRUE(boxes->texts().empty());
    EXPECT_EQ(CountChildren(samples(), "Short beep.au"), 1);
    QTreeWidgetItem* item = Child(samples(), "Short beep.au");
    EXPECT_EQ(key(item), oldKey);
    EXPECT_EQ(fetch(item), bytes);
}

TEST_F(TransfersE2E, SaveWritesTheFileAndAFailedSaveKeepsTheOldOne) {
    QTreeWidgetItem* welcome = Child(root(), "Welcome.aiff");
    ASSERT_NE(welcome, nullptr);
    const QByteArray stored = fetch(welcome);
    ASSERT_FALSE(stored.isEmpty());
    player.files.clear();
    QTemporaryDir target;
    CFolderBrowser::ScopedFolderChooser chooser([&] { return target.path().toStdString(); });
    const QString saved = target.filePath("Welcome.aiff");

    view.SetHitItem(Child(root(), "Welcome.aiff(Queued for play)"));
    LibraryItem::from(view.HitItem())->setText(0, "Welcome.aiff");
    int ends = counter.done;
    {
        CFolderBrowser::ScopedFolderChooser cancel([] { return std::string(); });
        view.OnFileSave();
    }
    view.OnFileSave(); // no file there yet: no question
    ASSERT_TRUE(waitForEnds(++ends));
    EXPECT_EQ(ReadFile(saved), stored);
    EXPECT_TRUE(boxes->texts().empty());

    QFile(saved).remove();
    QFile::copy(makeFile("other", "other"), saved);
    view.OnFileSave(); // answered No: nothing happens
    EXPECT_EQ(boxes->texts(),
              std::vector<std::string>{"This folder contains a file named 'Welcome.aiff'.\n"
                                       "Would you like to replace the existing file?"});
    boxes->answerNext(true);
    view.OnFileSave(); // replaces the file there
    ASSERT_TRUE(waitForEnds(++ends));
    EXPECT_EQ(ReadFile(saved), stored);
    EXPECT_EQ(counter.done, ends);
    EXPECT_EQ(CLeftView::ItemText(view.HitItem()), "Welcome.aiff");
    EXPECT_TRUE(player.files.empty());

    // With the service gone the download fails, and the file stays whole.
    service.stop();
    boxes->clear();
    boxes->answerNext(true);
    view.OnFileSave();
    ASSERT_TRUE(waitForEnds(++ends));
    ASSERT_EQ(boxes->texts().size(), 2u);
    EXPECT_EQ(boxes->texts()[1].rfind("Download failed", 0), 0u) << boxes->texts()[1];
    EXPECT_EQ(ReadFile(saved), stored);
}

TEST_F(TransfersE2E, ADownloadWhoseItemIsDeletedMeanwhileLeavesTheTreeAlone) {
    QTreeWidgetItem* welcome = Child(root(), "Welcome.aiff");
    const int children = root()->childCount();
    view.Transfers().StartDownload(*LibraryItem::from(welcome),
                                   scratch.filePath("w.aiff").toStdString(), false);
    view.DeleteItem(welcome);
    ASSERT_TRUE(waitForEnds(1));
    QCoreApplication::processEvents();
    EXPECT_TRUE(player.files.empty());
    EXPECT_TRUE(boxes->texts().empty());
    EXPECT_EQ(root()->childCount(), children - 1);
    // The gone item's animation ends with the next frame.
    view.Animations().ShowNextFrames();
    EXPECT_EQ(view.Animations().Count(), 0u);
}

} // namespace
