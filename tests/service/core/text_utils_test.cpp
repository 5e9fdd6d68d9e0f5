#include "text_utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace velmora;

TEST(Split, AppendsOnePieceMoreThanThereAreSeparators) {
    std::vector<std::string> out{"kept"};
    Split("17~305~0", '~', out);
    EXPECT_EQ(out, (std::vector<std::string>{"kept", "17", "305", "0"}));

    std::vector<std::string> empty;
    Split("", '~', empty);
    EXPECT_EQ(empty, (std::vector<std::string>{""}));

    std::vector<std::string> edges;
    Split("^a^^b^", '^', edges);
    EXPECT_EQ(edges, (std::vector<std::string>{"", "a", "", "b", ""}));
}

TEST(FileNameOfPath, TakesThePieceAfterTheLastSlash) {
    EXPECT_EQ(FileNameOfPath("/home/u/music/song.mp3"), "song.mp3");
    EXPECT_EQ(FileNameOfPath("song.mp3"), "song.mp3");
    EXPECT_EQ(FileNameOfPath("/music/"), "");
    EXPECT_EQ(FileNameOfPath(""), "");
}

TEST(TextConversions, PadRight) {
    EXPECT_EQ(PadRight("ab", 5), "ab   ");
    EXPECT_EQ(PadRight("abcdef", 3), "abcdef");
    EXPECT_EQ(PadRight("abc", 3), "abc");
    EXPECT_EQ(PadRight("abc", -1), "abc");
}

TEST(NumberToText, WritesDecimalWithMinusSign) {
    EXPECT_EQ(NumberToText(0), "0");
    EXPECT_EQ(NumberToText(-1), "-1");
    EXPECT_EQ(NumberToText(std::numeric_limits<std::int32_t>::min()), "-2147483648");
    EXPECT_EQ(NumberToText(std::numeric_limits<std::int32_t>::max()), "2147483647");
}

TEST(TextToNumber, ReadsLeadingDigitsWithOptionalSign) {
    EXPECT_EQ(TextToNumber("305~0"), 305);
    EXPECT_EQ(TextToNumber("abc"), 0);
    EXPECT_EQ(TextToNumber(""), 0);
    EXPECT_EQ(TextToNumber("-1"), -1);
    EXPECT_EQ(TextToNumber("+7x"), 7);
    EXPECT_EQ(TextToNumber("  42"), 42);
    EXPECT_EQ(TextToNumber("-"), 0);
    EXPECT_EQ(TextToNumber("--1"), 0);
    EXPECT_EQ(TextToNumber("1 2"), 1);
}

TEST(TextToNumber, ClampsValuesBeyondThe32BitRange) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(TextToNumber("2147483647"), kMax);
    EXPECT_EQ(TextToNumber("2147483648"), kMax);
    EXPECT_EQ(TextToNumber("-2147483648"), kMin);
    EXPECT_EQ(TextToNumber("-2147483649"), kMin);
    EXPECT_EQ(TextToNumber(std::string(1000, '9')), kMax);
    EXPECT_EQ(TextToNumber("-" + std::string(1000, '9')), kMin);
    EXPECT_EQ(TextToNumber(std::string(1000, '0') + "12"), 12);
}
