// What the video area shows while a file plays: for sound alone the tags'
// title, artist, album and cover, or the file's name and the program's
// artwork; a video's own pictures otherwise. The view's title says the same.
#include "event_pump.h"
#include "icons.h"
#include "now_playing.h"
#include "ocxwmp.h"
#include "tagged_media.h"
#include "velmora_player_view.h"

#include <QIcon>
#include <QMediaMetaData>
#include <QTemporaryDir>
#include <QVideoWidget>
#include <gtest/gtest.h>

#include <chrono>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

struct MetaDataCase {
    const char* name;
    QMediaMetaData metaData;
    const char* title;
    const char* artist;
    // Pixel (0, 0) of the cover chosen; black for none.
    QColor cover;
    friend void PrintTo(const MetaDataCase& c, std::ostream* os) { *os << c.name; }
};

QImage Filled(QColor colour) {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QMediaMetaData Tags(std::initializer_list<std::pair<QMediaMetaData::Key, QVariant>> values) {
    QMediaMetaData data;
    for (const auto& [key, value] : values)
        data.insert(key, value);
    return data;
}

class NowPlayingInfoTest : public ::testing::TestWithParam<MetaDataCase> {};

TEST_P(NowPlayingInfoTest, TagsChosenWithTheirFallbacks) {
    const MetaDataCase& c = GetParam();
    const NowPlayingInfo info = NowPlayingInfo::FromMetaData("song.mp3", c.metaData);
    EXPECT_EQ(info.DisplayTitle(), c.title);
    EXPECT_EQ(info.artist, c.artist);
    EXPECT_EQ(info.cover.isNull() ? QColor(Qt::black) : info.cover.pixelColor(0, 0), c.cover);
}

INSTANTIATE_TEST_SUITE_P(
    MetaData, NowPlayingInfoTest,
    ::testing::Values(
        MetaDataCase{"NothingKnown", {}, "song.mp3", "", Qt::black},
        MetaDataCase{"BlankTitle", Tags({{QMediaMetaData::Title, " "}}), "song.mp3", "", Qt::black},
        MetaDataCase{"ContributingArtistFirst",
                     Tags({{QMediaMetaData::Title, "T"},
                           {QMediaMetaData::ContributingArtist, "Singer"},
                           {QMediaMetaData::AlbumArtist, "Band"}}),
                     "T", "Singer", Qt::black},
        MetaDataCase{"AlbumArtistElse", Tags({{QMediaMetaData::AlbumArtist, "Band"}}), "song.mp3",
                     "Band", Qt::black},
        MetaDataCase{"SeveralArtists",
                     Tags({{QMediaMetaData::ContributingArtist, QStringList{"A", "B"}}}),
                     "song.mp3", "A, B", Qt::black},
        MetaDataCase{"CoverBeforeThumbnail",
                     Tags({{QMediaMetaData::CoverArtImage, Filled(Qt::red)},
                           {QMediaMetaData::ThumbnailImage, Filled(Qt::green)}}),
                     "song.mp3", "", Qt::red},
        MetaDataCase{"ThumbnailElse", Tags({{QMediaMetaData::ThumbnailImage, Filled(Qt::green)}}),
                     "song.mp3", "", Qt::green}),
    [](const auto& info) { return std::string(info.param.name); });

// How many pixels of a picture are plainly red.
int RedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 200 && c.green() < 60 && c.blue() < 60;
        }
    return count;
}

enum class Made { TaggedMp3, PlainMp3, VideoClip };

struct PlayedCase {
    const char* file;
    Made made;
    const char* title;
    const char* artist;
    const char* album;
    bool cover;
    // The panel rather than the video widget.
    bool panel;
    friend void PrintTo(const PlayedCase& c, std::ostream* os) { *os << c.file; }
};

class NowPlayingTest : public ::testing::TestWithParam<PlayedCase> {
protected:
    bool Make(const QString& path) {
        switch (GetParam().made) {
        case Made::TaggedMp3:
            return test::MakeMp3(path, 1.0, {"Evening Tone", "The Sines", "Pure Waves", true});
        case Made::PlainMp3:
            return test::MakeMp3(path, 1.0, {});
        case Made::VideoClip:
            return test::MakeVideoClip(path);
        }
        return false;
    }
    QTemporaryDir dir;
};

TEST_P(NowPlayingTest, VideoAreaShowsWhatPlays) {
    const PlayedCase& c = GetParam();
    const QString path = dir.filePath(c.file);
    ASSERT_TRUE(Make(path));

    Cvelmora_playerView view(std::make_unique<COcxwmp>());
    view.resize(480, 360);
    view.show();
    COcxwmp& control = *view.Player();
    auto* panel = control.findChild<NowPlayingPanel*>();
    auto* video = control.findChild<QVideoWidget*>();
    ASSERT_TRUE(panel && video);
    EXPECT_TRUE(video->isVisibleTo(&control)) << "black until something is loaded";

    control.SetURL(path);
    control.controls().play();
    // The tags come some time after loading; the video some time after that.
    ASSERT_TRUE(test::PumpUntil(
        [&] {
            return control.GetPlayState() == kPlayStatePlaying && panel->TitleText() == c.title &&
                   video->isVisibleTo(&control) == !c.panel;
        },
        5s))
        << "state " << control.GetPlayState() << " title " << panel->TitleText().toStdString();
    if (!c.panel) {
        EXPECT_EQ(view.NowPlayingTitle(), c.title);
        return;
    }
    EXPECT_TRUE(panel->isVisibleTo(&control));
    ASSERT_TRUE(test::PumpUntil([&] { return panel->ShowsCover() == c.cover; }, 2s));
    EXPECT_EQ(panel->ArtistText(), c.artist);
    EXPECT_EQ(panel->AlbumText(), c.album);
    EXPECT_EQ(view.NowPlayingTitle(), c.title);

    const QImage shown = panel->grab().toImage();
    if (c.cover) {
        // The cover as the file holds it, red half on the left.
        EXPECT_EQ(panel->Art().size(), QSize(64, 48));
        EXPECT_GT(panel->Art().pixelColor(8, 24).red(), 200);
        EXPECT_GT(panel->Art().pixelColor(56, 24).blue(), 200);
        EXPECT_GT(RedPixels(shown), 1000);
    } else {
        EXPECT_EQ(panel->Art(), QIcon(IconPath(IDB_ABOUT)).pixmap(256, 256).toImage());
        EXPECT_EQ(RedPixels(shown), 0);
    }

    ASSERT_TRUE(
        test::PumpUntil([&] { return control.GetPlayState() == kPlayStateMediaEnded; }, 5s));
    EXPECT_EQ(view.NowPlayingTitle(), "") << "an idle player names nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Files, NowPlayingTest,
    ::testing::Values(PlayedCase{"tagged.mp3", Made::TaggedMp3, "Evening Tone", "The Sines",
                                 "Pure Waves", true, true},
                      PlayedCase{"plain tone.mp3", Made::PlainMp3, "plain tone.mp3", "", "", false,
                                 true},
                      PlayedCase{"clip.avi", Made::VideoClip, "clip.avi", "", "", false, false}),
    [](const auto& info) {
        const int made = static_cast<int>(info.param.made);
        return std::string(made == 0 ? "TaggedMp3" : made == 1 ? "UntaggedMp3" : "Video");
    });

} // namespace
