#include "wire/link.h"
#include "wire/node_key.h"
#include "wire/percent.h"

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

// IPv6 addresses get brackets; a host written with its scheme keeps it in
// the origin and loses it in "name:port".
TEST(Link, OriginsFollowTheHostAsWritten) {
    struct Case {
        const char* host;
        int port;
        const char* origin;
        const char* hostPort;
    };
    const Case cases[] = {
        {"127.0.0.1", 8080, "http://127.0.0.1:8080", "127.0.0.1:8080"},
        {"::1", 8095, "http://[::1]:8095", "[::1]:8095"},
        {"[::1]", 80, "http://[::1]:80", "[::1]:80"},
        {"media.example", 443, "http://media.example:443", "media.example:443"},
        {"https://media.example", 8443, "https://media.example:8443", "media.example:8443"},
        {"HTTPS://media.example/", 8443, "https://media.example:8443", "media.example:8443"},
        {"http://media.example", 80, "http://media.example:80", "media.example:80"},
        {"https://::1", 8443, "https://[::1]:8443", "[::1]:8443"},
        {"https://[::1]", 8443, "https://[::1]:8443", "[::1]:8443"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        EXPECT_EQ(link::WebOrigin(c.host, c.port), c.origin);
        EXPECT_EQ(link::HostPort(c.host, c.port), c.hostPort);
    }
}

TEST(Link, NamesCarryBlanksAsPlus) {
    EXPECT_EQ(link::BlanksToPlus("My Song  1.mp3"), "My+Song++1.mp3");
    EXPECT_EQ(link::BlanksToPlus("a+b"), "a+b");
}

struct NameCase {
    std::string name;
    std::string value;
};

class LinkNameTest : public ::testing::TestWithParam<NameCase> {};

// The value must stay one query value (no "&", "#" or "=" of its own) and
// read back as the name through the decoding the service applies.
TEST_P(LinkNameTest, NameValueStaysOneQueryValueAndDecodesToTheName) {
    const std::string value = link::NameValue(GetParam().name);
    EXPECT_EQ(value, GetParam().value);
    EXPECT_EQ(value.find_first_of("&#= "), std::string::npos);
    EXPECT_EQ(PercentDecode(value), GetParam().name);
    FormMap query;
    ParseForm(std::string("k=x") + link::kNameParameter + value, query);
    ASSERT_EQ(query.count("name"), 1u);
    EXPECT_EQ(query.find("name")->second, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Table, LinkNameTest,
                         ::testing::Values(NameCase{"My Song  1.mp3", "My+Song++1.mp3"},
                                           NameCase{"a&b=c#d%e+f", "a%26b%3Dc%23d%25e%2Bf"},
                                           NameCase{"Rock & Roll #1 = 100% +more",
                                                    "Rock+%26+Roll+%231+%3D+100%25+%2Bmore"},
                                           NameCase{"x-y_z.~", "x-y_z.~"},
                                           NameCase{"caf\xc3\xa9/\"q\"", "caf%C3%A9%2F%22q%22"},
                                           NameCase{"", ""}));

} // namespace
