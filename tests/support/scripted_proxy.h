#pragma once

// A scripted proxy component for tests of everything that reaches the
// service through the ServiceClient: it records every call, fails the calls
// it is told to with a given error text, and keeps a small in-memory account
// model (library folders and files, users who share folders, access lists).
// Entries of the model are kept as plain objects, so a model can also hold
// an object that does not offer the expected interface, or a folder whose
// calls fail.

#include "component_interfaces.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::test {

class ScriptedFile : public IMediaFile {
public:
    ScriptedFile(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}
    std::int32_t FileId() override { return id_; }
    std::string Name() override { return name_; }

    std::int32_t id_;
    std::string name_;
};

class ScriptedFolder : public IFolder {
public:
    ScriptedFolder(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}

    std::shared_ptr<ScriptedFolder> addSubfolder(std::int32_t id, const std::string& name,
                                                 std::int32_t accessListId = 0);
    void addFile(std::int32_t id, const std::string& name);

    std::int32_t FileCount() override { return static_cast<std::int32_t>(files.size()); }
    std::int32_t SubfolderCount() override { return static_cast<std::int32_t>(subfolders.size()); }
    ComPtr Subfolder(std::int32_t index) override;
    ComPtr File(std::int32_t index) override;
    std::int32_t FolderId() override { return id_; }
    std::int32_t AccessListId() override { return accessListId; }
    std::string Name() override { return name_; }
    ComPtr FindFolder(std::int32_t folderId) override;
    void AddFile(std::int32_t fileId, const std::string& name) override { addFile(fileId, name); }
    VariantBool NameInUse(const std::string& name) override;
    std::int32_t Visible() override { return visible; }
    void SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) override;
    void RemoveFolder(std::int32_t folderId) override;

    std::int32_t id_;
    std::string name_;
    std::vector<ComPtr> files;
    std::vector<ComPtr> subfolders;
    std::int32_t accessListId = 0;
    std::int32_t visible = 1;
    // File(index) from this index on throws ComError(E_FAIL); -1: never.
    std::int32_t failFileFrom = -1;
};

class ScriptedProfile : public IUserProfile {
public:
    ScriptedProfile() = default;
    ScriptedProfile(std::int32_t id, std::string account, std::string first, std::string last)
        : userId(id), accountId(std::move(account)), firstName(std::move(first)),
          lastName(std::move(last)) {}

    std::shared_ptr<ScriptedFolder> shareFolder(std::int32_t id, const std::string& name,
                                                std::int32_t accessListId = 0);

    std::int32_t UserId() override { return userId; }
    std::string AccountId() override { return accountId; }
    std::string FirstName() override { return firstName; }
    std::string LastName() override { return lastName; }
    std::int32_t SharedFolderCount() override { return static_cast<std::int32_t>(folders.size()); }
    ComPtr SharedFolder(std::int32_t index) override;
    std::int32_t Listed() override { return listed; }
    VariantBool IsPlus() override { return plus; }
    std::string Email() override { return accountId + "@example.org"; }
    std::string RecordXml() override { return {}; }
    VariantBool IsHigherTier1() override { return tier1; }
    VariantBool IsHigherTier2() override { return tier2; }

    std::int32_t userId = 17;
    std::string accountId = "ada";
    std::string firstName = "Ada";
    std::string lastName = "Lane";
    std::vector<ComPtr> folders;
    std::int32_t listed = 1;
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
    std::shared_ptr<ScriptedProfile> addUser(std::int32_t id, const std::string& accountId,
                                             const std::string& first, const std::string& last);

    std::int32_t SharingUserCount() override { return static_cast<std::int32_t>(users.size()); }
    std::int32_t AccessListCount() override { return static_cast<std::int32_t>(lists.size()); }
    ComPtr SharingUser(std::int32_t index) override;
    ComPtr AccessList(std::int32_t index) override { return lists.at(index); }
    ComPtr Profile() override { return profile; }
    ComPtr LibraryRoot() override { return root; }
    ComPtr AccessListById(std::int32_t id) override;
    VariantBool AccessListNameExists(const std::string& name) override;
    // The text is "id:name;id:name;..." in this scripted model.
    void SetAccessLists(const std::string& text) override;
    std::int32_t NewFolderId() override { return newFolderId; }
    ComPtr UserById(std::int32_t id) override {
        for (const ComPtr& user : users)
            if (auto profile = std::dynamic_pointer_cast<ScriptedProfile>(user);
                profile && profile->userId == id)
                return user;
        return nullptr;
    }

    std::shared_ptr<ScriptedProfile> profile = std::make_shared<ScriptedProfile>();
    // Null: the account has no library root.
    std::shared_ptr<ScriptedFolder> root = std::make_shared<ScriptedFolder>(1, "My Media");
    // The users who share folders with the account's user.
    std::vector<ComPtr> users;
    std::vector<std::shared_ptr<ScriptedAccessList>> lists;
    std::int32_t newFolderId = 0;
    bool failAccessListById = false;
};

// Signs in with any account id and the password in `password`.
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

// A larger account of the benchmark's shape: own folders in two levels plus
// one shared folder per sharing user, the same number of files in every
// folder, names in no particular order but the same on every run.
struct ModelShape {
    int topFolders = 99;
    int subfoldersEach = 49;
    int sharingUsers = 50;
    int filesPerFolder = 20;
};
void BuildModel(ScriptedAccount& account, const ModelShape& shape);

} // namespace velmora::test
