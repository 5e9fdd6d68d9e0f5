// What the video area shows while a file plays: for sound alone its tags'
// title, artist, album and cover, or its name and the program's artwork; a
// video its own pictures. The view's title names the same.
#include "event_pump.h"
#include "icons.h"
#include "now_playing.h"
#include "ocxwmp.h"
#include "tagged_media.h"
#include "velmora_player_view.h"

#include <QIcon>
#include <QTemporaryDir>
#include <QVideoWidget>
#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

struct PlayedCase {
    const char* file;
    const char* title;
    const char* artist;
    const char* album;
    bool cover;
};

class NowPlayingTest : public ::testing::TestWithParam<PlayedCase> {};

TEST_P(NowPlayingTest, VideoAreaShowsWhatPlays) {
    const PlayedCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(c.file);
    const bool video = path.endsWith(".avi");
    ASSERT_TRUE(video     ? test::MakeVideoClip(path)
                : c.cover ? test::MakeMp3(path, 1.0, {c.title, c.artist, c.album}, true)
                          : test::MakeMp3(path, 1.0));

    Cvelmora_playerView view(std::make_unique<COcxwmp>());
    view.resize(480, 360);
    view.show();
    COcxwmp& control = *view.Player();
    auto* panel = control.findChild<NowPlayingPanel*>();
    auto* screen = control.findChild<QVideoWidget*>();
    control.SetURL(path);
    control.controls().play();
    // The tags come a little after loading, the video a little after them.
    ASSERT_TRUE(test::PumpUntil([&] {
        return control.GetPlayState() == kPlayStatePlaying && panel->TitleText() == c.title &&
               panel->ShowsCover() == c.cover && screen->isVisibleTo(&control) == video;
    })) << "title "
        << panel->TitleText().toStdString();
    EXPECT_EQ(panel->isVisibleTo(&control), !video);
    EXPECT_EQ(view.NowPlayingTitle(), c.title);
    EXPECT_EQ(panel->ArtistText(), c.artist);
    EXPECT_EQ(panel->AlbumText(), c.album);
    if (c.cover) {
        EXPECT_EQ(panel->Art().size(), QSize(64, 48));
        EXPECT_GT(panel->Art().pixelColor(8, 24).red(), 200) << "red half on the left";
    } else if (!video) {
        EXPECT_EQ(panel->Art(), QIcon(IconPath(IDB_ABOUT)).pixmap(256, 256).toImage());
    }
    ASSERT_TRUE(test::PumpUntil([&] { return control.GetPlayState() == kPlayStateMediaEnded; }));
    EXPECT_EQ(view.NowPlayingTitle(), "") << "an idle player names nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Files, NowPlayingTest,
    ::testing::Values(PlayedCase{"tagged.mp3", "Evening Tone", "The Sines", "Pure Waves", true},
                      PlayedCase{"plain tone.mp3", "plain tone.mp3", "", "", false},
                      PlayedCase{"clip.avi", "clip.avi", "", "", false}),
    [](const auto& info) {
        return std::string(info.index == 0   ? "TaggedMp3"
                           : info.index == 1 ? "UntaggedMp3"
                                             : "Video");
    });

} // namespace
