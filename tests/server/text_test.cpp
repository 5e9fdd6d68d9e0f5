// Text rules and generated media, without a server.

#include "auth.h"
#include "media.h"
#include "text.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>

namespace velmora::server {
namespace {

TEST(ServerText, NameRules) {
    EXPECT_EQ(NameProblem(""), "The name is empty");
    EXPECT_EQ(NameProblem(std::string(255, 'a')), "");
    EXPECT_EQ(NameProblem(std::string(256, 'a')), "The name is longer than 255 bytes");
    EXPECT_EQ(NameProblem("a/b"), "Invalid character in the name");
    EXPECT_EQ(NameProblem(std::string("a\0b", 3)), "Invalid character in the name");
    EXPECT_EQ(NameProblem("line\nbreak"), "Invalid character in the name");
    EXPECT_EQ(NameProblem("del\x7f.mp3"), "Invalid character in the name");
    EXPECT_EQ(NameProblem(".."), "Invalid character in the name");
    EXPECT_EQ(NameProblem("Robert'); DROP TABLE files;--"), "");
    EXPECT_EQ(NameProblem("Caf\xc3\xa9 & <b>"), "");
    EXPECT_EQ(NameProblem("\xf0\x9f\x8e\xb5 a^b|c~d.mp3"), "");
    for (const char* broken : {"a\xff.mp3", "a\xc3.mp3", "\xc0\xaf", "\xed\xa0\x80",
                               "\xf4\x90\x80\x80", "\xe0\x80\xaf", "end\xe2\x82"})
        EXPECT_EQ(NameProblem(broken), "The name is not valid UTF-8 text") << broken;
}

TEST(ServerText, MailAddressesRefuseHeaderInjection) {
    EXPECT_TRUE(IsMailAddress("a.b@example.org"));
    EXPECT_FALSE(IsMailAddress("a@example.org\r\nBcc: x@evil.org"));
    EXPECT_FALSE(IsMailAddress("a b@example.org"));
    EXPECT_FALSE(IsMailAddress("a@b@example.org"));
    EXPECT_FALSE(IsMailAddress("@example.org"));
    EXPECT_FALSE(IsMailAddress("a@localhost"));
    EXPECT_FALSE(IsMailAddress("x@y.org, z@w.org"));
}

TEST(ServerText, ParseIdTakesWhole32BitNumbersOnly) {
    EXPECT_EQ(ParseId("17"), 17);
    EXPECT_EQ(ParseId("-1"), -1);
    EXPECT_EQ(ParseId("2147483647"), 2147483647);
    EXPECT_FALSE(ParseId("2147483648"));
    EXPECT_FALSE(ParseId("12abc"));
    EXPECT_FALSE(ParseId(" 1"));
    EXPECT_FALSE(ParseId(""));
}

std::uint32_t Be32(const std::string& s, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8) |
           static_cast<unsigned char>(s[at + 3]);
}

TEST(ServerMedia, AuHeaderDescribesTheSamples) {
    std::string au = MakeAuTone(440, 0.5, 8000);
    ASSERT_EQ(au.substr(0, 4), ".snd");
    EXPECT_EQ(Be32(au, 4), 24u);
    EXPECT_EQ(Be32(au, 8), 8000u); // 4000 samples of 2 bytes
    EXPECT_EQ(Be32(au, 12), 3u);
    EXPECT_EQ(Be32(au, 16), 8000u);
    EXPECT_EQ(Be32(au, 20), 1u);
    EXPECT_EQ(au.size(), 24u + 8000u);
}

TEST(ServerMedia, AiffChunksAndSampleRateAreConsistent) {
    std::string aiff = MakeAiffTone(440, 0.25, 22050);
    ASSERT_EQ(aiff.substr(0, 4), "FORM");
    EXPECT_EQ(Be32(aiff, 4), aiff.size() - 8);
    EXPECT_EQ(aiff.substr(8, 4), "AIFF");
    ASSERT_EQ(aiff.substr(12, 4), "COMM");
    EXPECT_EQ(Be32(aiff, 16), 18u);
    std::uint32_t frames = Be32(aiff, 22);
    EXPECT_EQ(frames, 5512u);
    // 80-bit extended: exponent then a 64-bit mantissa with explicit integer bit.
    int exponent =
        ((static_cast<unsigned char>(aiff[28]) << 8) | static_cast<unsigned char>(aiff[29])) -
        16383;
    std::uint64_t mantissa = (static_cast<std::uint64_t>(Be32(aiff, 30)) << 32) | Be32(aiff, 34);
    EXPECT_DOUBLE_EQ(std::ldexp(static_cast<double>(mantissa), exponent - 63), 22050.0);
    ASSERT_EQ(aiff.substr(38, 4), "SSND");
    EXPECT_EQ(Be32(aiff, 42), 8 + frames * 2);
}

} // namespace
} // namespace velmora::server

TEST(ServerMedia, Mp3ToneIsRealMpegAudioWhenTheEncoderIsThere) {
    auto mp3 = velmora::server::MakeMp3Tone(440, 0.5);
    if (::access("/usr/bin/lame", X_OK) != 0) {
        EXPECT_FALSE(mp3.has_value());
        return;
    }
    ASSERT_TRUE(mp3.has_value());
    ASSERT_GT(mp3->size(), 100u);
    // An ID3 tag or straight away an MPEG frame sync.
    const auto b0 = static_cast<unsigned char>((*mp3)[0]);
    const auto b1 = static_cast<unsigned char>((*mp3)[1]);
    EXPECT_TRUE(mp3->rfind("ID3", 0) == 0 || (b0 == 0xFF && (b1 & 0xE0) == 0xE0));
}
