#pragma once

// The proxy component: the program's one way to the Velmora service. It signs
// in at the host and port of the settings component, builds the account's
// object model from one request, carries out every change on the service and
// in the model, and runs downloads and uploads on its own worker threads.

#include "component_interfaces.h"
#include "error_store.h"
#include "local_files.h"
#include "object_model.h"
#include "service_http.h"
#include "transfer_pool.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace velmora {

// Registers the velmoraPrxy class with the component factory.
void RegisterProxyComponent();

namespace proxy {

class ServiceProxy : public IServiceProxy {
public:
    explicit ServiceProxy(std::size_t maxTransfers = 4);
    // Cancels running transfers (their temporary files go) and drops waiting ones.
    ~ServiceProxy() override;

    // Timeouts of ordinary requests and of transfers.
    void setTimeouts(const Timeouts& requests, const Timeouts& transfers);
    // The folder of this instance's local files.
    QString localFolder() const { return files_.folder(); }
    // Transfers running or waiting.
    std::size_t pendingTransfers() const { return pool_->pending(); }
    // Whether transfers started from now on post UM_TRANSFER_PROGRESS to the
    // notify window (on by default).
    void setProgressReports(bool on) { progressReports_ = on; }

    void Login(const std::string& accountId, const std::string& password) override;
    std::string LastErrorText() override;
    ComPtr Account() override;
    void Logout() override;
    void CreateFolder(std::int32_t parentFolderId, const std::string& name) override;
    void DeleteFolder(std::int32_t folderId) override;
    void RenameFolder(std::int32_t folderId, const std::string& name) override;
    void SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) override;
    void DeleteFile(std::int32_t folderId, std::int32_t fileId) override;
    void RenameFile(std::int32_t folderId, std::int32_t fileId, const std::string& name) override;
    void CreateAccessList(const std::string& name) override;
    void RenameAccessList(std::int32_t accessListId, const std::string& name) override;
    void DeleteAccessList(std::int32_t accessListId) override;
    void AddUserToAccessList(std::int32_t accessListId, std::int32_t userId) override;
    void RemoveUserFromAccessList(std::int32_t accessListId, std::int32_t userId) override;
    std::string LoginFailureText() override;
    VariantBool SignedIn() override;
    void SetCurrentUserId(std::int32_t userId) override;
    std::string PublicDirectoryFile() override;
    std::string FindUserById(const std::string& accountId) override;
    std::string FindUserByEmail(const std::string& email) override;
    std::string AccessLists() override;
    void SendEmail(const std::string& sender, const std::string& recipient,
                   const std::string& body) override;
    void SetMediaExtensions(const std::string& extensions) override;
    void DownloadFile(const std::string& nodeKey, const std::string& localPath,
                      const std::string& context) override;
    void SetNotifyWindow(std::uint64_t window) override;
    void UploadFile(const std::string& uploadKey, const std::string& localPath,
                    const std::string& context) override;
    std::string AppMessageFile() override;
    void SendUserMessage(std::int32_t userId, std::int32_t accessListId,
                         const std::string& text) override;
    std::string MessagesFile() override;
    void EmailLink(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId,
                   std::int32_t senderId, const std::string& address, const std::string& text1,
                   const std::string& text2) override;

private:
    struct Session {
        Endpoint endpoint;
        std::int32_t userId = 0;
        bool signedIn = false;
    };

    // The session, or a ComError ("Not signed in") when there is none.
    Endpoint requireSession();
    std::shared_ptr<proxy::AccountObject> account() const;
    Timeouts requestTimeouts() const;
    // Runs a request; its failure becomes the last error text and a ComError.
    template <class Fn> auto guarded(Fn&& fn) -> decltype(fn());
    void failSignIn(std::string text);

    const std::shared_ptr<ErrorStore> errors_;
    mutable std::mutex mutex_;
    Session session_;
    std::string loginFailure_;
    std::shared_ptr<proxy::AccountObject> account_;
    Timeouts requestTimeouts_;
    Timeouts transferTimeouts_;
    std::shared_ptr<std::atomic<std::uint64_t>> notifyWindow_;
    std::atomic<unsigned> messageFileTurn_{0};
    std::atomic<bool> progressReports_{true};
    LocalFiles files_;
    // Last, so it goes first: no transfer outlives what it uses.
    std::unique_ptr<TransferPool> pool_;
};

} // namespace proxy
} // namespace velmora
