#include "app_context.h"
#include "component_factory.h"
#include "scripted_message_boxes.h"
#include "scripted_proxy.h"
#include "temp_settings.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

class CountingPoller : public IMessagePoller {
public:
    explicit CountingPoller(int* starts) : starts_(starts) {}
    void Start() override { ++*starts_; }
    void Register(std::int32_t, Handle) override {}
    void Unregister(std::int32_t) override {}
    int* starts_;
};

class AppContextTest : public ::testing::Test {
protected:
    std::shared_ptr<test::ScriptedProxy> proxy = std::make_shared<test::ScriptedProxy>();
    ScopedComponent component{CLSID_velmoraPrxy, [this] { return proxy; }};
    void TearDown() override { AppContext::Destroy(); }
};

} // namespace

TEST_F(AppContextTest, OneInstanceUntilDestroyedWithDefaults) {
    AppContext& a = AppContext::Instance();
    EXPECT_EQ(&a, &AppContext::Instance());
    EXPECT_EQ(a.GetPort(), 80);
    EXPECT_EQ(a.GetHost(), "");
    EXPECT_EQ(a.GetHelpPath(), "");
    EXPECT_FALSE(a.IsConnected());
    EXPECT_EQ(a.LoadString(101), "Velmora Media Player");
}

TEST_F(AppContextTest, UrlsJoinHostPortAndPath) {
    AppContext& a = AppContext::Instance();
    a.SetHost("media.example.org");
    a.SetHelpPath("/products/windows/velmora-player.html");
    EXPECT_EQ(a.GetHelpUrl(), "http://media.example.org:80/products/windows/velmora-player.html");
    a.SetPort(8080);
    EXPECT_EQ(a.GetPlayLinkBase(), "http://media.example.org:8080/6/8?p=");
}

TEST_F(AppContextTest, ConnectedFollowsTheServiceClient) {
    AppContext& a = AppContext::Instance();
    ASSERT_TRUE(a.GetServiceClient().Login("ada", "secret"));
    EXPECT_TRUE(a.IsConnected());
    a.GetServiceClient().Logout();
    EXPECT_FALSE(a.IsConnected());
}

TEST_F(AppContextTest, DestroyingSignsOut) {
    ASSERT_TRUE(AppContext::Instance().GetServiceClient().Login("ada", "secret"));
    proxy->calls.clear();
    AppContext::Destroy();
    ASSERT_FALSE(proxy->calls.empty());
    EXPECT_EQ(proxy->calls.front(), "Logout()");
}

TEST_F(AppContextTest, LinkBasesComeFromANewSettingsStore) {
    test::TempSettings settings;
    settings.store()->SetPort(8181);
    AppContext& a = AppContext::Instance();
    EXPECT_EQ(a.GetFileLinkBase(), "http://127.0.0.1:8181/f?k=");
    EXPECT_EQ(a.GetFolderLinkBase(), "http://127.0.0.1:8181/d?k=");
    EXPECT_EQ(settings.created(), 2);
    settings.failReadsAndWrites();
    EXPECT_EQ(a.GetPlayerPageBase(), "");
    EXPECT_EQ(a.GetServiceClient().GetLastError(), "Access is denied.");
}

TEST_F(AppContextTest, MissingSettingsStoreReplacesTheLastError) {
    ComponentFactory::instance().unregisterClass(CLSID_SettingsStore);
    AppContext& a = AppContext::Instance();
    // An earlier failure stands in the last error, so replacing and appending differ.
    ASSERT_TRUE(a.GetServiceClient().Login("ada", "secret"));
    proxy->failOn("RenameFolder", "Folder not found");
    EXPECT_FALSE(a.GetServiceClient().RenameFolder(9, "x"));
    EXPECT_EQ(a.GetFileLinkBase(), "");
    EXPECT_EQ(a.GetServiceClient().GetLastError(), "Class not registered");
}

TEST_F(AppContextTest, PollerAccessorStartsTheRunEveryTime) {
    EXPECT_EQ(AppContext::Instance().GetMessagePoller(), nullptr); // no maker installed
    int lateStarts = 0;
    {
        AppContext::ScopedPollerMaker late(
            [&](ServiceClient&) { return std::make_unique<CountingPoller>(&lateStarts); });
        EXPECT_NE(AppContext::Instance().GetMessagePoller(), nullptr); // a maker that came late
        EXPECT_EQ(lateStarts, 1);
    }
    AppContext::Destroy();
    int starts = 0;
    AppContext::ScopedPollerMaker maker(
        [&](ServiceClient&) { return std::make_unique<CountingPoller>(&starts); });
    AppContext& a = AppContext::Instance();
    EXPECT_EQ(starts, 0); // made, not started
    EXPECT_NE(a.GetMessagePoller(), nullptr);
    a.GetMessagePoller();
    EXPECT_EQ(starts, 2);
}

TEST_F(AppContextTest, MessagesUseTheProgramsBoxes) {
    test::ScopedScriptedBoxes boxes;
    boxes->answerNext(true);
    AppContext& a = AppContext::Instance();
    a.ShowMessage(std::string("Folder not found"));
    a.ShowMessage(130);
    a.ShowMessageNumber(7);
    EXPECT_TRUE(a.AskYesNo("Are you sure you want to delete x"));
    EXPECT_EQ(boxes->texts(), (std::vector<std::string>{"Folder not found", "Empty message", "7",
                                                        "Are you sure you want to delete x"}));
    EXPECT_EQ(boxes->shown()[3].buttons, BoxButtons::YesNo);
}
