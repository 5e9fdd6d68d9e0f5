#include "app_context.h"
#include "component_factory.h"
#include "scripted_message_boxes.h"
#include "scripted_proxy.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

class FakeSettings : public ISettingsStore {
public:
    std::string Host() override { return "127.0.0.1"; }
    void SetHost(const std::string&) override {}
    std::int32_t Port() override { return 8080; }
    void SetPort(std::int32_t) override {}
    std::string FileLinkBase() override { return "http://127.0.0.1:8080/f/"; }
    std::string FolderLinkBase() override { return "http://127.0.0.1:8080/d/"; }
    VariantBool CleanUpOnExit() override { return VARIANT_FALSE; }
    void SetCleanUpOnExit(VariantBool) override {}
    std::string GetValue(const std::string&) override { return {}; }
    void SetValue(const std::string&, const std::string&) override {}
    std::string PlayerPageBase() override { throw ComError(E_ACCESSDENIED, iid); }
};

class CountingPoller : public IMessagePoller {
public:
    explicit CountingPoller(int* starts) : starts_(starts) {}
    void Start() override { ++*starts_; }
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
    int created = 0;
    ScopedComponent settings(CLSID_SettingsStore, [&] {
        ++created;
        return std::make_shared<FakeSettings>();
    });
    AppContext& a = AppContext::Instance();
    EXPECT_EQ(a.GetFileLinkBase(), "http://127.0.0.1:8080/f/");
    EXPECT_EQ(a.GetFolderLinkBase(), "http://127.0.0.1:8080/d/");
    EXPECT_EQ(created, 2);
    EXPECT_EQ(a.GetPlayerPageBase(), "");
    EXPECT_EQ(a.GetServiceClient().GetLastError(), "Access is denied.");
}

TEST_F(AppContextTest, MissingSettingsStoreReplacesTheLastError) {
    ComponentFactory::instance().unregisterClass(CLSID_SettingsStore);
    AppContext& a = AppContext::Instance();
    EXPECT_EQ(a.GetFileLinkBase(), "");
    EXPECT_EQ(a.GetServiceClient().GetLastError(), "Class not registered");
}

TEST_F(AppContextTest, PollerAccessorStartsTheRunEveryTime) {
    EXPECT_EQ(AppContext::Instance().GetMessagePoller(), nullptr); // no maker installed
    int lateStarts = 0;
    {
        AppContext::ScopedPollerMaker late(
            [&] { return std::make_unique<CountingPoller>(&lateStarts); });
        EXPECT_NE(AppContext::Instance().GetMessagePoller(), nullptr); // a maker that came late
        EXPECT_EQ(lateStarts, 1);
    }
    AppContext::Destroy();
    int starts = 0;
    AppContext::ScopedPollerMaker maker([&] { return std::make_unique<CountingPoller>(&starts); });
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
