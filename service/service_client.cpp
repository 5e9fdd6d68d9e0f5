#include "service_client.h"

#include "cache_files.h"
#include "component_factory.h"
#include "wire/media_types.h"
#include "wire/node_key.h"

namespace velmora {

namespace {

// Calling through a missing object is the component model's E_POINTER.
template <class T> T& Require(const std::shared_ptr<T>& object) {
    if (!object)
        throw ComError(E_POINTER, T::iid);
    return *object;
}

} // namespace

ServiceClient::ServiceClient() {
    try {
        proxy_ = CreateComponent<IServiceProxy>(CLSID_velmoraPrxy);
        Require(proxy_).SetMediaExtensions(wire::MediaExtensionList());
        proxyReady_ = true;
    } catch (const ComError& e) {
        SetLastError(e.message());
        proxyReady_ = false;
    }
}

ServiceClient::~ServiceClient() {
    Logout();
    library_.reset();
    account_.reset();
    proxy_.reset();
}

bool ServiceClient::Login(const std::string& accountId, const std::string& password) {
    if (!proxyReady_)
        return signedIn_;
    try {
        proxy_->Login(accountId, password);
        if (!IsTrue(proxy_->SignedIn())) {
            SetLastError(proxy_->LoginFailureText());
            return false;
        }
        // A new sign-in (after Refresh, possibly as another user) must not
        // read the profile of the account held from the one before.
        account_.reset();
        library_.reset();
        auto account = GetAccount();
        auto profile = QueryInterface<IUserProfile>(Require(account).Profile());
        plusAccount_ = IsTrue(Require(profile).IsPlus());
        userId_ = profile->UserId();
        higherTier1_ = IsTrue(profile->IsHigherTier1());
        higherTier2_ = IsTrue(profile->IsHigherTier2());
        accountId_ = profile->AccountId();
        proxy_->SetCurrentUserId(userId_);
        library_ = QueryInterface<IFolder>(account->LibraryRoot());
        signedIn_ = true;
    } catch (const ComError& e) {
        SetLastError(e.message());
        return false;
    }
    return signedIn_;
}

void ServiceClient::Logout() {
    if (!proxyReady_)
        return;
    try {
        proxy_->Logout();
        userId_ = 0;
        signedIn_ = false;
    } catch (const ComError& e) {
        SetLastError(e.message());
    }
}

std::shared_ptr<IAccount> ServiceClient::GetAccount() {
    if (proxyReady_ && !account_) {
        // A missing interface leaves the account null; any other failure of
        // the proxy is thrown by the call itself.
        account_ = QueryInterface<IAccount>(proxy_->Account());
    }
    return account_;
}

std::shared_ptr<IFolder> ServiceClient::GetLibrary() const {
    return library_;
}

std::string ServiceClient::GetLastError() const {
    std::lock_guard lock(lastErrorMutex_);
    return lastError_;
}

void ServiceClient::SetLastError(const std::string& text) {
    std::lock_guard lock(lastErrorMutex_);
    lastError_ = text;
}

void ServiceClient::AppendLastError(const std::string& text) {
    std::lock_guard lock(lastErrorMutex_);
    lastError_ += text;
}

std::string ServiceClient::ProxyErrorText(const ComError& error) {
    // When even the proxy's error text cannot be had, the error's own text
    // still tells the user something.
    try {
        return proxy_ ? proxy_->LastErrorText() : error.message();
    } catch (const ComError& e) {
        return e.message();
    }
}

template <class Fn> bool ServiceClient::Run(Fn&& fn) {
    if (!signedIn_)
        return false;
    try {
        fn();
        return true;
    } catch (const ComError& e) {
        AppendLastError(ProxyErrorText(e));
        return false;
    }
}

bool ServiceClient::CreateFolder(std::int32_t parentFolderId, const std::string& name) {
    return Run([&] { proxy_->CreateFolder(parentFolderId, name); });
}

std::int32_t ServiceClient::GetNewFolderId() {
    std::int32_t id = 0;
    Run([&] { id = Require(GetAccount()).NewFolderId(); });
    return id;
}

bool ServiceClient::RenameFolder(std::int32_t folderId, const std::string& name) {
    return Run([&] { proxy_->RenameFolder(folderId, name); });
}

bool ServiceClient::DeleteFolder(std::int32_t folderId) {
    return Run([&] {
        proxy_->DeleteFolder(folderId);
        Require(library_).RemoveFolder(folderId);
    });
}

bool ServiceClient::SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) {
    return Run([&] { proxy_->SetFolderAccessList(folderId, accessListId); });
}

bool ServiceClient::DeleteFile(std::int32_t folderId, std::int32_t fileId) {
    return Run([&] { proxy_->DeleteFile(folderId, fileId); });
}

bool ServiceClient::RenameFile(std::int32_t folderId, std::int32_t fileId,
                               const std::string& name) {
    return Run([&] { proxy_->RenameFile(folderId, fileId, name); });
}

std::shared_ptr<IFolder> ServiceClient::FindFolder(std::int32_t folderId) {
    std::shared_ptr<IFolder> folder;
    Run([&] { folder = QueryInterface<IFolder>(Require(library_).FindFolder(folderId)); });
    return folder;
}

bool ServiceClient::UploadFile(std::int32_t folderId, const std::string& fileName,
                               const std::string& localPath, const std::string& context) {
    // The name goes into the key as it stands, blanks and all.
    return Run([&] {
        std::string key = wire::MakeUploadKey(userId_, folderId, fileName);
        proxy_->UploadFile(key, localPath, context);
    });
}

bool ServiceClient::DownloadFile(const std::string& nodeKey, const std::string& localPath,
                                 const std::string& context) {
    return Run([&] { proxy_->DownloadFile(nodeKey, localPath, context); });
}

void ServiceClient::SetNotifyWindow(Handle window) {
    notifyWindow_ = window;
    if (!signedIn_)
        return;
    try {
        proxy_->SetNotifyWindow(window);
    } catch (const ComError&) {
        // The proxy's answer is not looked at.
    }
}

void ServiceClient::RefreshAccessLists() {
    std::string lists = proxy_->AccessLists();
    Require(account_).SetAccessLists(lists);
}

bool ServiceClient::CreateAccessList(const std::string& name) {
    return Run([&] {
        proxy_->CreateAccessList(name);
        RefreshAccessLists();
    });
}

bool ServiceClient::RenameAccessList(std::int32_t accessListId, const std::string& name) {
    return Run([&] {
        proxy_->RenameAccessList(accessListId, name);
        RefreshAccessLists();
    });
}

bool ServiceClient::DeleteAccessList(std::int32_t accessListId) {
    return Run([&] {
        proxy_->DeleteAccessList(accessListId);
        RefreshAccessLists();
    });
}

bool ServiceClient::AddUserToAccessList(std::int32_t accessListId, std::int32_t userId) {
    return Run([&] {
        proxy_->AddUserToAccessList(accessListId, userId);
        RefreshAccessLists();
    });
}

bool ServiceClient::RemoveUserFromAccessList(std::int32_t accessListId, std::int32_t userId) {
    return Run([&] {
        proxy_->RemoveUserFromAccessList(accessListId, userId);
        RefreshAccessLists();
    });
}

std::shared_ptr<IAccessList> ServiceClient::GetAccessList(std::int32_t accessListId) {
    return QueryInterface<IAccessList>(Require(GetAccount()).AccessListById(accessListId));
}

std::string ServiceClient::FindUserById(const std::string& accountId) {
    std::string reply;
    Run([&] { reply = proxy_->FindUserById(accountId); });
    return reply;
}

std::string ServiceClient::FindUserByEmail(const std::string& email) {
    std::string reply;
    Run([&] { reply = proxy_->FindUserByEmail(email); });
    return reply;
}

std::string ServiceClient::GetPublicDirectory() {
    std::string path;
    if (!Run([&] { path = proxy_->PublicDirectoryFile(); }))
        return {};
    return path.empty() ? std::string() : ReadWholeFile(path);
}

bool ServiceClient::SendEmail(const std::string& sender, const std::string& recipient,
                              const std::string& body) {
    return Run([&] { proxy_->SendEmail(sender, recipient, body); });
}

bool ServiceClient::EmailLink(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId,
                              std::int32_t senderId, const std::string& address,
                              const std::string& text1, const std::string& text2) {
    return Run(
        [&] { proxy_->EmailLink(ownerId, folderId, fileId, senderId, address, text1, text2); });
}

bool ServiceClient::SendUserMessage(std::int32_t userId, std::int32_t accessListId,
                                    const std::string& text) {
    return Run([&] { proxy_->SendUserMessage(userId, accessListId, text); });
}

bool ServiceClient::GetAppMessageFile(std::string& path) {
    path.clear();
    Run([&] { path = proxy_->AppMessageFile(); });
    return !path.empty();
}

bool ServiceClient::GetMessagesFile(std::string& path) {
    path.clear();
    Run([&] { path = proxy_->MessagesFile(); });
    return !path.empty();
}

} // namespace velmora
