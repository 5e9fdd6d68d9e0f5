#include "command_line.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <optional>

using namespace velmora;

TEST(CommandLine, StandardSwitchesEndTheProgram) {
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "-Embedding"}));
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "/Automation"}));
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "-unregserver"}));
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "/Unregister"}));
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "--service", "127.0.0.1:8095", "-Embedding"}));
}

TEST(CommandLine, OtherArgumentsDoNot) {
    EXPECT_FALSE(EndsAtOnce({"velmora-player"}));
    EXPECT_FALSE(EndsAtOnce({"velmora-player", "embedding"}));
    EXPECT_FALSE(EndsAtOnce({"velmora-player", "-platform", "offscreen"}));
    EXPECT_FALSE(EndsAtOnce({"velmora-player", "--service", "127.0.0.1:8095"}));
    // The program's name itself never counts as a switch.
    EXPECT_FALSE(EndsAtOnce({"-embedding"}));
}

namespace {

struct AddressCase {
    const char* text;
    std::optional<ServiceAddress> address;
};

class ServiceAddressText : public ::testing::TestWithParam<AddressCase> {};

} // namespace

TEST_P(ServiceAddressText, Parses) {
    EXPECT_EQ(ParseServiceAddress(GetParam().text), GetParam().address) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServiceAddressText,
    ::testing::Values(
        AddressCase{"127.0.0.1:8095", ServiceAddress{"127.0.0.1", 8095}},
        AddressCase{"media.example.org:80", ServiceAddress{"media.example.org", 80}},
        AddressCase{"localhost:65535", ServiceAddress{"localhost", 65535}},
        AddressCase{"[::1]:8095", ServiceAddress{"::1", 8095}},
        AddressCase{"[fe80::1%eth0]:1", ServiceAddress{"fe80::1%eth0", 1}},
        AddressCase{"127.0.0.1:080950", std::nullopt}, AddressCase{"127.0.0.1:0", std::nullopt},
        AddressCase{"127.0.0.1:65536", std::nullopt}, AddressCase{"127.0.0.1:-1", std::nullopt},
        AddressCase{"127.0.0.1:80x", std::nullopt}, AddressCase{"127.0.0.1: 80", std::nullopt},
        AddressCase{"127.0.0.1:", std::nullopt}, AddressCase{"127.0.0.1", std::nullopt},
        AddressCase{":8095", std::nullopt}, AddressCase{"8095", std::nullopt},
        AddressCase{"", std::nullopt},
        AddressCase{"::1:8095", std::nullopt}, // IPv6 needs its brackets
        AddressCase{"[::1]", std::nullopt}, AddressCase{"[::1]8095", std::nullopt},
        AddressCase{"[]:8095", std::nullopt}, AddressCase{"[host]:8095", std::nullopt},
        AddressCase{"my host:8095", std::nullopt}, AddressCase{"http://host:8095", std::nullopt},
        AddressCase{"user@host:8095", std::nullopt}));

TEST(CommandLine, ServiceOptionTakesTheNextArgumentOrItsOwnValue) {
    CommandLineOptions options =
        ParseCommandLine({"velmora-player", "-platform", "xcb", "--service", "[::1]:8095"});
    EXPECT_EQ(options.error, "");
    EXPECT_EQ(options.service, (ServiceAddress{"::1", 8095}));
    options = ParseCommandLine({"velmora-player", "--service=127.0.0.1:9000"});
    EXPECT_EQ(options.service, (ServiceAddress{"127.0.0.1", 9000}));
    EXPECT_FALSE(ParseCommandLine({"velmora-player"}).service.has_value());

    options = ParseCommandLine({"velmora-player", "--service"});
    EXPECT_FALSE(options.service.has_value());
    EXPECT_NE(options.error.find("--service needs HOST:PORT"), std::string::npos);
    options = ParseCommandLine({"velmora-player", "--service", "8095"});
    EXPECT_NE(options.error.find("\"8095\""), std::string::npos) << options.error;
}

TEST(CommandLine, ABadServiceEndsTheProgramWithItsReasonOnStderr) {
    QProcess player;
    player.start(VELMORA_PLAYER_EXE, {"--service", "localhost"});
    ASSERT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 2);
    const QString said = QString::fromLocal8Bit(player.readAllStandardError());
    EXPECT_TRUE(said.contains("--service \"localhost\" is not HOST:PORT")) << said.toStdString();
}
