#include "desktop_services.h"
#include "velmora_player_dialog_bar.h"
#include "window_messages.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

using namespace velmora;

namespace {
class Source : public BarTextSource {
public:
    std::string link = "none";
    int refreshes = 0;
    std::string GetStatusText() override { return "Try plus"; }
    void RefreshAppMessages() override { ++refreshes; }
    std::string GetCurrentMessageUrl() override { return link; }
    std::string GetCurrentMessageId() override { return "5"; }
};
} // namespace

TEST(MessageBar, TextsArePaddedTo255AndLongerOnesStayWhole) {
    Source source;
    CVelmoraPlayerDialogBar bar(&source);
    std::string text = "Playing: song.mp3";
    SendMessage(&bar, UM_SET_BAR_TEXT, 0, textParam(text));
    EXPECT_EQ(bar.CurrentText(), text + std::string(255 - text.size(), ' '));
    EXPECT_EQ(bar.TextControl()->barText(), bar.CurrentText());
    bar.ShowText(std::string(255, 'x'));
    EXPECT_EQ(bar.CurrentText(), std::string(255, 'x'));
    bar.ShowText(std::string(300, 'y'));
    EXPECT_EQ(bar.CurrentText().size(), 300u);
}

TEST(MessageBar, TimersShowTheStatusTextAndRefreshTheStore) {
    Source source;
    CVelmoraPlayerDialogBar bar(&source);
    bar.OnStatusTimer();
    EXPECT_EQ(bar.CurrentText().substr(0, 8), "Try plus");
    bar.OnRefreshTimer();
    EXPECT_EQ(source.refreshes, 1);
}

TEST(MessageBar, ClickOpensTheLinkUnlessItIsNone) {
    Source source;
    CVelmoraPlayerDialogBar bar(&source);
    std::vector<std::string> started;
    auto previous = InstallDesktopActions(
        {nullptr, [&](const std::string&, const std::vector<std::string>& args) {
             started.insert(started.end(), args.begin(), args.end());
             return true;
         }});
    bar.OpenCurrentLink();
    EXPECT_TRUE(started.empty());
    source.link = "";
    bar.OpenCurrentLink(); // an empty link still starts the browser
    ASSERT_EQ(started.size(), 1u);
    // No settings component here: an empty page base, and no user signed in.
    EXPECT_EQ(started[0], "0~5~velmoraplayer~");
    InstallDesktopActions(previous);
}

TEST(MessageBar, LinkParameterEncodesTheLink) {
    EXPECT_EQ(CVelmoraPlayerDialogBar::LinkParameter("http://h:8080/player?p=", 17, "5",
                                                     "http://x.org/a b"),
              "http://h:8080/player?p=17~5~velmoraplayer~http%3a%2f%2fx%2eorg%2fa%20b");
}

TEST(MessageBar, FontCellIsSixteenPixelsHigh) {
    CVelmoraPlayerDialogBar bar(nullptr);
    // The cell, ascent and descent together, not the letters, is 16 pixels
    // in whatever face the machine has.
    const int cell = QFontMetrics(bar.BarFont()).height();
    EXPECT_LE(cell, 17);
    EXPECT_GE(cell, 14);
}
