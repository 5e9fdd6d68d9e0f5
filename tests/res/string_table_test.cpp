#include "string_table.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(StringTable, EveryProgramTextIsPresentAndExact) {
    for (int id = 100; id <= 135; ++id) {
        if (id == 110 || id == 127)
            continue; // the program has no text under these ids
        EXPECT_TRUE(HasString(id)) << id;
        EXPECT_FALSE(LoadString(id).empty()) << id;
    }
    // The typos are the program's own.
    EXPECT_EQ(LoadString(113), "Rename the acess list");
    EXPECT_EQ(LoadString(131), "Email was sucessfully sent");
    EXPECT_EQ(LoadString(100), "OLE initialization failed.  Make sure that the OLE libraries are "
                               "the correct version.");
    EXPECT_EQ(LoadString(120), "Enter the email address where you would like your link sent: ");
    EXPECT_EQ(LoadString(128),
              "Velmora Media Player\n\nvelmora_player\n\n\nvelmoraplayer.Document\n"
              "velmora_player.Document");
    EXPECT_EQ(LoadString(57344), "velmora_player");
    EXPECT_EQ(LoadString(57345), "Ready");
    EXPECT_EQ(LoadString(57601), "Open an existing media\nopen");
}

TEST(StringTable, CommandPromptsHaveStatusTextAndTip) {
    for (int id : {57600, 57601, 57603, 57634, 57635, 57637, 57643, 57653, 57664, 57665, 57680,
                   57681, 59392, 59393, 32771, 32772}) {
        std::string text = LoadString(id);
        EXPECT_NE(text.find('\n'), std::string::npos) << id;
    }
}

TEST(StringTable, UnknownIdGivesEmptyText) {
    EXPECT_EQ(LoadString(110), "");
    EXPECT_EQ(LoadString(-1), "");
    EXPECT_FALSE(HasString(99999));
}
