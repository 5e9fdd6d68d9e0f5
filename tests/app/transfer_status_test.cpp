// Two transfers as the window shows them: progress and done messages reach
// the library tree, which sets its items' tooltips and passes them on to the
// status bar's sum of all running transfers.

#include "left_view.h"
#include "main_frame.h"
#include "transfer_context.h"
#include "transfer_status.h"
#include "velmora_player_dialog_bar.h"
#include "window_messages.h"

#include <QLabel>
#include <QProgressBar>
#include <QSettings>
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

struct Step {
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

    const Step steps[] = {
        {UM_TRANSFER_PROGRESS, 0, 1000000, 4000000, "1 transfer, 1.0 of 4.0 MB", 250,
         "a.mp3 \u2014 25 %", "b's own tip"},
        {UM_TRANSFER_PROGRESS, 1, 500000, 1000000, "2 transfers, 1.5 of 5.0 MB", 300,
         "a.mp3 \u2014 25 %", "b.mp3 \u2014 50 %"},
        {UM_TRANSFER_PROGRESS, 0, 3990000, 4000000, "2 transfers, 4.5 of 5.0 MB", 898,
         "a.mp3 \u2014 99 %", "b.mp3 \u2014 50 %"},
        {UM_DOWNLOAD_DONE, 0, 0, 0, "1 transfer, 0.5 of 1.0 MB", 500, "", "b.mp3 \u2014 50 %"},
        {UM_DOWNLOAD_DONE, 1, 0, 0, "", 0, "", "b's own tip"},
    };
    for (const Step& step : steps) {
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
