// Copy Link, Copy Media Link and Email Link against the scripted model; the
// links opening on the real service are in the links e2e test.
#include "left_view.h"
#include "library_test_support.h"
#include "scripted_message_boxes.h"
#include "string_table.h"
#include "temp_settings.h"
#include "text_prompt.h"
#include "window_messages.h"
#include "wire/link.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

enum class Command { CopyLink, CopyMediaLink, EmailLink };

constexpr char kBefore[] = "left on the clipboard before";
constexpr char kOrigin[] = "http://media.example:8095";

struct LinkCase {
    const char* name;
    Command command;
    std::string target;  // the hit item's text; empty: none
    std::string answer;  // typed into the prompt
    std::string failure; // EmailLink refused with this text
    std::string clipboard;
    std::vector<std::string> texts;
    std::vector<std::string> calls;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << c.name;
}

// Signed in as user 17:
//   My Media
//     bob(Bob Stone)       21~0~0
//       Holiday            21~300~0
//     My Songs & more      7~42~0
//     Rock & Roll #1.mp3   7~42~9
class LibraryLinksTest : public ::testing::TestWithParam<LinkCase> {
protected:
    std::shared_ptr<ScriptedProxy> proxy = std::make_shared<ScriptedProxy>();
    TempSettings settings;
    ScopedScriptedBoxes boxes;
    std::vector<std::string> prompts;
    ScopedTextPrompter prompter{[this](const std::string& prompt, const std::string&) {
        prompts.push_back(prompt);
        return GetParam().answer;
    }};
    std::unique_ptr<SignedInModel> model;
    CLeftView view;

    void SetUp() override {
        settings.store()->SetHost("media.example");
        settings.store()->SetPort(8095);
        proxy->account->addUser(21, "bob", "Bob", "Stone")->shareFolder(300, "Holiday");
        model = std::make_unique<SignedInModel>(proxy);
        ASSERT_TRUE(model->signedIn());
        AppContext::Instance().SetHost("media.example");
        AppContext::Instance().SetPort(8095);
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        view.InsertItem(view.RootItem(), "My Songs & more", kImageFolder)->setNodeKey("7~42~0");
        view.InsertItem(view.RootItem(), "Rock & Roll #1.mp3", kImageAudio)->setNodeKey("7~42~9");
        QGuiApplication::clipboard()->setText(kBefore);
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

TEST_P(LibraryLinksTest, MakesTheLinkOrRefusesTheSelection) {
    const LinkCase& c = GetParam();
    LibraryItem* target = c.target.empty() ? nullptr : Find(view.RootItem(), c.target);
    ASSERT_EQ(target == nullptr, c.target.empty());
    view.SetHitItem(target);
    if (!c.failure.empty())
        proxy->failOn("EmailLink", c.failure);
    switch (c.command) {
    case Command::CopyLink:
        view.OnCopyLink();
        break;
    case Command::CopyMediaLink:
        view.OnCopyMediaLink();
        break;
    case Command::EmailLink:
        view.OnEmailLink();
        break;
    }
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data("text/plain").toStdString(), c.clipboard);
    EXPECT_EQ(proxy->calls, c.calls);
    const bool asks =
        c.command == Command::EmailLink && c.texts != std::vector<std::string>{LoadString(109)};
    EXPECT_EQ(prompts,
              asks ? std::vector<std::string>{LoadString(120)} : std::vector<std::string>{});
    if (c.failure.empty()) {
        EXPECT_EQ(boxes->texts(), c.texts);
    } else {
        const std::string shown = AppContext::Instance().GetServiceClient().GetLastError();
        EXPECT_EQ(boxes->texts(), std::vector<std::string>{shown});
        EXPECT_NE(shown.find(c.failure), std::string::npos);
    }
}

std::string Link(const char* path, const std::string& key, const std::string& name = "") {
    return kOrigin + std::string(path) + wire::link::Encode(key) +
           (name.empty() ? "" : wire::link::kNameParameter + name);
}

LinkCase Copied(const char* name, Command command, std::string target, std::string link) {
    return {name, command, std::move(target), "", "", std::move(link), {LoadString(121)}, {}};
}

LinkCase Refused(const char* name, Command command, std::string target) {
    return {name, command, std::move(target), "a@b.example", "", kBefore, {LoadString(109)}, {}};
}

LinkCase Mailed(const char* name, std::string target, std::string answer, std::string failure,
                std::vector<std::string> calls) {
    return {
        name, Command::EmailLink, std::move(target), std::move(answer), std::move(failure), kBefore,
        {},   std::move(calls)};
}

INSTANTIATE_TEST_SUITE_P(
    Links, LibraryLinksTest,
    ::testing::Values(Copied("FolderLinkCarriesOwnerAndFolderOnly", Command::CopyLink,
                             "My Songs & more",
                             Link(wire::link::kFolderPath, "7~42", "My+Songs+%26+more")),
                      Copied("FileLinkCarriesTheWholeKey", Command::CopyLink, "Rock & Roll #1.mp3",
                             Link(wire::link::kFilePath, "7~42~9", "Rock+%26+Roll+%231.mp3")),
                      Copied("MediaLinkHasNoName", Command::CopyMediaLink, "Rock & Roll #1.mp3",
                             Link(wire::link::kPlayPath, "7~42~9")),
                      Refused("CopyLinkOnNothing", Command::CopyLink, ""),
                      Refused("CopyLinkOnRoot", Command::CopyLink, "My Media"),
                      Refused("CopyLinkOnUser", Command::CopyLink, "bob(Bob Stone)"),
                      Refused("MediaLinkOnFolder", Command::CopyMediaLink, "My Songs & more"),
                      Refused("EmailLinkOnUser", Command::EmailLink, "bob(Bob Stone)"),
                      Mailed("SharedFolderPassesItsOwner", "Holiday", "a@b.example", "",
                             {"EmailLink(21,300,0,17,a@b.example,,)"}),
                      Mailed("FilePassesItsIds", "Rock & Roll #1.mp3", "a@b.example", "",
                             {"EmailLink(7,42,9,17,a@b.example,,)"}),
                      Mailed("EmptyAnswerSendsNothing", "Holiday", "", "", {}),
                      Mailed("FailureShowsTheLastError", "Holiday", "a@b.example",
                             "No such address", {"EmailLink(21,300,0,17,a@b.example,,)"})),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
