#pragma once

// A scripted proxy component for tests of the service client: it records every
// call, fails the calls it is told to with a given error text, and keeps a
// small in-memory account model.

#include "component_interfaces.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace velmora::test {

class ScriptedFolder : public IFolder {
public:
    ScriptedFolder(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}

    std::shared_ptr<ScriptedFolder> addSubfolder(std::int32_t id, const std::string& name);

    std::int32_t FileCount() override { return static_cast<std::int32_t>(files_.size()); }
    std::int32_t SubfolderCount() override { return static_cast<std::int32_t>(subfolders_.size()); }
    ComPtr Subfolder(std::int32_t index) override { return subfolders_.at(index); }
    ComPtr File(std::int32_t index) override;
    std::int32_t FolderId() override { return id_; }
    std::int32_t AccessListId() override { return accessListId_; }
    std::string Name() override { return name_; }
    ComPtr FindFolder(std::int32_t folderId) override;
    void AddFile(std::int32_t fileId, const std::string& name) override;
    VariantBool NameInUse(const std::string& name) override;
    std::int32_t Visible() override { return 1; }
    void SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) override;
    void RemoveFolder(std::int32_t folderId) override;

    std::vector<std::pair<std::int32_t, std::string>> files_;
    std::vector<std::shared_ptr<ScriptedFolder>> subfolders_;
    std::int32_t id_;
    std::string name_;
    std::int32_t accessListId_ = 0;
};

class ScriptedProfile : public IUserProfile {
public:
    std::int32_t UserId() override { return userId; }
    std::string AccountId() override { return accountId; }
    std::string FirstName() override { return "Ada"; }
    std::string LastName() override { return "Lane"; }
    std::int32_t SharedFolderCount() override { return 0; }
    ComPtr SharedFolder(std::int32_t) override { return nullptr; }
    std::int32_t Listed() override { return 1; }
    VariantBool IsPlus() override { return plus; }
    std::string Email() override { return accountId + "@example.org"; }
    std::string RecordXml() override { return {}; }
    VariantBool IsHigherTier1() override { return tier1; }
    VariantBool IsHigherTier2() override { return tier2; }

    std::int32_t userId = 17;
    std::string accountId = "ada";
    VariantBool plus = VARIANT_FALSE;
    VariantBool tier1 = VARIANT_FALSE;
    VariantBool tier2 = VARIANT_FALSE;
};

class ScriptedAccessList : public IAccessList {
public:
    ScriptedAccessList(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}
    std::int32_t Id() override { return id_; }
    std::string Name() override { return name_; }
    std::int32_t MemberCount() override { return 0; }
    ComPtr Member(std::int32_t) override { return nullptr; }
    VariantBool IsMember(std::int32_t) override { return VARIANT_FALSE; }

    std::int32_t id_;
    std::string name_;
};

class ScriptedAccount : public IAccount {
public:
    std::int32_t SharingUserCount() override { return 0; }
    std::int32_t AccessListCount() override { return static_cast<std::int32_t>(lists.size()); }
    ComPtr SharingUser(std::int32_t) override { return nullptr; }
    ComPtr AccessList(std::int32_t index) override { return lists.at(index); }
    ComPtr Profile() override { return profile; }
    ComPtr LibraryRoot() override { return root; }
    ComPtr AccessListById(std::int32_t id) override;
    VariantBool AccessListNameExists(const std::string& name) override;
    // The text is "id:name;id:name;..." in this scripted model.
    void SetAccessLists(const std::string& text) override;
    std::int32_t NewFolderId() override { return newFolderId; }
    ComPtr UserById(std::int32_t) override { return nullptr; }

    std::shared_ptr<ScriptedProfile> profile = std::make_shared<ScriptedProfile>();
    std::shared_ptr<ScriptedFolder> root = std::make_shared<ScriptedFolder>(1, "My Media");
    std::vector<std::shared_ptr<ScriptedAccessList>> lists;
    std::int32_t newFolderId = 0;
    bool failAccessListById = false;
};

class ScriptedProxy : public IServiceProxy {
public:
    // Makes the named method throw ComError(E_FAIL) with errorText as its
    // last error text.
    void failOn(const std::string& method, const std::string& errorText);
    std::vector<std::string> calls;
    std::shared_ptr<ScriptedAccount> account = std::make_shared<ScriptedAccount>();
    std::string password = "secret";
    std::string loginFailure = "Invalid account id or password";
    std::string accessListsText;
    std::string publicDirectoryPath, appMessagePath, messagesPath;
    std::string mediaExtensions;
    std::uint64_t notifyWindow = 0;
    bool accountOffersInterface = true;

    void Login(const std::string& accountId, const std::string& password) override;
    // Kept per thread, as the poller's thread and the UI thread fail apart.
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
    // Records the call and throws when it is scripted to fail.
    void call(const std::string& method, const std::string& args = {});
    std::mutex mutex_;
    std::map<std::string, std::string> failures_;
    bool signedIn_ = false;
};

} // namespace velmora::test
