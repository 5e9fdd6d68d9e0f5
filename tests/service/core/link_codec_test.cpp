#include "link_codec.h"

#include <gtest/gtest.h>

#include <set>

using namespace velmora;

TEST(LinkCodec, CodesAreDistinctAndOfThreeCharacters) {
    std::set<std::string_view> codes(link_codec::kCodes.begin(), link_codec::kCodes.end());
    EXPECT_EQ(codes.size(), 11u);
    for (auto c : link_codec::kCodes)
        EXPECT_EQ(c.size(), 3u);
}

TEST(LinkCodec, EncodesDigitsAndTildeDropsTheRest) {
    EXPECT_EQ(link_codec::Encode("7~42"), std::string(link_codec::kCodes[7]) +
                                              std::string(link_codec::kCodes[10]) +
                                              std::string(link_codec::kCodes[4]) +
                                              std::string(link_codec::kCodes[2]));
    EXPECT_EQ(link_codec::Encode("a7 b"), std::string(link_codec::kCodes[7]));
    EXPECT_EQ(link_codec::Encode(""), "");
}

TEST(LinkCodec, DecodeInvertsEncodeAndRefusesBrokenText) {
    for (const char* key : {"root", "17~305~0", "7~42~9", "0~0~0", "2147483647~1~1"}) {
        std::string encoded = link_codec::Encode(key);
        std::string expected;
        for (const char* p = key; *p; ++p)
            if ((*p >= '0' && *p <= '9') || *p == '~')
                expected += *p;
        EXPECT_EQ(link_codec::Decode(encoded), expected) << key;
    }
    EXPECT_FALSE(link_codec::Decode("q3").has_value());
    EXPECT_FALSE(link_codec::Decode("zzz").has_value());
}
