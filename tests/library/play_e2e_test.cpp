// Play from the library through the real proxy, a real velmora-service on
// loopback and the real player view: what reaches the player, and what each
// item shows on its way from the double click to the end of its play.

#include "app_context.h"
#include "cache_files.h"
#include "event_pump.h"
#include "left_view.h"
#include "library_images.h"
#include "library_test_support.h"
#include "proxied_service.h"
#include "scripted_message_boxes.h"
#include "service_client.h"
#include "velmora_player_view.h"
#include "window_messages.h"

#include <QHBoxLayout>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

using namespace velmora;
using namespace velmora::test;

namespace {

// The main frame's part in a play: the message bar's texts.
class Frame : public QWidget {
public:
    std::vector<std::string> barTexts;

protected:
    void customEvent(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return;
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() == UM_SET_BAR_TEXT)
            barTexts.push_back(paramText(m->lParam()));
    }
};

// The files the player view is handed, as they come.
class HandedFiles : public QObject {
public:
    std::vector<std::string> paths;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return false;
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() == UM_MEDIA_FILE && m->lParam())
            paths.emplace_back(paramText(m->lParam()));
        return false;
    }
};

class PlayE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cache.isValid());
        // The played files land in this test's own cache folder.
        qputenv("TMPDIR", cache.path().toUtf8());
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
        AppContext::Destroy();
        ASSERT_TRUE(client().Login("demo-free", "free-demo-1")) << client().GetLastError();
        auto* layout = new QHBoxLayout(&frame);
        view = new CLeftView;
        player = new Cvelmora_playerView;
        layout->addWidget(view);
        layout->addWidget(player);
        player->installEventFilter(&handed);
        frame.resize(900, 600);
        frame.show();
        player->OnInitialUpdate();
        SendMessage(view, UM_POPULATE_LIBRARY, 0, 0);
        view->RootItem()->setExpanded(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        ASSERT_NE(music(), nullptr);
    }
    void TearDown() override {
        AppContext::Destroy();
        qunsetenv("TMPDIR");
    }

    static ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }
    QTreeWidgetItem* music() { return Child(view->RootItem(), "Music"); }
    static std::vector<QTreeWidgetItem*> FilesBelow(QTreeWidgetItem* folder) {
        std::vector<QTreeWidgetItem*> files;
        for (int i = 0; i < folder->childCount(); ++i) {
            QTreeWidgetItem* child = folder->child(i);
            if (wire::ClassifyNodeKey(CLeftView::GetNodeKey(child)) == wire::NodeKind::File) {
                files.push_back(child);
                continue;
            }
            for (QTreeWidgetItem* below : FilesBelow(child))
                files.push_back(below);
        }
        return files;
    }
    void DoubleClick(QTreeWidgetItem* item) {
        const QPoint at = view->viewport()->mapTo(&frame, view->visualItemRect(item).center());
        QTest::mouseDClick(frame.windowHandle(), Qt::LeftButton, {}, at);
    }

    QTemporaryDir cache;
    ServiceProcess service;
    TempSettings settings;
    ScopedScriptedBoxes boxes;
    Frame frame;
    HandedFiles handed;
    CLeftView* view = nullptr;
    Cvelmora_playerView* player = nullptr;
};

} // namespace

TEST_F(PlayE2E, AFolderQueuesEveryFileBelowItAndEachItemShowsItsPlay) {
    const std::vector<QTreeWidgetItem*> files = FilesBelow(music());
    ASSERT_EQ(files.size(), 6u); // three tones in each of the two subfolders
    // One file is being saved: the play skips it, and the saved file never
    // reaches the player.
    QTreeWidgetItem* saved = files.front();
    const QString savedPath = cache.filePath("saved.au");
    view->Transfers().StartDownload(*LibraryItem::from(saved), savedPath.toStdString(), true);

    std::set<std::string> expected;
    for (QTreeWidgetItem* file : files)
        if (file != saved)
            expected.insert(CacheFolder() + CLeftView::ItemText(file));
    DoubleClick(music());
    EXPECT_TRUE(music()->isExpanded()) << "the tree's own double click handling follows";
    ASSERT_TRUE(PumpUntil([&] { return handed.paths.size() >= expected.size(); },
                          std::chrono::seconds(30)));
    EXPECT_EQ(std::set<std::string>(handed.paths.begin(), handed.paths.end()), expected);
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    EXPECT_EQ(CLeftView::ItemText(saved).find("(Queued for play)"), std::string::npos);
    // Every other file is queued, or already playing under its plain name.
    for (QTreeWidgetItem* file : files) {
        const std::string text = CLeftView::ItemText(file);
        const bool playing = std::find(frame.barTexts.begin(), frame.barTexts.end(),
                                       "Playing: " + text) != frame.barTexts.end();
        if (file != saved) {
            EXPECT_TRUE(text.ends_with("(Queued for play)") || playing) << text;
        }
    }

    // The first file handed over plays: its plain name, the bar, the playing
    // image a second later, and its own image again once the next one starts.
    const std::string firstPath = handed.paths.front();
    const std::string firstName = firstPath.substr(CacheFolder().size());
    QTreeWidgetItem* first = nullptr;
    for (QTreeWidgetItem* file : files)
        if (CLeftView::ItemText(file).rfind(firstName, 0) == 0)
            first = file;
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return view->GetItemImage(first) == kImagePlaying; },
                          std::chrono::seconds(10)));
    EXPECT_EQ(CLeftView::ItemText(first), firstName);
    EXPECT_NE(std::find(frame.barTexts.begin(), frame.barTexts.end(), "Playing: " + firstName),
              frame.barTexts.end());
    ASSERT_TRUE(PumpUntil([&] { return view->GetItemImage(first) == ImageForName(firstName); },
                          std::chrono::seconds(10)));
}
