#include "component_factory.h"
#include "scripted_proxy.h"
#include "service_client.h"
#include "wire/media_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace velmora;
using velmora::test::ScriptedProxy;

namespace {

class ServiceClientTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedProxy> proxy = std::make_shared<ScriptedProxy>();
    ScopedComponent component{CLSID_velmoraPrxy, [this] { return proxy; }};

    std::vector<std::string> callsAfterConstruction() const {
        return {proxy->calls.begin() + 1, proxy->calls.end()};
    }
    static int count(const std::string& text, const std::string& piece) {
        int n = 0;
        for (auto pos = text.find(piece); pos != std::string::npos;
             pos = text.find(piece, pos + piece.size()))
            ++n;
        return n;
    }
};

} // namespace

TEST_F(ServiceClientTest, ConstructionHandsOverTheMediaExtensions) {
    ServiceClient client;
    EXPECT_TRUE(client.IsProxyReady());
    EXPECT_EQ(proxy->calls.front(), "SetMediaExtensions()");
    EXPECT_EQ(proxy->mediaExtensions, wire::MediaExtensionList());
    EXPECT_EQ(client.GetLastError(), "");
}

TEST(ServiceClientWithoutProxy, SignInFailsWithTheInvalidPointerText) {
    ComponentFactory::instance().unregisterClass(CLSID_velmoraPrxy);
    ServiceClient client;
    EXPECT_FALSE(client.IsProxyReady());
    EXPECT_FALSE(client.Login("ada", "secret"));
    EXPECT_EQ(client.GetLastError(), "Invalid pointer");
    EXPECT_FALSE(client.IsSignedIn());
}

TEST_F(ServiceClientTest, NotSignedInEveryOperationCallsNothing) {
    ServiceClient client;
    std::string path = "untouched";
    EXPECT_FALSE(client.CreateFolder(1, "a"));
    EXPECT_EQ(client.GetNewFolderId(), 0);
    EXPECT_FALSE(client.RenameFolder(2, "b"));
    EXPECT_FALSE(client.DeleteFolder(2));
    EXPECT_FALSE(client.SetFolderAccessList(2, 3));
    EXPECT_FALSE(client.DeleteFile(2, 4));
    EXPECT_FALSE(client.RenameFile(2, 4, "c"));
    EXPECT_EQ(client.FindFolder(2), nullptr);
    EXPECT_FALSE(client.UploadFile(2, "song.mp3", "/tmp/song.mp3", "ctx"));
    EXPECT_FALSE(client.DownloadFile("17~2~4", "/tmp/x", "ctx"));
    EXPECT_FALSE(client.CreateAccessList("Friends"));
    EXPECT_FALSE(client.RenameAccessList(5, "Family"));
    EXPECT_FALSE(client.DeleteAccessList(5));
    EXPECT_FALSE(client.AddUserToAccessList(5, 6));
    EXPECT_FALSE(client.RemoveUserFromAccessList(5, 6));
    EXPECT_EQ(client.FindUserById("ada"), "");
    EXPECT_EQ(client.FindUserByEmail("ada@example.org"), "");
    EXPECT_EQ(client.GetPublicDirectory(), "");
    EXPECT_FALSE(client.SendEmail("ada", "bob@example.org", "hi"));
    EXPECT_FALSE(client.EmailLink(17, 2, 4, 17, "bob@example.org", "", ""));
    EXPECT_FALSE(client.SendUserMessage(6, -1, "hi"));
    EXPECT_FALSE(client.GetAppMessageFile(path));
    EXPECT_FALSE(client.GetMessagesFile(path));
    client.SetNotifyWindow(42);
    EXPECT_EQ(client.GetLibrary(), nullptr);

    EXPECT_TRUE(callsAfterConstruction().empty());
    EXPECT_EQ(client.GetLastError(), "");
    EXPECT_EQ(client.GetNotifyWindow(), 42u);
}

TEST_F(ServiceClientTest, SignInReadsTheProfileAndTellsTheProxyTheUserId) {
    proxy->account->profile->plus = VARIANT_TRUE;
    proxy->account->profile->tier2 = VARIANT_TRUE;
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    EXPECT_TRUE(client.IsSignedIn());
    EXPECT_EQ(client.GetUserId(), 17);
    EXPECT_EQ(client.GetAccountId(), "ada");
    EXPECT_TRUE(client.IsPlusAccount());
    EXPECT_FALSE(client.IsHigherTier1());
    EXPECT_TRUE(client.IsGoldOrPlatinum());
    EXPECT_EQ(client.GetLibrary(), proxy->account->root);
    auto calls = callsAfterConstruction();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "SetCurrentUserId(17)"), calls.end());

    client.Logout();
    EXPECT_FALSE(client.IsSignedIn());
    EXPECT_EQ(client.GetUserId(), 0);
}

TEST_F(ServiceClientTest, FlagsCountOnlyWhenExactlyMinusOne) {
    proxy->account->profile->plus = 1;
    proxy->account->profile->tier1 = 0x7FFF;
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    EXPECT_FALSE(client.IsPlusAccount());
    EXPECT_FALSE(client.IsGoldOrPlatinum());
}

TEST_F(ServiceClientTest, RefusedSignInShowsTheFailureTextAlone) {
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    proxy->failOn("RenameFolder", "Folder not found");
    EXPECT_FALSE(client.RenameFolder(9, "x"));
    client.Logout();
    EXPECT_FALSE(client.Login("ada", "wrong"));
    EXPECT_EQ(client.GetLastError(), "Invalid account id or password");
    EXPECT_FALSE(client.IsSignedIn());
}

TEST_F(ServiceClientTest, FailuresAccumulateInTheLastError) {
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    proxy->failOn("RenameFolder", "Folder not found");
    proxy->failOn("DeleteFile", "File not found");
    EXPECT_FALSE(client.RenameFolder(9, "x"));
    EXPECT_FALSE(client.DeleteFile(9, 3));
    EXPECT_EQ(client.GetLastError(), "Folder not foundFile not found");
}

TEST_F(ServiceClientTest, ComErrorDuringSignInReplacesTheLastErrorWithItsText) {
    ServiceClient client;
    // An earlier failure stands in the last error, so replacing and appending differ.
    ASSERT_TRUE(client.Login("ada", "secret"));
    proxy->failOn("RenameFolder", "Folder not found");
    EXPECT_FALSE(client.RenameFolder(9, "x"));
    client.Logout();
    proxy->failOn("Login", "Cannot reach the service");
    EXPECT_FALSE(client.Login("ada", "secret"));
    EXPECT_EQ(client.GetLastError(), "Unspecified error");

    // An account object that is not an account leaves nothing to read the
    // profile from.
    auto other = std::make_shared<ScriptedProxy>();
    other->accountOffersInterface = false;
    proxy = other;
    ServiceClient second;
    EXPECT_FALSE(second.Login("ada", "secret"));
    EXPECT_EQ(second.GetLastError(), "Invalid pointer");
    EXPECT_EQ(second.GetAccount(), nullptr);
}

TEST_F(ServiceClientTest, UploadKeyKeepsTheNameAsItStands) {
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    EXPECT_TRUE(client.UploadFile(305, "my song.mp3", "/home/ada/my song.mp3", "7^305^x"));
    EXPECT_EQ(proxy->calls.back(), "UploadFile(17~305~my song.mp3,/home/ada/my song.mp3,7^305^x)");
    EXPECT_TRUE(client.DownloadFile("17~305~9", "/tmp/v_player/a.mp3", "ctx"));
    EXPECT_EQ(proxy->calls.back(), "DownloadFile(17~305~9,/tmp/v_player/a.mp3,ctx)");
}

TEST_F(ServiceClientTest, AccessListChangesRefreshTheAccountOnlyOnSuccess) {
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    proxy->accessListsText = "5:Friends";
    EXPECT_TRUE(client.CreateAccessList("Friends"));
    ASSERT_EQ(proxy->account->lists.size(), 1u);
    EXPECT_EQ(proxy->account->lists[0]->name_, "Friends");

    proxy->accessListsText = "5:Friends;6:Family";
    proxy->failOn("CreateAccessList", "An access list with this name already exists");
    proxy->calls.clear();
    EXPECT_FALSE(client.CreateAccessList("Family"));
    EXPECT_EQ(proxy->account->lists.size(), 1u);
    EXPECT_EQ(std::count(proxy->calls.begin(), proxy->calls.end(), "AccessLists()"), 0);

    EXPECT_TRUE(client.AddUserToAccessList(5, 23));
    EXPECT_EQ(proxy->account->lists.size(), 2u);
    EXPECT_EQ(proxy->calls.back(), "AccessLists()");
}

TEST_F(ServiceClientTest, DeleteFolderTouchesTheModelOnlyAfterTheService) {
    auto music = proxy->account->root->addSubfolder(305, "Music");
    music->addSubfolder(306, "Live");
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    ASSERT_NE(client.FindFolder(306), nullptr);

    proxy->failOn("DeleteFolder", "Folder not found");
    EXPECT_FALSE(client.DeleteFolder(306));
    EXPECT_NE(client.FindFolder(306), nullptr);
    EXPECT_EQ(client.GetLastError(), "Folder not found");
}

TEST_F(ServiceClientTest, DeleteFolderRemovesItFromTheModel) {
    proxy->account->root->addSubfolder(305, "Music")->addSubfolder(306, "Live");
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    EXPECT_TRUE(client.DeleteFolder(306));
    EXPECT_EQ(client.FindFolder(306), nullptr);
    EXPECT_NE(client.FindFolder(305), nullptr);
}

TEST_F(ServiceClientTest, GetAccessListLetsTheComErrorThrough) {
    proxy->account->lists.push_back(std::make_shared<test::ScriptedAccessList>(5, "Friends"));
    ServiceClient client;
    // Not signed in: it asks all the same.
    auto list = client.GetAccessList(5);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Name(), "Friends");
    EXPECT_EQ(client.GetAccessList(99), nullptr);
    proxy->account->failAccessListById = true;
    EXPECT_THROW(client.GetAccessList(5), ComError);
}

TEST_F(ServiceClientTest, MessagingOperationsPassTheirValuesThrough) {
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    EXPECT_TRUE(client.SendUserMessage(23, -1, "hello"));
    EXPECT_EQ(proxy->calls.back(), "SendUserMessage(23,-1,hello)");
    EXPECT_TRUE(client.EmailLink(7, 42, 0, 17, "bob@example.org", "", ""));
    EXPECT_EQ(proxy->calls.back(), "EmailLink(7,42,0,17,bob@example.org,,)");
    EXPECT_TRUE(client.SendEmail("ada", "bob@example.org", "body"));
    EXPECT_EQ(proxy->calls.back(), "SendEmail(ada,bob@example.org,body)");
    EXPECT_EQ(client.FindUserById("ada"), "<user id=\"17\" accountid=\"ada\"/>");
    EXPECT_EQ(client.FindUserByEmail("nobody@example.org"), "");

    std::string path = "stale";
    EXPECT_FALSE(client.GetMessagesFile(path)); // the proxy had nothing
    EXPECT_EQ(path, "");
    proxy->messagesPath = "/tmp/v_player/p/messages.xml";
    EXPECT_TRUE(client.GetMessagesFile(path));
    EXPECT_EQ(path, "/tmp/v_player/p/messages.xml");
    EXPECT_EQ(client.GetLastError(), "");
}

TEST_F(ServiceClientTest, NotifyWindowReachesTheProxyOnlyWhenSignedIn) {
    ServiceClient client;
    client.SetNotifyWindow(11);
    EXPECT_EQ(proxy->notifyWindow, 0u);
    ASSERT_TRUE(client.Login("ada", "secret"));
    client.SetNotifyWindow(12);
    EXPECT_EQ(proxy->notifyWindow, 12u);
    proxy->failOn("SetNotifyWindow", "ignored");
    client.SetNotifyWindow(13);
    EXPECT_EQ(client.GetNotifyWindow(), 13u);
    EXPECT_EQ(client.GetLastError(), "");
}

TEST_F(ServiceClientTest, SecondSignInReadsTheNewAccount) {
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    client.Logout();
    auto next = std::make_shared<test::ScriptedAccount>();
    next->profile->userId = 23;
    next->profile->accountId = "bob";
    proxy->account = next;
    ASSERT_TRUE(client.Login("bob", "secret"));
    EXPECT_EQ(client.GetUserId(), 23);
    EXPECT_EQ(client.GetAccountId(), "bob");
    EXPECT_EQ(client.GetLibrary(), next->root);
}

TEST_F(ServiceClientTest, PollerThreadFailuresAppendSafelyBesideTheUiThread) {
    ServiceClient client;
    ASSERT_TRUE(client.Login("ada", "secret"));
    proxy->failOn("MessagesFile", "W");
    proxy->failOn("RenameFolder", "U");
    constexpr int kRounds = 2000;
    std::thread poller([&] {
        std::string path;
        for (int i = 0; i < kRounds; ++i)
            EXPECT_FALSE(client.GetMessagesFile(path));
    });
    std::size_t lastLength = 0;
    for (int i = 0; i < kRounds; ++i) {
        EXPECT_FALSE(client.RenameFolder(1, "x"));
        std::string text = client.GetLastError();
        EXPECT_GE(text.size(), lastLength); // never torn or shortened
        lastLength = text.size();
    }
    poller.join();
    std::string text = client.GetLastError();
    EXPECT_EQ(count(text, "W"), kRounds);
    EXPECT_EQ(count(text, "U"), kRounds);
}
