#include "user_record.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(UserRecord, ReadsAReplyAndKeepsItsText) {
    const std::string reply =
        "<user id=\"23\" accountid=\"bob\" first_name=\"Mary%20Ann\" last_name=\"O+Neil\" "
        "email=\"bob%40example.org\" isplus=\"1\" expired=\"0\"/>";
    UserRecord r = UserRecord::FromReply(reply);
    EXPECT_EQ(r.id, 23);
    EXPECT_EQ(r.accountId, "bob");
    EXPECT_EQ(r.firstName, "Mary Ann");
    EXPECT_EQ(r.lastName, "O Neil");
    EXPECT_EQ(r.email, "bob@example.org");
    EXPECT_EQ(r.plus, 1);
    EXPECT_EQ(r.expired, 0);
    EXPECT_EQ(r.xml, reply);
}

TEST(UserRecord, MissingAttributesReadAsZeroAndEmpty) {
    UserRecord r = UserRecord::FromReply("<user accountid=\"x\"/>");
    EXPECT_EQ(r.id, 0);
    EXPECT_EQ(r.plus, 0);
    EXPECT_EQ(r.firstName, "");
    UserRecord none = UserRecord::FromReply("");
    EXPECT_EQ(none.id, 0);
    EXPECT_EQ(none.accountId, "");
}

TEST(UserRecord, AUserFromAListKeepsItsOwnElementWithOneTab) {
    XmlNode directory("<directory><user id=\"5\" accountid=\"carol\" email=\"c%40x.org\"/>"
                      "<user id=\"6\" accountid=\"dan\"/></directory>");
    ASSERT_EQ(directory.ChildCount(), 2);
    UserRecord carol = UserRecord::FromNode(directory.Child(0));
    EXPECT_EQ(carol.id, 5);
    EXPECT_EQ(carol.email, "c@x.org");
    EXPECT_EQ(carol.xml, "\t<user accountid=\"carol\" email=\"c%40x.org\" id=\"5\">\n\t</user>\n");
}
