#include "command_line.h"

#include <gtest/gtest.h>

using velmora::EndsAtOnce;

TEST(CommandLine, StandardSwitchesEndTheProgram) {
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "-Embedding"}));
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "/Automation"}));
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "-unregserver"}));
    EXPECT_TRUE(EndsAtOnce({"velmora-player", "/Unregister"}));
}

TEST(CommandLine, OtherArgumentsDoNot) {
    EXPECT_FALSE(EndsAtOnce({"velmora-player"}));
    EXPECT_FALSE(EndsAtOnce({"velmora-player", "embedding"}));
    EXPECT_FALSE(EndsAtOnce({"velmora-player", "-platform", "offscreen"}));
    // The program's name itself never counts as a switch.
    EXPECT_FALSE(EndsAtOnce({"-embedding"}));
}
