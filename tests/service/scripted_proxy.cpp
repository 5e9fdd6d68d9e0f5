#include "scripted_proxy.h"

namespace velmora::test {

std::shared_ptr<ScriptedFolder> ScriptedFolder::addSubfolder(std::int32_t id,
                                                             const std::string& name) {
    auto folder = std::make_shared<ScriptedFolder>(id, name);
    subfolders_.push_back(folder);
    return folder;
}

namespace {
class ScriptedFile : public IMediaFile {
public:
    ScriptedFile(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}
    std::int32_t FileId() override { return id_; }
    std::string Name() override { return name_; }
    std::int32_t id_;
    std::string name_;
};
} // namespace

ComPtr ScriptedFolder::File(std::int32_t index) {
    const auto& f = files_.at(index);
    return std::make_shared<ScriptedFile>(f.first, f.second);
}

ComPtr ScriptedFolder::FindFolder(std::int32_t folderId) {
    for (auto& sub : subfolders_) {
        if (sub->id_ == folderId)
            return sub;
        if (auto found = sub->FindFolder(folderId))
            return found;
    }
    return nullptr;
}

void ScriptedFolder::AddFile(std::int32_t fileId, const std::string& name) {
    files_.emplace_back(fileId, name);
}

VariantBool ScriptedFolder::NameInUse(const std::string& name) {
    for (auto& f : files_)
        if (f.second == name)
            return VARIANT_TRUE;
    for (auto& s : subfolders_)
        if (s->name_ == name)
            return VARIANT_TRUE;
    return VARIANT_FALSE;
}

void ScriptedFolder::SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) {
    if (auto f = std::dynamic_pointer_cast<ScriptedFolder>(FindFolder(folderId)))
        f->accessListId_ = accessListId;
}

void ScriptedFolder::RemoveFolder(std::int32_t folderId) {
    for (auto it = subfolders_.begin(); it != subfolders_.end(); ++it) {
        if ((*it)->id_ == folderId) {
            subfolders_.erase(it);
            return;
        }
        (*it)->RemoveFolder(folderId);
    }
}

ComPtr ScriptedAccount::AccessListById(std::int32_t id) {
    if (failAccessListById)
        throw ComError(E_FAIL, IAccount::iid);
    for (auto& l : lists)
        if (l->id_ == id)
            return l;
    return nullptr;
}

VariantBool ScriptedAccount::AccessListNameExists(const std::string& name) {
    for (auto& l : lists)
        if (l->name_ == name)
            return VARIANT_TRUE;
    return VARIANT_FALSE;
}

void ScriptedAccount::SetAccessLists(const std::string& text) {
    lists.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        std::string entry = text.substr(start, end - start);
        std::size_t colon = entry.find(':');
        if (colon != std::string::npos)
            lists.push_back(std::make_shared<ScriptedAccessList>(std::stoi(entry.substr(0, colon)),
                                                                 entry.substr(colon + 1)));
        start = end + 1;
    }
}

namespace {
thread_local std::string lastErrorOfThread;
}

std::string ScriptedProxy::LastErrorText() {
    return lastErrorOfThread;
}

void ScriptedProxy::failOn(const std::string& method, const std::string& errorText) {
    std::lock_guard lock(mutex_);
    failures_[method] = errorText;
}

void ScriptedProxy::call(const std::string& method, const std::string& args) {
    std::lock_guard lock(mutex_);
    calls.push_back(method + "(" + args + ")");
    auto it = failures_.find(method);
    if (it != failures_.end()) {
        lastErrorOfThread = it->second;
        throw ComError(E_FAIL, IServiceProxy::iid);
    }
}

void ScriptedProxy::Login(const std::string& accountId, const std::string& pw) {
    call("Login", accountId);
    signedIn_ = pw == password;
}

ComPtr ScriptedProxy::Account() {
    call("Account");
    if (!accountOffersInterface)
        return std::make_shared<ScriptedProfile>();
    return account;
}

void ScriptedProxy::Logout() {
    call("Logout");
    signedIn_ = false;
}

void ScriptedProxy::CreateFolder(std::int32_t parentFolderId, const std::string& name) {
    call("CreateFolder", std::to_string(parentFolderId) + "," + name);
}

void ScriptedProxy::DeleteFolder(std::int32_t folderId) {
    call("DeleteFolder", std::to_string(folderId));
}

void ScriptedProxy::RenameFolder(std::int32_t folderId, const std::string& name) {
    call("RenameFolder", std::to_string(folderId) + "," + name);
}

void ScriptedProxy::SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) {
    call("SetFolderAccessList", std::to_string(folderId) + "," + std::to_string(accessListId));
}

void ScriptedProxy::DeleteFile(std::int32_t folderId, std::int32_t fileId) {
    call("DeleteFile", std::to_string(folderId) + "," + std::to_string(fileId));
}

void ScriptedProxy::RenameFile(std::int32_t folderId, std::int32_t fileId,
                               const std::string& name) {
    call("RenameFile", std::to_string(folderId) + "," + std::to_string(fileId) + "," + name);
}

void ScriptedProxy::CreateAccessList(const std::string& name) {
    call("CreateAccessList", name);
}

void ScriptedProxy::RenameAccessList(std::int32_t accessListId, const std::string& name) {
    call("RenameAccessList", std::to_string(accessListId) + "," + name);
}

void ScriptedProxy::DeleteAccessList(std::int32_t accessListId) {
    call("DeleteAccessList", std::to_string(accessListId));
}

void ScriptedProxy::AddUserToAccessList(std::int32_t accessListId, std::int32_t userId) {
    call("AddUserToAccessList", std::to_string(accessListId) + "," + std::to_string(userId));
}

void ScriptedProxy::RemoveUserFromAccessList(std::int32_t accessListId, std::int32_t userId) {
    call("RemoveUserFromAccessList", std::to_string(accessListId) + "," + std::to_string(userId));
}

std::string ScriptedProxy::LoginFailureText() {
    call("LoginFailureText");
    return loginFailure;
}

VariantBool ScriptedProxy::SignedIn() {
    call("SignedIn");
    return ToVariantBool(signedIn_);
}

void ScriptedProxy::SetCurrentUserId(std::int32_t userId) {
    call("SetCurrentUserId", std::to_string(userId));
}

std::string ScriptedProxy::PublicDirectoryFile() {
    call("PublicDirectoryFile");
    return publicDirectoryPath;
}

std::string ScriptedProxy::FindUserById(const std::string& accountId) {
    call("FindUserById", accountId);
    return accountId == "ada" ? "<user id=\"17\" accountid=\"ada\"/>" : "";
}

std::string ScriptedProxy::FindUserByEmail(const std::string& email) {
    call("FindUserByEmail", email);
    return {};
}

std::string ScriptedProxy::AccessLists() {
    call("AccessLists");
    return accessListsText;
}

void ScriptedProxy::SendEmail(const std::string& sender, const std::string& recipient,
                              const std::string& body) {
    call("SendEmail", sender + "," + recipient + "," + body);
}

void ScriptedProxy::SetMediaExtensions(const std::string& extensions) {
    call("SetMediaExtensions");
    mediaExtensions = extensions;
}

void ScriptedProxy::DownloadFile(const std::string& nodeKey, const std::string& localPath,
                                 const std::string& context) {
    call("DownloadFile", nodeKey + "," + localPath + "," + context);
}

void ScriptedProxy::SetNotifyWindow(std::uint64_t window) {
    call("SetNotifyWindow", std::to_string(window));
    notifyWindow = window;
}

void ScriptedProxy::UploadFile(const std::string& uploadKey, const std::string& localPath,
                               const std::string& context) {
    call("UploadFile", uploadKey + "," + localPath + "," + context);
}

std::string ScriptedProxy::AppMessageFile() {
    call("AppMessageFile");
    return appMessagePath;
}

void ScriptedProxy::SendUserMessage(std::int32_t userId, std::int32_t accessListId,
                                    const std::string& text) {
    call("SendUserMessage",
         std::to_string(userId) + "," + std::to_string(accessListId) + "," + text);
}

std::string ScriptedProxy::MessagesFile() {
    call("MessagesFile");
    return messagesPath;
}

void ScriptedProxy::EmailLink(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId,
                              std::int32_t senderId, const std::string& address,
                              const std::string& text1, const std::string& text2) {
    call("EmailLink", std::to_string(ownerId) + "," + std::to_string(folderId) + "," +
                          std::to_string(fileId) + "," + std::to_string(senderId) + "," + address +
                          "," + text1 + "," + text2);
}

} // namespace velmora::test
