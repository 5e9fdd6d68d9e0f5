#include "app_message_store.h"

#include <gtest/gtest.h>

using velmora::AppMessageStore;

TEST(AppMessageStore, RotatesInDocumentOrderAndWrapsAround) {
    AppMessageStore store;
    EXPECT_EQ(store.CurrentLink(), "none");
    EXPECT_EQ(store.CurrentId(), "0");
    ASSERT_TRUE(store.Parse("<root><appmessage MsgId=\"1\"><msg>First</msg><url> http://a/1 "
                            "</url></appmessage><other/><appmessage MsgId=\"2\"><msg>Second</msg>"
                            "<url>http://a/2</url></appmessage></root>"));
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.CurrentId(), "0"); // nothing shown since the parse
    EXPECT_EQ(store.NextText(), "First");
    EXPECT_EQ(store.CurrentId(), "1");
    EXPECT_EQ(store.CurrentLink(), "http://a/1"); // trimmed
    EXPECT_EQ(store.NextText(), "Second");
    EXPECT_EQ(store.NextText(), "First");
    EXPECT_EQ(store.CurrentLink(), "http://a/1");
}

TEST(AppMessageStore, DuplicateIdsShowTheLaterTextTwice) {
    AppMessageStore store;
    store.Parse("<r><appmessage MsgId=\"7\"><msg>old</msg><url>u1</url></appmessage>"
                "<appmessage MsgId=\"7\"><msg>new</msg><url>u2</url></appmessage></r>");
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.NextText(), "new");
    EXPECT_EQ(store.CurrentLink(), "u2");
    EXPECT_EQ(store.NextText(), "new");
}

TEST(AppMessageStore, MissingMsgOrUrlGiveEmptyTexts) {
    AppMessageStore store;
    EXPECT_FALSE(store.Parse("<r><appmessage MsgId=\"3\"><url>x</url></appmessage></r>"));
    EXPECT_EQ(store.NextText(), "");
    EXPECT_TRUE(store.Parse("<r><appmessage MsgId=\"4\"><msg>hi</msg></appmessage></r>"));
    EXPECT_EQ(store.NextText(), "hi");
    EXPECT_EQ(store.CurrentLink(), ""); // an empty link, not "none"
}

TEST(AppMessageStore, AnUnparsableTextEmptiesTheStore) {
    AppMessageStore store;
    store.Parse("<r><appmessage MsgId=\"1\"><msg>a</msg></appmessage></r>");
    store.NextText();
    EXPECT_FALSE(store.Parse("<r><appmessage"));
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.NextText(), "");
    EXPECT_EQ(store.CurrentId(), "0");
    EXPECT_EQ(store.CurrentLink(), "none");
}
