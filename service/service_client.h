#pragma once

// The one object through which every window reaches the service: it owns the
// proxy component, signs the user in and out, keeps his profile and runs
// every server operation as a thin step over the proxy.

#include "component_interfaces.h"
#include "handle_registry.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace velmora {

class ServiceClient {
public:
    ServiceClient();
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    bool Login(const std::string& accountId, const std::string& password);
    void Logout();
    // The account object, fetched on first need and then kept; throws
    // ComError when the proxy fails (other than not offering the interface).
    std::shared_ptr<IAccount> GetAccount();
    std::shared_ptr<IFolder> GetLibrary() const;

    // The last error text. Failed operations append to it (possibly from the
    // message poller's thread), so it is read as a copy. How a failure gets
    // here from the wire: components/proxy/service_http.h.
    std::string GetLastError() const;
    // A failed creation of the settings component replaces the text too.
    void ReplaceLastError(const std::string& text) { SetLastError(text); }
    bool IsProxyReady() const { return proxyReady_; }
    bool IsSignedIn() const { return signedIn_; }
    bool IsPlusAccount() const { return plusAccount_; }
    bool IsHigherTier1() const { return higherTier1_; }
    bool IsHigherTier2() const { return higherTier2_; }
    // Either of the two higher tiers: the "gold" and "platinum" accounts.
    bool IsGoldOrPlatinum() const { return higherTier1_ || higherTier2_; }
    std::int32_t GetUserId() const { return userId_; }
    std::string GetAccountId() const { return accountId_; }
    Handle GetNotifyWindow() const { return notifyWindow_; }

    // Library operations.
    bool CreateFolder(std::int32_t parentFolderId, const std::string& name);
    std::int32_t GetNewFolderId();
    bool RenameFolder(std::int32_t folderId, const std::string& name);
    bool DeleteFolder(std::int32_t folderId);
    bool SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId);
    bool DeleteFile(std::int32_t folderId, std::int32_t fileId);
    bool RenameFile(std::int32_t folderId, std::int32_t fileId, const std::string& name);
    std::shared_ptr<IFolder> FindFolder(std::int32_t folderId);
    bool UploadFile(std::int32_t folderId, const std::string& fileName,
                    const std::string& localPath, const std::string& context);
    bool DownloadFile(const std::string& nodeKey, const std::string& localPath,
                      const std::string& context);
    void SetNotifyWindow(Handle window);

    // Sharing and messaging operations.
    bool CreateAccessList(const std::string& name);
    bool RenameAccessList(std::int32_t accessListId, const std::string& name);
    bool DeleteAccessList(std::int32_t accessListId);
    bool AddUserToAccessList(std::int32_t accessListId, std::int32_t userId);
    bool RemoveUserFromAccessList(std::int32_t accessListId, std::int32_t userId);
    // Neither checks the sign-in nor catches: a ComError reaches the caller.
    std::shared_ptr<IAccessList> GetAccessList(std::int32_t accessListId);
    std::string FindUserById(const std::string& accountId);
    std::string FindUserByEmail(const std::string& email);
    std::string GetPublicDirectory();
    bool SendEmail(const std::string& sender, const std::string& recipient,
                   const std::string& body);
    bool EmailLink(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId,
                   std::int32_t senderId, const std::string& address, const std::string& text1,
                   const std::string& text2);
    bool SendUserMessage(std::int32_t userId, std::int32_t accessListId, const std::string& text);
    bool GetAppMessageFile(std::string& path);
    // Called from the message poller's thread.
    bool GetMessagesFile(std::string& path);

private:
    // Runs one operation: nothing when not signed in; a ComError appends the
    // proxy's error text and gives false (see GetLastError).
    template <class Fn> bool Run(Fn&& fn);
    void SetLastError(const std::string& text);
    void AppendLastError(const std::string& text);
    std::string ProxyErrorText(const ComError& error);
    void RefreshAccessLists();

    mutable std::mutex lastErrorMutex_;
    std::string lastError_;
    bool proxyReady_ = false;
    std::atomic<bool> signedIn_{false};
    bool plusAccount_ = false;
    bool higherTier1_ = false;
    bool higherTier2_ = false;
    std::int32_t userId_ = 0;
    std::string accountId_;
    Handle notifyWindow_ = 0;
    std::shared_ptr<IServiceProxy> proxy_;
    std::shared_ptr<IAccount> account_;
    std::shared_ptr<IFolder> library_;
};

} // namespace velmora
