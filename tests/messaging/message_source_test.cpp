#include "dialog_test_support.h"
#include "message_source.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

class MessageSourceTest : public test::SignedInTest {};

} // namespace

TEST_F(MessageSourceTest, TellsNothingNewFromAFailureAndGivesTheFailuresOwnText) {
    ServiceClientMessages source(client());
    std::string path, failure;
    EXPECT_FALSE(source.FetchMessagesFile(path, failure));
    EXPECT_EQ(failure, ServiceClientMessages::kNotSignedIn);

    SignIn();
    proxy->messagesPath = "/tmp/some-messages.xml";
    EXPECT_TRUE(source.FetchMessagesFile(path, failure));
    EXPECT_EQ(path, "/tmp/some-messages.xml");
    EXPECT_EQ(failure, "");

    proxy->messagesPath.clear(); // nothing new
    EXPECT_FALSE(source.FetchMessagesFile(path, failure));
    EXPECT_EQ(failure, "");

    // The client's last error grows with every failure; each failure still
    // reads as its own text.
    proxy->failOn("MessagesFile", "Service unreachable");
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(source.FetchMessagesFile(path, failure));
        EXPECT_EQ(failure, "Service unreachable");
    }
    EXPECT_EQ(client().GetLastError(), "Service unreachableService unreachable");
}
