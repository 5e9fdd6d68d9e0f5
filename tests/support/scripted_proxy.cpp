#include "scripted_proxy.h"

#include <cstddef>

namespace velmora::test {

std::shared_ptr<ScriptedFolder>
ScriptedFolder::addSubfolder(std::int32_t id, const std::string& name, std::int32_t accessListId) {
    auto folder = std::make_shared<ScriptedFolder>(id, name);
    folder->accessListId = accessListId;
    subfolders.push_back(folder);
    return folder;
}

void ScriptedFolder::addFile(std::int32_t id, const std::string& name) {
    files.push_back(std::make_shared<ScriptedFile>(id, name));
}

ComPtr ScriptedFolder::Subfolder(std::int32_t index) {
    return subfolders.at(static_cast<std::size_t>(index));
}

ComPtr ScriptedFolder::File(std::int32_t index) {
    if (failFileFrom >= 0 && index >= failFileFrom)
        throw ComError(E_FAIL, IFolder::iid);
    return files.at(static_cast<std::size_t>(index));
}

ComPtr ScriptedFolder::FindFolder(std::int32_t folderId) {
    for (auto& entry : subfolders) {
        auto folder = std::dynamic_pointer_cast<ScriptedFolder>(entry);
        if (!folder)
            continue;
        if (folder->id_ == folderId)
            return folder;
        if (auto found = folder->FindFolder(folderId))
            return found;
    }
    return nullptr;
}

VariantBool ScriptedFolder::NameInUse(const std::string& name) {
    for (auto& entry : files)
        if (auto file = std::dynamic_pointer_cast<ScriptedFile>(entry); file && file->name_ == name)
            return VARIANT_TRUE;
    for (auto& entry : subfolders)
        if (auto folder = std::dynamic_pointer_cast<ScriptedFolder>(entry);
            folder && folder->name_ == name)
            return VARIANT_TRUE;
    return VARIANT_FALSE;
}

void ScriptedFolder::SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) {
    if (auto folder = std::dynamic_pointer_cast<ScriptedFolder>(FindFolder(folderId)))
        folder->accessListId = accessListId;
}

void ScriptedFolder::RemoveFolder(std::int32_t folderId) {
    for (auto it = subfolders.begin(); it != subfolders.end(); ++it) {
        auto folder = std::dynamic_pointer_cast<ScriptedFolder>(*it);
        if (!folder)
            continue;
        if (folder->id_ == folderId) {
            subfolders.erase(it);
            return;
        }
        folder->RemoveFolder(folderId);
    }
}

std::shared_ptr<ScriptedFolder>
ScriptedProfile::shareFolder(std::int32_t id, const std::string& name, std::int32_t accessListId) {
    auto folder = std::make_shared<ScriptedFolder>(id, name);
    folder->accessListId = accessListId;
    folders.push_back(folder);
    return folder;
}

ComPtr ScriptedProfile::SharedFolder(std::int32_t index) {
    return folders.at(static_cast<std::size_t>(index));
}

std::shared_ptr<ScriptedProfile> ScriptedAccount::addUser(std::int32_t id,
                                                          const std::string& accountId,
                                                          const std::string& first,
                                                          const std::string& last) {
    auto user = std::make_shared<ScriptedProfile>(id, accountId, first, last);
    users.push_back(user);
    return user;
}

ComPtr ScriptedAccount::SharingUser(std::int32_t index) {
    return users.at(static_cast<std::size_t>(index));
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

namespace {

// A small linear congruential generator: the same names on every run.
class Names {
public:
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    std::string fileName() {
        static const char* const kExtensions[] = {".mp3", ".wma", ".jpg",  ".avi",
                                                  ".m4a", ".txt", ".mpeg", ".JPEG"};
        static const char* const kWords[] = {"Song", "clip", "Photo", "track", "Live", "demo"};
        return std::string(kWords[next() % 6]) + " " + std::to_string(next() % 100000) +
               kExtensions[next() % 8];
    }
    std::string folderName() {
        static const char* const kWords[] = {"Holiday", "music", "Videos", "archive", "Party"};
        return std::string(kWords[next() % 5]) + " " + std::to_string(next() % 10000);
    }

private:
    std::uint32_t state_ = 20251208u;
};

void FillFiles(ScriptedFolder& folder, int count, std::int32_t& nextId, Names& names) {
    for (int i = 0; i < count; ++i)
        folder.addFile(nextId++, names.fileName());
}

} // namespace

void BuildModel(ScriptedAccount& account, const ModelShape& shape) {
    Names names;
    std::int32_t nextId = 2;
    if (!account.root)
        account.root = std::make_shared<ScriptedFolder>(1, "My Media");
    for (int t = 0; t < shape.topFolders; ++t) {
        auto top = account.root->addSubfolder(nextId++, names.folderName(), t % 7 == 0 ? 5 : 0);
        FillFiles(*top, shape.filesPerFolder, nextId, names);
        for (int s = 0; s < shape.subfoldersEach; ++s) {
            auto sub = top->addSubfolder(nextId++, names.folderName());
            FillFiles(*sub, shape.filesPerFolder, nextId, names);
        }
    }
    for (int u = 0; u < shape.sharingUsers; ++u) {
        const std::string n = std::to_string(u);
        auto user = account.addUser(1000 + u, "member" + n, "First" + n, "Last" + n);
        auto folder = user->shareFolder(nextId++, names.folderName(), 9);
        FillFiles(*folder, shape.filesPerFolder, nextId, names);
    }
}

} // namespace velmora::test
