// New folder, Rename and Delete from the library tree through the real proxy
// against a real velmora-service, signed in as demo-free. What the service
// holds afterwards is read back by a second sign-in.
//
//   My Media
//     demo-gold(...)  Shared tones ...
//     Music           AIFF tones/..., Tones/...
//     Samples         Short beep.au, ...
//     Welcome.aiff

#include "app_context.h"
#include "left_view.h"
#include "object_ranges.h"
#include "proxied_service.h"
#include "scripted_message_boxes.h"
#include "service_client.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr char kAccount[] = "demo-free";
constexpr char kPassword[] = "free-demo-1";

// The item reached from parent by the texts of a path, or null.
QTreeWidgetItem* At(QTreeWidgetItem* parent, const std::vector<std::string>& path) {
    for (const std::string& text : path) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; parent && i < parent->childCount() && !next; ++i)
            if (CLeftView::ItemText(parent->child(i)) == text)
                next = parent->child(i);
        parent = next;
    }
    return parent;
}

void Handles(QTreeWidgetItem* item, std::vector<Handle>& handles) {
    handles.push_back(CLeftView::HandleOfItem(item));
    for (int i = 0; i < item->childCount(); ++i)
        Handles(item->child(i), handles);
}

class FolderOperationsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
        AppContext::Destroy();
        ASSERT_TRUE(client().Login(kAccount, kPassword)) << client().GetLastError();
        view.resize(400, 600);
        view.show();
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        ASSERT_NE(item({"Music", "Tones"}), nullptr);
    }
    void TearDown() override { AppContext::Destroy(); }

    static ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }
    QTreeWidgetItem* item(const std::vector<std::string>& path) {
        return At(view.RootItem(), path);
    }
    std::string key(const std::vector<std::string>& path) {
        return CLeftView::GetNodeKey(item(path));
    }

    // The label editor open now, if any.
    QLineEdit* editor() {
        for (QLineEdit* line : view.viewport()->findChildren<QLineEdit*>())
            if (line->isVisible())
                return line;
        return nullptr;
    }
    // Types into the open label editor and ends the edit with Enter, or
    // cancels it with Escape.
    void finishEdit(const std::string& text, bool enter = true) {
        QLineEdit* line = editor();
        ASSERT_NE(line, nullptr);
        line->setText(QString::fromStdString(text));
        QTest::keyClick(line, enter ? Qt::Key_Return : Qt::Key_Escape);
        QCoreApplication::processEvents();
        ASSERT_FALSE(view.LabelEditActive());
    }
    void rename(const std::vector<std::string>& path, const std::string& text, bool enter = true) {
        view.SetHitItem(item(path));
        view.OnRename();
        finishEdit(text, enter);
    }

    // The names the service holds in a folder of the library, read by a
    // sign-in of its own.
    std::set<std::string> serviceNames(const std::vector<std::string>& path) {
        ServiceClient fresh;
        EXPECT_TRUE(fresh.Login(kAccount, kPassword)) << fresh.GetLastError();
        std::shared_ptr<IFolder> folder = fresh.GetLibrary();
        for (const std::string& name : path) {
            std::shared_ptr<IFolder> next;
            for (const auto& sub : Subfolders(*folder))
                if (sub->Name() == name)
                    next = sub;
            if (!next)
                return {};
            folder = next;
        }
        std::set<std::string> names;
        for (const auto& sub : Subfolders(*folder))
            names.insert(sub->Name());
        for (const auto& file : Files(*folder))
            names.insert(file->Name());
        return names;
    }

    ServiceProcess service;
    TempSettings settings;
    ScopedScriptedBoxes boxes;
    CLeftView view;
};

} // namespace

TEST_F(FolderOperationsE2E, NewFolderBesideAFileInItsFolderAndUnderMyMedia) {
    const std::int32_t user = client().GetUserId();

    // Beside a file of "My Media": in folder 1, then named at once.
    view.SetHitItem(item({"Welcome.aiff"}));
    view.OnNewFolder();
    QTreeWidgetItem* made = item({"new folder"});
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(view.GetItemImage(made), kImageFolder);
    const std::string madeKey = CLeftView::GetNodeKey(made);
    EXPECT_EQ(madeKey,
              "" + std::to_string(user) + "~" + std::to_string(client().GetNewFolderId()) + "~0");
    ASSERT_TRUE(view.LabelEditActive());
    EXPECT_EQ(view.HitItem(), made);
    finishEdit("Road trip");
    EXPECT_EQ(CLeftView::GetNodeKey(item({"Road trip"})), madeKey);

    // Beside a file in a folder: in that folder; cancelling the name keeps
    // "new folder".
    view.SetHitItem(item({"Music", "Tones", "Tone C4.au"}));
    view.OnNewFolder();
    finishEdit("ignored", false);
    ASSERT_NE(item({"Music", "Tones", "new folder"}), nullptr);

    // On "My Media" itself.
    view.SetHitItem(view.RootItem());
    view.OnNewFolder();
    finishEdit("Later");
    EXPECT_NE(item({"Later"}), nullptr);

    EXPECT_TRUE(boxes->shown().empty()) << boxes->texts().front();
    const std::set<std::string> top = serviceNames({});
    EXPECT_TRUE(top.count("Road trip") && top.count("Later") && !top.count("new folder"));
    EXPECT_TRUE(serviceNames({"Music", "Tones"}).count("new folder"));
}

TEST_F(FolderOperationsE2E, RenameKeepsTheLabelUnlessTheServiceRenamedTheItem) {
    struct Case {
        std::vector<std::string> path;
        std::string typed;
        bool enter;
        std::string label; // what the item shows afterwards
        std::string message;
    };
    const std::string longName(300, 'x');
    const std::vector<Case> cases{
        {{"Music", "Tones"}, "Tones", true, "Tones", ""},
        {{"Music", "Tones"}, "", true, "Tones", ""},
        {{"Music", "Tones"}, "Other", false, "Tones", ""},
        {{"Music", "Tones"}, "Rock'n", true, "Tones", "Invalid character in the name"},
        {{"Music", "Tones"}, "AIFF tones", true, "Tones", "Entry under this name already exists"},
        {{"Music", "Tones"}, "Au tones", true, "Au tones", ""},
        {{"Samples", "Short beep.au"}, "Long beep.au", true, "Long beep.au", ""},
        // The service bounds names, not the program; its refusal is shown.
        {{"Samples"}, longName, true, "Samples", "The name is longer than 255 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        boxes->clear();
        QTreeWidgetItem* target = item(c.path);
        ASSERT_NE(target, nullptr);
        const std::string keyBefore = CLeftView::GetNodeKey(target);
        rename(c.path, c.typed, c.enter);
        EXPECT_EQ(CLeftView::ItemText(target), c.label);
        EXPECT_EQ(CLeftView::GetNodeKey(target), keyBefore);
        if (c.message.empty())
            EXPECT_TRUE(boxes->shown().empty()) << boxes->texts().front();
        else
            EXPECT_EQ(boxes->texts(), std::vector<std::string>{c.message});
    }
    EXPECT_EQ(serviceNames({"Music"}), (std::set<std::string>{"AIFF tones", "Au tones"}));
    EXPECT_TRUE(serviceNames({"Samples"}).count("Long beep.au"));
    EXPECT_FALSE(serviceNames({}).count(longName));
}

TEST_F(FolderOperationsE2E, DeletingAFolderRemovesEveryItemAndKeyBelowIt) {
    QTreeWidgetItem* music = item({"Music"});
    std::vector<Handle> below;
    Handles(music, below);
    ASSERT_EQ(below.size(), 9u);

    // No keeps everything.
    view.SetHitItem(music);
    view.OnDelete();
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{"Are you sure you want to delete 'Music'?"});
    EXPECT_EQ(boxes->shown()[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(item({"Music"}), music);

    boxes->answerNext(true);
    view.OnDelete();
    EXPECT_EQ(item({"Music"}), nullptr);
    // Each item holds its key, so no key of anything below is left.
    for (Handle h : below)
        EXPECT_EQ(HandleRegistry::instance().item(h), nullptr);
    EXPECT_FALSE(serviceNames({}).count("Music"));

    // A file goes the same way.
    boxes->answerNext(true);
    view.SetHitItem(item({"Samples", "Short beep.au"}));
    view.OnDelete();
    EXPECT_EQ(item({"Samples", "Short beep.au"}), nullptr);
    EXPECT_FALSE(serviceNames({"Samples"}).count("Short beep.au"));
    EXPECT_EQ(boxes->shown().size(), 3u);
}

TEST_F(FolderOperationsE2E, WithTheServiceGoneRenameAndDeleteKeepTheTreeAsItWas) {
    service.stop();
    const std::string samplesKey = key({"Samples"});

    rename({"Samples"}, "Examples");
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_FALSE(boxes->shown()[0].text.empty());
    EXPECT_EQ(boxes->shown()[0].text, client().GetLastError());
    EXPECT_NE(item({"Samples"}), nullptr);
    EXPECT_EQ(item({"Examples"}), nullptr);

    boxes->clear();
    boxes->answerNext(true);
    view.SetHitItem(item({"Samples", "Short beep.au"}));
    view.OnDelete();
    ASSERT_EQ(boxes->shown().size(), 2u);
    EXPECT_EQ(boxes->shown()[1].text, client().GetLastError());
    EXPECT_NE(item({"Samples", "Short beep.au"}), nullptr);

    boxes->clear();
    view.SetHitItem(item({"Samples"}));
    view.OnNewFolder();
    EXPECT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(item({"Samples", "new folder"}), nullptr);
    EXPECT_EQ(key({"Samples"}), samplesKey);
}
