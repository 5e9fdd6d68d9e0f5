#include "main_frame.h"
#include "registry_settings.h"
#include "velmora_player_dialog_bar.h"

#include <QAction>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

class NoMessages : public BarTextSource {
public:
    std::string GetStatusText() override { return "status"; }
    void RefreshAppMessages() override {}
    std::string GetCurrentMessageUrl() override { return "none"; }
    std::string GetCurrentMessageId() override { return "0"; }
};

class MainFrameTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    NoMessages source;

    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }
    std::unique_ptr<CMainFrame> makeFrame() {
        auto frame = std::make_unique<CMainFrame>(
            &source, CMainFrame::Panes{[](QWidget* p) { return new QWidget(p); },
                                       [](QWidget* p) { return new QWidget(p); }});
        frame->resize(900, 600);
        EXPECT_TRUE(frame->Create());
        return frame;
    }
};

} // namespace

TEST_F(MainFrameTest, EmptyRegistryGivesTheDefaultTreeWidthAndPlace) {
    auto frame = makeFrame();
    frame->show();
    EXPECT_EQ(frame->GetSplitter()->sizes().at(0), 250);
    EXPECT_EQ(frame->size(), QSize(900, 600));
}

TEST_F(MainFrameTest, ClosingSavesTheLayoutAndTheNextStartRestoresIt) {
    {
        auto frame = makeFrame();
        frame->show();
        frame->GetSplitter()->setSizes({310, 500});
        frame->move(40, 30);
        frame->close();
    }
    EXPECT_EQ(registry::Read("tree_width"), "310");
    EXPECT_FALSE(registry::Read("window_width").empty());
    EXPECT_FALSE(registry::Read("window_left").empty());

    registry::Write("window_width", "700");
    registry::Write("window_height", "500");
    auto frame = makeFrame();
    EXPECT_EQ(frame->geometry().size(), QSize(700, 500));
    frame->show();
    EXPECT_EQ(frame->GetSplitter()->sizes().at(0), 310);
    // Saved and restored again, the window keeps its size: the decoration
    // the window system adds is never counted in.
    QRect shown = frame->geometry();
    frame->close();
    auto again = makeFrame();
    again->show();
    EXPECT_EQ(again->geometry(), shown);
}

TEST_F(MainFrameTest, SizeWithoutPositionKeepsTheCurrentPlace) {
    registry::Write("window_width", "640");
    registry::Write("window_height", "480");
    registry::Write("window_left", "-200"); // no top: the current place stays
    auto frame = std::make_unique<CMainFrame>(
        &source, CMainFrame::Panes{[](QWidget* p) { return new QWidget(p); },
                                   [](QWidget* p) { return new QWidget(p); }});
    frame->move(33, 44);
    ASSERT_TRUE(frame->Create());
    EXPECT_EQ(frame->size(), QSize(640, 480));
    EXPECT_EQ(frame->pos(), QPoint(33, 44));
}

TEST_F(MainFrameTest, AMissingHeightRestoresNothing) {
    registry::Write("window_width", "640");
    registry::Write("window_left", "10");
    registry::Write("window_top", "10");
    registry::Write("tree_width", "-5"); // nonsense: the default width
    auto frame = makeFrame();
    EXPECT_EQ(frame->size(), QSize(900, 600));
    frame->show();
    EXPECT_EQ(frame->GetSplitter()->sizes().at(0), 250);
}

TEST_F(MainFrameTest, RegistryNumbersKeepTheirSign) {
    EXPECT_EQ(registry::ToNumber("-1280"), -1280);
    EXPECT_EQ(registry::ToNumber("250px"), 250);
    EXPECT_EQ(registry::ToNumber("wide"), 0);
    EXPECT_EQ(registry::Read("never_written"), "");
}

TEST_F(MainFrameTest, UnhandledCommandsAreDisabledAndTheIdleTextIsReady) {
    auto frame = makeFrame();
    EXPECT_FALSE(frame->GetAction(CMainFrame::ID_EDIT_CUT)->isEnabled());
    EXPECT_FALSE(frame->GetAction(CMainFrame::ID_WINDOW_SPLIT)->isEnabled());
    EXPECT_TRUE(frame->GetAction(CMainFrame::ID_APP_EXIT)->isEnabled());
    EXPECT_EQ(frame->GetAction(CMainFrame::ID_FILE_OPEN)->statusTip(), "Open an existing media");
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Ready");
    EXPECT_TRUE(frame->GetAction(CMainFrame::ID_VIEW_TOOLBAR)->isChecked());
    frame->OnCommand(CMainFrame::ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(frame->GetAction(CMainFrame::ID_VIEW_STATUS_BAR)->isChecked());
}

TEST_F(MainFrameTest, AFailedPaneFailsCreation) {
    CMainFrame frame(&source, {[](QWidget* p) { return new QWidget(p); },
                               [](QWidget*) -> QWidget* { return nullptr; }});
    EXPECT_FALSE(frame.Create());
    EXPECT_EQ(frame.GetSplitter(), nullptr);
}
