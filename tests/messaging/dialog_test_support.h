#pragma once

// A signed-in program for the dialog tests: the scripted proxy behind the
// context's client, scripted message boxes and a poller that records what
// the dialogs register.

#include "app_context.h"
#include "component_factory.h"
#include "scripted_message_boxes.h"
#include "scripted_proxy.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

class RecordingPoller : public IMessagePoller {
public:
    void Start() override {}
    void Register(std::int32_t userId, Handle window) override {
        registered[userId] = window;
        calls.push_back("Register(" + std::to_string(userId) + ")");
    }
    void Unregister(std::int32_t userId) override {
        registered.erase(userId);
        calls.push_back("Unregister(" + std::to_string(userId) + ")");
    }
    std::map<std::int32_t, Handle> registered;
    std::vector<std::string> calls;
};

struct Tier {
    bool plus = false;
    bool gold = false;
    bool platinum = false;
};

class SignedInTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedProxy> proxy = std::make_shared<ScriptedProxy>();
    ScopedComponent component{CLSID_velmoraPrxy, [this] { return proxy; }};
    RecordingPoller* poller = nullptr;
    AppContext::ScopedPollerMaker maker{[this](ServiceClient&) {
        auto made = std::make_unique<RecordingPoller>();
        poller = made.get();
        return made;
    }};
    ScopedScriptedBoxes boxes;

    void SignIn(Tier tier = {}) {
        proxy->account->profile->plus = ToVariantBool(tier.plus);
        proxy->account->profile->tier1 = ToVariantBool(tier.gold);
        proxy->account->profile->tier2 = ToVariantBool(tier.platinum);
        ASSERT_TRUE(client().Login("ada", "secret"));
        AppContext::Instance().GetMessagePoller();
        proxy->calls.clear();
    }
    ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }
    // The calls of one method, with their arguments.
    std::vector<std::string> callsOf(const std::string& method) const {
        std::vector<std::string> out;
        for (const std::string& call : proxy->calls)
            if (call.rfind(method + "(", 0) == 0)
                out.push_back(call);
        return out;
    }
    void TearDown() override { AppContext::Destroy(); }
};

} // namespace velmora::test
