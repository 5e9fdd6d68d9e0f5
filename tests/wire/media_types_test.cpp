#include "wire/media_types.h"

#include <gtest/gtest.h>

using namespace velmora::wire;

namespace {

struct NameCase {
    std::string name;
    bool media;
};

class MediaNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(MediaNameTest, ContainmentOfADottedExtension) {
    EXPECT_EQ(IsMediaFileName(GetParam().name), GetParam().media);
}

INSTANTIATE_TEST_SUITE_P(Table, MediaNameTest,
                         ::testing::Values(NameCase{"song.mp3", true}, NameCase{"SONG.MP3", true},
                                           NameCase{"show.dvr-ms", true},
                                           NameCase{"a.b.AiFc", true},
                                           NameCase{"x.mp3.bak", true}, // contained, not ending
                                           NameCase{"a.midi", true}, NameCase{"mp3", false},
                                           NameCase{"notes.txt", false},
                                           NameCase{"trailing.", false}, NameCase{"", false}));

TEST(MediaTypes, ListIsTheExtensionsJoinedByTilde) {
    EXPECT_EQ(MediaExtensionList(),
              "mp3~wma~avi~mpeg~wmv~midi~au~aiff~asf~m4a~jpg~jpeg~wmd~wm~snd~aif~aifc~aiff~mpg~m1v~"
              "mp2~mpa~mpe~ifo~vob~mi~mid~dvr-ms~asx~wax~m3u~wpl~wvx~wmx");
}

} // namespace
