#include "left_view.h"
#include "main_frame.h"
#include "registry_settings.h"
#include "transfer_context.h"
#include "transfer_status.h"
#include "velmora_player_dialog_bar.h"
#include "window_messages.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
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

// Two transfers as the window shows them: progress and done messages reach
// the library tree, which sets its items' tooltips and passes them on to the
// status bar's sum of all running transfers.
namespace {

struct TransferStep {
    int message; // UM_TRANSFER_PROGRESS or UM_DOWNLOAD_DONE
    int transfer;
    std::uint64_t done;
    std::uint64_t total;
    // What shows afterwards; an empty text means the status is hidden.
    const char* status;
    int bar;
    const char* tipA;
    const char* tipB;
};

TEST(TransferStatus, TwoTransfersAreSummedShownInTooltipsAndForgottenAtTheirEnds) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    NoMessages source;
    CLeftView* view = nullptr;
    CMainFrame frame(&source, CMainFrame::Panes{[&](QWidget* p) { return view = new CLeftView(p); },
                                                [](QWidget* p) { return new QWidget(p); }});
    ASSERT_TRUE(frame.Create());
    view->OnInitialUpdate();
    auto* status = frame.findChild<CTransferStatus*>();
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->isHidden());

    LibraryItem* items[] = {view->InsertItem(view->RootItem(), "a.mp3", 1),
                            view->InsertItem(view->RootItem(), "b.mp3", 1)};
    items[1]->setToolTip(0, "b's own tip");
    auto context = [&](int i) {
        const std::string name = CLeftView::ItemText(items[i]);
        return TransferContext{items[i]->handle(), name, "/nowhere/" + name, 1, {"noplay"}}.Text();
    };

    const TransferStep steps[] = {
        {UM_TRANSFER_PROGRESS, 0, 1000000, 4000000, "1 transfer, 1.0 of 4.0 MB", 250,
         "a.mp3 \u2014 25 %", "b's own tip"},
        {UM_TRANSFER_PROGRESS, 1, 500000, 1000000, "2 transfers, 1.5 of 5.0 MB", 300,
         "a.mp3 \u2014 25 %", "b.mp3 \u2014 50 %"},
        {UM_TRANSFER_PROGRESS, 0, 3990000, 4000000, "2 transfers, 4.5 of 5.0 MB", 898,
         "a.mp3 \u2014 99 %", "b.mp3 \u2014 50 %"},
        {UM_DOWNLOAD_DONE, 0, 0, 0, "1 transfer, 0.5 of 1.0 MB", 500, "", "b.mp3 \u2014 50 %"},
        {UM_DOWNLOAD_DONE, 1, 0, 0, "", 0, "", "b's own tip"},
    };
    for (const TransferStep& step : steps) {
        SCOPED_TRACE(step.tipA);
        // A done message's wParam is its error text: empty for success.
        const std::string text = step.message == UM_DOWNLOAD_DONE
                                     ? ""
                                     : std::to_string(step.done) + " " + std::to_string(step.total);
        const std::string ctx = context(step.transfer);
        SendMessage(view, step.message, static_cast<WPARAM>(textParam(text)), textParam(ctx));
        EXPECT_EQ(status->isHidden(), !*step.status);
        if (*step.status) {
            EXPECT_EQ(status->Label()->text().toStdString(), step.status);
            EXPECT_EQ(status->Bar()->value(), step.bar);
        }
        EXPECT_EQ(items[0]->toolTip(0).toStdString(), step.tipA);
        EXPECT_EQ(items[1]->toolTip(0).toStdString(), step.tipB);
    }
}

} // namespace
