#include "text_utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace velmora;

TEST(UrlEncode, KeepsOnlyLettersAndDigitsAndWritesTwoLowercaseHexDigits) {
    EXPECT_EQ(UrlEncode("x y/z"), "x%20y%2fz");
    EXPECT_EQ(UrlEncode(std::string(1, '\n')), "%0a");
    EXPECT_EQ(UrlEncode(std::string(1, static_cast<char>(233))), "%e9");
    EXPECT_EQ(UrlEncode("azAZ09.-_~"), "azAZ09%2e%2d%5f%7e");
    EXPECT_EQ(UrlEncode(std::string("a\0b", 3)), "a%00b");
}

TEST(UrlEncode, CountBelowOneOrNoBytesGivesEmptyText) {
    EXPECT_EQ(UrlEncode("abc", 0), "");
    EXPECT_EQ(UrlEncode("abc", -5), "");
    EXPECT_EQ(UrlEncode(nullptr, 3), "");
    EXPECT_EQ(UrlEncode("abc", 2), "ab");
    EXPECT_EQ(UrlEncode(std::string()), "");
}

TEST(UrlDecode, TurnsPlusAndEscapesIntoBytes) {
    EXPECT_EQ(UrlDecode("x%2Fy+z"), "x/y z");
    EXPECT_EQ(UrlDecode("%e9%E9"), "\xe9\xe9");
    EXPECT_EQ(UrlDecode("a%00b"), "ab");
    // A character that is not a hexadecimal digit counts as 0.
    EXPECT_EQ(UrlDecode("%g1"), "\x01");
    EXPECT_EQ(UrlDecode("%4z"), "@");
    EXPECT_EQ(UrlDecode("%zz"), "");
}

TEST(UrlDecode, KeepsAPercentSignThatHasNoTwoCharactersAfterIt) {
    EXPECT_EQ(UrlDecode("%"), "%");
    EXPECT_EQ(UrlDecode("ab%"), "ab%");
    EXPECT_EQ(UrlDecode("ab%4"), "ab%4");
    EXPECT_EQ(UrlDecode("ab%41"), "abA");
    EXPECT_EQ(UrlDecode(""), "");
}

TEST(UrlDecode, InvertsUrlEncodeForEveryNonZeroByte) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(UrlDecode(UrlEncode(all)), all);
}

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

TEST(TextConversions, BlanksToPlusAndPadRight) {
    EXPECT_EQ(BlanksToPlus(" a b  "), "+a+b++");
    EXPECT_EQ(BlanksToPlus("a\tb"), "a\tb");
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
