#include "library_images.h"

#include <QImage>

#include <gtest/gtest.h>

#include <set>

using namespace velmora;

TEST(ImageForName, ExtensionsChooseTheirImagesWhateverTheCase) {
    EXPECT_EQ(ImageForName("song.mp3"), 19);
    EXPECT_EQ(ImageForName("voice.M4A"), 19);
    EXPECT_EQ(ImageForName("old.wma"), 20);
    EXPECT_EQ(ImageForName("film.WMV"), 28);
    EXPECT_EQ(ImageForName("clip.MPEG"), 28);
    EXPECT_EQ(ImageForName("movie.avi"), 28);
    EXPECT_EQ(ImageForName("photo.JPG"), 31);
    EXPECT_EQ(ImageForName("scan.jpeg"), 31);
    EXPECT_EQ(ImageForName("notes.txt"), 30);
    EXPECT_EQ(ImageForName(""), 30);
    EXPECT_EQ(ImageForName("mp3"), 30);
}

TEST(ImageForName, ContainmentNotEndingAndFirstRuleWins) {
    EXPECT_EQ(ImageForName("song.mp3.txt"), 19);
    // ".mp3" is tested before ".jpg", whatever their places in the name.
    EXPECT_EQ(ImageForName("cover.jpg.mp3"), 19);
    EXPECT_EQ(ImageForName("a.wma.avi"), 20);
    // ".mpg" is not among the video pieces.
    EXPECT_EQ(ImageForName("b.mpg"), 30);
}

TEST(FolderImage, SharedOnlyWithAnAccessListAboveZero) {
    EXPECT_EQ(FolderImage(1), 27);
    EXPECT_EQ(FolderImage(250), 27);
    EXPECT_EQ(FolderImage(0), 3);
    EXPECT_EQ(FolderImage(-1), 3);
}

TEST(ImageRotation, SevenUsersGetFourToEightThenFourAndFive) {
    ImageRotation rotation;
    std::vector<int> images;
    for (int i = 0; i < 7; ++i)
        images.push_back(rotation.Next());
    EXPECT_EQ(images, (std::vector<int>{4, 5, 6, 7, 8, 4, 5}));
}

TEST(ImageRotation, ProcessWideCountersTurnIndependently) {
    // Whatever earlier tests took, each counter continues its own cycle.
    const int user = NextUserNodeImage();
    const int dialog = NextUserDialogImage();
    ASSERT_GE(user, 4);
    ASSERT_LE(user, 8);
    for (int i = 0; i < 3; ++i)
        NextUserDialogImage();
    EXPECT_EQ(NextUserNodeImage(), user == 8 ? 4 : user + 1);
    int expected = dialog;
    for (int i = 0; i < 4; ++i)
        expected = expected == 8 ? 4 : expected + 1;
    EXPECT_EQ(NextUserDialogImage(), expected);
}

TEST(LibraryImages, ThirtyTwoDrawnImagesAllDifferent) {
    const std::vector<QIcon> images = LoadLibraryImages();
    ASSERT_EQ(images.size(), 32u);
    std::vector<QImage> pictures;
    for (std::size_t i = 0; i < images.size(); ++i) {
        ASSERT_FALSE(images[i].isNull()) << "image " << i;
        QImage picture = images[i].pixmap(32, 32).toImage();
        ASSERT_EQ(picture.size(), QSize(32, 32)) << "image " << i;
        // Something is drawn: not every pixel is transparent.
        bool drawn = false;
        for (int y = 0; y < 32 && !drawn; ++y)
            for (int x = 0; x < 32 && !drawn; ++x)
                drawn = qAlpha(picture.pixel(x, y)) != 0;
        EXPECT_TRUE(drawn) << "image " << i;
        pictures.push_back(picture.convertToFormat(QImage::Format_ARGB32));
    }
    for (std::size_t i = 0; i < pictures.size(); ++i)
        for (std::size_t j = i + 1; j < pictures.size(); ++j)
            EXPECT_NE(pictures[i], pictures[j]) << "images " << i << " and " << j;
}
