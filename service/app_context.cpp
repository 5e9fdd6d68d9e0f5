#include "app_context.h"

#include "component_factory.h"
#include "message_boxes.h"
#include "string_table.h"
#include "wire/link.h"

#include <mutex>
#include <utility>

namespace velmora {

namespace {

std::unique_ptr<AppContext>& instanceSlot() {
    static std::unique_ptr<AppContext> instance;
    return instance;
}

AppContext::PollerMaker& pollerMaker() {
    static AppContext::PollerMaker maker;
    return maker;
}

AppContext::SignInLoop& signInLoop() {
    static AppContext::SignInLoop loop;
    return loop;
}

} // namespace

AppContext& AppContext::Instance() {
    auto& slot = instanceSlot();
    if (!slot)
        slot.reset(new AppContext());
    return *slot;
}

void AppContext::Destroy() {
    instanceSlot().reset();
}

void AppContext::SetPollerMaker(PollerMaker maker) {
    pollerMaker() = std::move(maker);
}

AppContext::ScopedPollerMaker::ScopedPollerMaker(PollerMaker maker)
    : ScopedHook(pollerMaker(), std::move(maker)) {}

AppContext::ScopedSignInLoop::ScopedSignInLoop(SignInLoop loop)
    : ScopedHook(signInLoop(), std::move(loop)) {}

bool AppContext::RunSignInLoop() {
    if (const SignInLoop& loop = signInLoop())
        return loop();
    return IsConnected();
}

AppContext::AppContext() : serviceClient_(std::make_unique<ServiceClient>()) {
    if (pollerMaker())
        messagePoller_ = pollerMaker()(*serviceClient_);
}

AppContext::~AppContext() {
    // The poller's worker calls the service client: it ends before the
    // client goes.
    messagePoller_.reset();
    serviceClient_->Logout();
    serviceClient_.reset();
}

bool AppContext::IsConnected() {
    connected_ = serviceClient_->IsSignedIn();
    return connected_;
}

std::string AppContext::LoadString(int id) const {
    return velmora::LoadString(id);
}

void AppContext::ShowMessage(const std::string& text) const {
    velmora::ShowMessage(text);
}

void AppContext::ShowMessage(int stringId) const {
    velmora::ShowMessage(stringId);
}

void AppContext::ShowMessageNumber(int number) const {
    velmora::ShowMessageNumber(number);
}

bool AppContext::AskYesNo(const std::string& text) const {
    return velmora::AskYesNo(text);
}

std::string AppContext::GetHelpUrl() const {
    return wire::link::WebOrigin(host_, port_) + helpPath_;
}

std::string AppContext::GetPlayLinkBase() const {
    return wire::link::WebOrigin(host_, port_) + wire::link::kPlayPath;
}

std::string AppContext::ReadSettingsText(std::string (ISettingsStore::*read)()) {
    auto store = CreateComponent<ISettingsStore>(CLSID_SettingsStore);
    if (!store) {
        serviceClient_->ReplaceLastError(ErrorMessageText(REGDB_E_CLASSNOTREG));
        return {};
    }
    try {
        return ((*store).*read)();
    } catch (const ComError& e) {
        serviceClient_->ReplaceLastError(e.message());
        return {};
    }
}

std::string AppContext::GetFileLinkBase() {
    return ReadSettingsText(&ISettingsStore::FileLinkBase);
}

std::string AppContext::GetFolderLinkBase() {
    return ReadSettingsText(&ISettingsStore::FolderLinkBase);
}

std::string AppContext::GetPlayerPageBase() {
    return ReadSettingsText(&ISettingsStore::PlayerPageBase);
}

IMessagePoller* AppContext::GetMessagePoller() {
    // A maker installed after the context was made still gets its poller.
    if (!messagePoller_ && pollerMaker())
        messagePoller_ = pollerMaker()(*serviceClient_);
    if (messagePoller_)
        messagePoller_->Start();
    return messagePoller_.get();
}

} // namespace velmora
