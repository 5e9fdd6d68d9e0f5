#pragma once

#include "app_context.h"
#include "component_factory.h"
#include "scripted_proxy.h"

#include <memory>

namespace velmora::test {

// Puts the proxy in place of the proxy component and gives the program a new
// AppContext signed in to it; the context ends with the guard.
class SignedInModel {
public:
    explicit SignedInModel(std::shared_ptr<ScriptedProxy> proxy)
        : component_(CLSID_velmoraPrxy, [proxy] { return proxy; }) {
        AppContext::Destroy();
        signedIn_ = AppContext::Instance().GetServiceClient().Login("ada", "secret");
    }
    ~SignedInModel() { AppContext::Destroy(); }
    SignedInModel(const SignedInModel&) = delete;
    SignedInModel& operator=(const SignedInModel&) = delete;

    bool signedIn() const { return signedIn_; }

private:
    ScopedComponent component_;
    bool signedIn_ = false;
};

} // namespace velmora::test
