#include "wire/link.h"
#include "wire/node_key.h"

#include <gtest/gtest.h>

#include <set>

using namespace velmora::wire;

namespace {

TEST(Link, CodesAreDistinctThreeCharactersAndNoneIsAPrefixOfAnother) {
    std::set<std::string_view> codes(link::kCodes.begin(), link::kCodes.end());
    EXPECT_EQ(codes.size(), 11u);
    for (auto c : link::kCodes)
        EXPECT_EQ(c.size(), 3u);
}

TEST(Link, EncodesDigitsAndTildeAndDropsTheRest) {
    EXPECT_EQ(link::Encode("7~42"), std::string(link::kCodes[7]) + std::string(link::kCodes[10]) +
                                        std::string(link::kCodes[4]) +
                                        std::string(link::kCodes[2]));
    EXPECT_EQ(link::Encode("a7 b"), std::string(link::kCodes[7]));
    EXPECT_EQ(link::Encode(""), "");
}

struct IdsCase {
    std::string encoded;
    std::size_t count;
    std::optional<std::vector<std::int32_t>> expected;
};

class LinkIdsTest : public ::testing::TestWithParam<IdsCase> {};

TEST_P(LinkIdsTest, DecodesExactlyTheIdsOfAKeyTheServiceCanOpen) {
    EXPECT_EQ(link::DecodeIds(GetParam().encoded, GetParam().count), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkIdsTest,
    ::testing::Values(
        IdsCase{link::Encode(FileNodeKey(7, 42, 9)), 3, std::vector<std::int32_t>{7, 42, 9}},
        IdsCase{link::Encode("7~42"), 2, std::vector<std::int32_t>{7, 42}},
        IdsCase{link::Encode("2147483647~1"), 2, std::vector<std::int32_t>{2147483647, 1}},
        IdsCase{link::Encode("7~42"), 3, std::nullopt},         // wrong count
        IdsCase{link::Encode("7~~42"), 2, std::nullopt},        // empty field
        IdsCase{link::Encode("2147483648~1"), 2, std::nullopt}, // beyond 32 bits
        IdsCase{"q3", 1, std::nullopt},                         // a cut code
        IdsCase{"zzz", 1, std::nullopt}, IdsCase{"", 1, std::nullopt}));

TEST(Link, DecodeInvertsEncodeOnTheKeepableCharacters) {
    for (const char* key : {"root", "17~305~0", "7~42~9", "0~0~0", "2147483647~1~1"}) {
        std::string expected;
        for (const char* p = key; *p; ++p)
            if ((*p >= '0' && *p <= '9') || *p == '~')
                expected += *p;
        EXPECT_EQ(link::Decode(link::Encode(key)), expected) << key;
    }
}

TEST(Link, OriginsBracketIpv6Addresses) {
    EXPECT_EQ(link::WebOrigin("127.0.0.1", 8080), "http://127.0.0.1:8080");
    EXPECT_EQ(link::WebOrigin("::1", 8095), "http://[::1]:8095");
    EXPECT_EQ(link::HostPort("[::1]", 80), "[::1]:80");
    EXPECT_EQ(link::HostPort("media.example", 443), "media.example:443");
}

TEST(Link, NamesCarryBlanksAsPlus) {
    EXPECT_EQ(link::BlanksToPlus("My Song  1.mp3"), "My+Song++1.mp3");
    EXPECT_EQ(link::BlanksToPlus("a+b"), "a+b");
}

} // namespace
