#include "message_boxes.h"
#include "scripted_message_boxes.h"
#include "wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <gtest/gtest.h>

using namespace velmora;

TEST(MessageBoxes, ShowMessageUsesCaption101AndOk) {
    test::ScopedScriptedBoxes boxes;
    ShowMessage("Folder not found");
    ShowMessage(106);
    ShowMessageNumber(-42);
    ASSERT_EQ(boxes->shown().size(), 3u);
    for (const auto& r : boxes->shown()) {
        EXPECT_EQ(r.caption, "Velmora Media Player");
        EXPECT_EQ(r.buttons, BoxButtons::Ok);
        EXPECT_EQ(r.owner, BoxOwner::MainWindow);
    }
    EXPECT_EQ(boxes->texts(),
              (std::vector<std::string>{"Folder not found", "Missing or invalid value", "-42"}));
}

TEST(MessageBoxes, QuestionsTakeScriptedAnswersInOrder) {
    test::ScopedScriptedBoxes boxes;
    boxes->answerNext(true);
    boxes->answerNext(false);
    EXPECT_TRUE(AskYesNo("Are you sure you want to delete song.mp3"));
    EXPECT_FALSE(AskYesNoAppTitle("restart?"));
    EXPECT_FALSE(AskYesNo("script ran out")); // no answer left: No
    ASSERT_EQ(boxes->shown().size(), 3u);
    EXPECT_EQ(boxes->shown()[0].caption, "Velmora Media Player");
    EXPECT_EQ(boxes->shown()[0].owner, BoxOwner::ActiveWindow);
    EXPECT_EQ(boxes->shown()[1].caption, "velmora_player");
    EXPECT_EQ(boxes->shown()[1].buttons, BoxButtons::YesNo);
}

TEST(MessageBoxes, GuardRestoresThePreviousService) {
    auto before = CurrentMessageBoxes();
    {
        test::ScopedScriptedBoxes boxes;
        EXPECT_NE(CurrentMessageBoxes(), before);
    }
    EXPECT_EQ(CurrentMessageBoxes(), before);
}

TEST(WaitCursor, NestedGuardsRestoreTheCursor) {
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        WaitCursor outer;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        { WaitCursor inner; }
        EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
