#pragma once

// The one application-wide object: connection settings, the ServiceClient,
// the message poller and the message boxes every window uses.

#include "message_poller_seam.h"
#include "scoped_hook.h"
#include "service_client.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velmora {

class AppContext {
public:
    // Makes the poller of a context; it fetches through that context's client.
    using PollerMaker = std::function<std::unique_ptr<IMessagePoller>(ServiceClient&)>;

    // The single instance, made on first use.
    static AppContext& Instance();
    // Ends the instance (at the end of the program, or between tests); the
    // next Instance() makes a new one.
    static void Destroy();
    // Puts the program's maker of the message poller in place, for every
    // context made from now on (and the present one at its next poller access).
    static void SetPollerMaker(PollerMaker maker);
    // Puts the maker of the message poller in place for as long as it lives
    // and the one before back afterwards. The context makes its poller with
    // the maker when it is made, or at the first poller access after the
    // maker came.
    class ScopedPollerMaker : public ScopedHook<PollerMaker> {
    public:
        explicit ScopedPollerMaker(PollerMaker maker);
    };

    // The program's sign-in loop: the sign-in dialog until the user signs in
    // or cancels. The application puts its own in place for as long as the
    // ScopedSignInLoop lives.
    using SignInLoop = std::function<bool()>;
    class ScopedSignInLoop : public ScopedHook<SignInLoop> {
    public:
        explicit ScopedSignInLoop(SignInLoop loop);
    };
    // Runs the loop; true when a user is signed in afterwards. Without a loop
    // nobody can sign in, and the answer is whether one already is.
    bool RunSignInLoop();

    ~AppContext();

    ServiceClient& GetServiceClient() { return *serviceClient_; }
    // Copies the service client's signed-in state and returns it.
    bool IsConnected();

    void SetHost(const std::string& host) { host_ = host; }
    const std::string& GetHost() const { return host_; }
    void SetPort(std::int32_t port) { port_ = port; }
    std::int32_t GetPort() const { return port_; }
    void SetHelpPath(const std::string& path) { helpPath_ = path; }
    const std::string& GetHelpPath() const { return helpPath_; }

    std::string LoadString(int id) const;
    void ShowMessage(const std::string& text) const;
    void ShowMessage(int stringId) const;
    void ShowMessageNumber(int number) const;
    bool AskYesNo(const std::string& text) const;

    std::string GetHelpUrl() const;
    std::string GetPlayLinkBase() const;
    std::string GetFileLinkBase();
    std::string GetFolderLinkBase();
    std::string GetPlayerPageBase();

    // Starts a polling run when none is going and returns the poller (null
    // when no maker was installed).
    IMessagePoller* GetMessagePoller();

private:
    AppContext();
    std::string ReadSettingsText(std::string (ISettingsStore::*read)());

    std::int32_t port_ = 80;
    std::string host_;
    std::string helpPath_;
    std::unique_ptr<ServiceClient> serviceClient_;
    std::unique_ptr<IMessagePoller> messagePoller_;
    bool connected_ = false;
};

} // namespace velmora
