// Libraries the service would no longer accept, as an older database may
// still hold them: hostile item names and extreme shapes, against the
// scripted proxy. Play and Save write inside their folder, contexts carry
// the name intact, and deep or wide trees are shown and walked.

#include "cache_files.h"
#include "folder_browser.h"
#include "left_view.h"
#include "library_test_support.h"
#include "scripted_message_boxes.h"
#include "scripted_proxy.h"
#include "transfer_context.h"
#include "window_messages.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

using namespace velmora;
using namespace velmora::test;

namespace {

class HostileLibraryTest : public ::testing::Test {
protected:
    void start() {
        view.OnInitialUpdate();
        view.SetPlayerView(&player);
        model = std::make_unique<SignedInModel>(proxy);
        ASSERT_TRUE(model->signedIn());
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        ASSERT_TRUE(scratch.isValid());
    }
    // Local path and context of every download started so far.
    std::vector<std::pair<std::string, std::string>> downloads() {
        std::vector<std::pair<std::string, std::string>> out;
        for (const std::string& call : proxy->calls) {
            if (call.rfind("DownloadFile(", 0) != 0)
                continue;
            const std::size_t path = call.find(',') + 1;
            const std::size_t context = call.find(',', path) + 1;
            out.emplace_back(call.substr(path, context - 1 - path),
                             call.substr(context, call.size() - context - 1));
        }
        return out;
    }

    std::shared_ptr<ScriptedProxy> proxy = std::make_shared<ScriptedProxy>();
    std::unique_ptr<SignedInModel> model;
    ScopedScriptedBoxes boxes;
    FakePlayer player;
    CLeftView view;
    QTemporaryDir scratch;
};

TEST_F(HostileLibraryTest, PlayAndSaveOfAnyNameWriteInsideTheirFolder) {
    const std::vector<std::string> names = {"../../escape.mp3",
                                            "a/../../b.mp3",
                                            std::string("nul\0byte.mp3", 12),
                                            "..",
                                            std::string(10000, 'n') + ".mp3",
                                            "bad\xff\xfe.mp3",
                                            "a^b|c~0~d^noplay.mp3",
                                            "\"it's\"; DROP TABLE files;--.mp3"};
    auto old = proxy->account->root->addSubfolder(5, "old");
    for (std::size_t i = 0; i < names.size(); ++i)
        old->addFile(static_cast<std::int32_t>(100 + i), names[i]);
    start();
    QTreeWidgetItem* folder = Child(view.RootItem(), "old");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->childCount(), static_cast<int>(names.size()));
    CFolderBrowser::ScopedFolderChooser chooser([&] { return scratch.path().toStdString(); });
    for (int i = 0; i < folder->childCount(); ++i) {
        view.SetHitItem(folder->child(i));
        view.OnPlay();
        view.OnCommand(CLeftView::ID_FILE_SAVE);
    }
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    const auto started = downloads();
    ASSERT_EQ(started.size(), 2 * names.size());
    const std::filesystem::path cache = std::filesystem::path(CacheFolder()).parent_path();
    for (std::size_t i = 0; i < started.size(); ++i) {
        const auto& [path, contextText] = started[i];
        const std::filesystem::path local(path);
        EXPECT_EQ(local.parent_path(),
                  i % 2 ? std::filesystem::path(scratch.path().toStdString()) : cache)
            << path;
        EXPECT_LE(local.filename().string().size(), kMaxLocalNameBytes);
        EXPECT_NE(local.filename(), "..");
        EXPECT_NE(local.filename(), ".");
        const auto context = TransferContext::Parse(contextText);
        ASSERT_TRUE(context) << contextText;
        EXPECT_EQ(context->name, CLeftView::ItemText(folder->child(static_cast<int>(i / 2))));
        EXPECT_EQ(context->localPath, path);
        EXPECT_EQ(context->IsNoPlay(), i % 2 == 1);
    }
}

TEST_F(HostileLibraryTest, DeepAndWideLibrariesAreShownAndPlayed) {
    constexpr int kDepth = 1000;
    constexpr int kWide = 20000;
    auto deep = proxy->account->root->addSubfolder(2, "deep");
    auto bottom = deep;
    for (int i = 0; i < kDepth; ++i)
        bottom = bottom->addSubfolder(3 + i, "level");
    bottom->addFile(7, "bottom.mp3");
    auto wide = proxy->account->root->addSubfolder(9000, "wide");
    for (int i = 0; i < kWide; ++i)
        wide->addFile(10 + i, "f" + std::to_string(i) + ".mp3");
    start();
    EXPECT_EQ(Child(view.RootItem(), "wide")->childCount(), kWide);
    QTreeWidgetItem* top = Child(view.RootItem(), "deep");
    QTreeWidgetItem* item = top;
    for (int i = 0; i < kDepth && item; ++i)
        item = Child(item, "level");
    ASSERT_NE(Child(item, "bottom.mp3"), nullptr);
    EXPECT_FALSE(view.IsItemBusy(view.RootItem()));
    view.SetHitItem(top);
    view.OnPlay();
    ASSERT_EQ(downloads().size(), 1u);
    EXPECT_EQ(std::filesystem::path(downloads()[0].first).filename(), "bottom.mp3");
    EXPECT_TRUE(view.IsItemBusy(top));
    EXPECT_TRUE(view.IsItemBusy(view.RootItem()));
}

} // namespace
