#pragma once

// An in-memory object model of the proxy component for the library tree:
// folders with files and subfolders, users who share folders, and a proxy
// that signs in to it. Entries are kept as plain objects, so a model can
// also hold an object that does not offer the expected interface, or a
// folder whose calls fail.

#include "component_factory.h"
#include "component_interfaces.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

class ModelFile : public IMediaFile {
public:
    ModelFile(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}
    std::int32_t FileId() override { return id_; }
    std::string Name() override { return name_; }

    std::int32_t id_;
    std::string name_;
};

class ModelFolder : public IFolder {
public:
    ModelFolder(std::int32_t id, std::string name) : id_(id), name_(std::move(name)) {}

    std::shared_ptr<ModelFolder> addFolder(std::int32_t id, const std::string& name,
                                           std::int32_t accessListId = 0);
    void addFile(std::int32_t id, const std::string& name);

    std::int32_t FileCount() override { return static_cast<std::int32_t>(files.size()); }
    std::int32_t SubfolderCount() override { return static_cast<std::int32_t>(folders.size()); }
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

    std::vector<ComPtr> files;
    std::vector<ComPtr> folders;
    std::int32_t id_;
    std::string name_;
    std::int32_t accessListId = 0;
    std::int32_t visible = 1;
    // File(index) from this index on throws ComError(E_FAIL); -1: never.
    std::int32_t failFileFrom = -1;
};

class ModelUser : public IUserProfile {
public:
    ModelUser(std::int32_t id, std::string accountId, std::string first, std::string last)
        : id_(id), accountId_(std::move(accountId)), first_(std::move(first)),
          last_(std::move(last)) {}

    std::shared_ptr<ModelFolder> shareFolder(std::int32_t id, const std::string& name,
                                             std::int32_t accessListId = 0);

    std::int32_t UserId() override { return id_; }
    std::string AccountId() override { return accountId_; }
    std::string FirstName() override { return first_; }
    std::string LastName() override { return last_; }
    std::int32_t SharedFolderCount() override { return static_cast<std::int32_t>(folders.size()); }
    ComPtr SharedFolder(std::int32_t index) override { return folders.at(index); }
    std::int32_t Listed() override { return listed; }
    VariantBool IsPlus() override { return VARIANT_FALSE; }
    std::string Email() override { return accountId_ + "@example.org"; }
    std::string RecordXml() override { return {}; }
    VariantBool IsHigherTier1() override { return VARIANT_FALSE; }
    VariantBool IsHigherTier2() override { return VARIANT_FALSE; }

    std::vector<ComPtr> folders;
    std::int32_t id_;
    std::string accountId_, first_, last_;
    std::int32_t listed = 1;
};

class ModelAccount : public IAccount {
public:
    std::shared_ptr<ModelUser> addUser(std::int32_t id, const std::string& accountId,
                                       const std::string& first, const std::string& last);

    std::int32_t SharingUserCount() override { return static_cast<std::int32_t>(users.size()); }
    std::int32_t AccessListCount() override { return 0; }
    ComPtr SharingUser(std::int32_t index) override { return users.at(index); }
    ComPtr AccessList(std::int32_t) override { return nullptr; }
    ComPtr Profile() override { return profile; }
    ComPtr LibraryRoot() override { return root; }
    ComPtr AccessListById(std::int32_t) override { return nullptr; }
    VariantBool AccessListNameExists(const std::string&) override { return VARIANT_FALSE; }
    void SetAccessLists(const std::string&) override {}
    std::int32_t NewFolderId() override { return 0; }
    ComPtr UserById(std::int32_t) override { return nullptr; }

    std::shared_ptr<ModelUser> profile = std::make_shared<ModelUser>(17, "ada", "Ada", "Lane");
    // Null: the account has no library root.
    std::shared_ptr<ModelFolder> root = std::make_shared<ModelFolder>(1, "My Media");
    std::vector<ComPtr> users;
};

// Signs in with any account id and the password "secret"; remembers the
// notify window it was given and counts the calls that walk nothing.
class ModelProxy : public IServiceProxy {
public:
    std::shared_ptr<ModelAccount> account = std::make_shared<ModelAccount>();
    std::uint64_t notifyWindow = 0;
    int notifyWindowCalls = 0;

    void Login(const std::string&, const std::string& password) override {
        signedIn_ = password == "secret";
    }
    std::string LastErrorText() override { return "model failure"; }
    ComPtr Account() override { return account; }
    void Logout() override { signedIn_ = false; }
    void CreateFolder(std::int32_t, const std::string&) override {}
    void DeleteFolder(std::int32_t) override {}
    void RenameFolder(std::int32_t, const std::string&) override {}
    void SetFolderAccessList(std::int32_t, std::int32_t) override {}
    void DeleteFile(std::int32_t, std::int32_t) override {}
    void RenameFile(std::int32_t, std::int32_t, const std::string&) override {}
    void CreateAccessList(const std::string&) override {}
    void RenameAccessList(std::int32_t, const std::string&) override {}
    void DeleteAccessList(std::int32_t) override {}
    void AddUserToAccessList(std::int32_t, std::int32_t) override {}
    void RemoveUserFromAccessList(std::int32_t, std::int32_t) override {}
    std::string LoginFailureText() override { return "Invalid account id or password"; }
    VariantBool SignedIn() override { return ToVariantBool(signedIn_); }
    void SetCurrentUserId(std::int32_t) override {}
    std::string PublicDirectoryFile() override { return {}; }
    std::string FindUserById(const std::string&) override { return {}; }
    std::string FindUserByEmail(const std::string&) override { return {}; }
    std::string AccessLists() override { return {}; }
    void SendEmail(const std::string&, const std::string&, const std::string&) override {}
    void SetMediaExtensions(const std::string&) override {}
    void DownloadFile(const std::string&, const std::string&, const std::string&) override {}
    void SetNotifyWindow(std::uint64_t window) override {
        notifyWindow = window;
        ++notifyWindowCalls;
    }
    void UploadFile(const std::string&, const std::string&, const std::string&) override {}
    std::string AppMessageFile() override { return {}; }
    void SendUserMessage(std::int32_t, std::int32_t, const std::string&) override {}
    std::string MessagesFile() override { return {}; }
    void EmailLink(std::int32_t, std::int32_t, std::int32_t, std::int32_t, const std::string&,
                   const std::string&, const std::string&) override {}

private:
    bool signedIn_ = false;
};

// Puts the proxy in place of the proxy component and gives the program a new
// AppContext signed in to it; the context ends with the guard.
class SignedInModel {
public:
    explicit SignedInModel(std::shared_ptr<ModelProxy> proxy);
    ~SignedInModel();
    SignedInModel(const SignedInModel&) = delete;
    SignedInModel& operator=(const SignedInModel&) = delete;

    bool signedIn() const { return signedIn_; }

private:
    ScopedComponent component_;
    bool signedIn_ = false;
};

// The benchmark account's shape: own folders in two levels plus one shared
// folder per sharing user, the same number of files in every folder, names
// in no particular order.
struct ModelShape {
    int topFolders = 99;
    int subfoldersEach = 49;
    int sharingUsers = 50;
    int filesPerFolder = 20;
};
void BuildModel(ModelAccount& account, const ModelShape& shape);

} // namespace velmora::test
