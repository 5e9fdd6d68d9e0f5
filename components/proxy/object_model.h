#pragma once

// The objects the proxy hands out: the signed-in account, user profiles,
// folders, files and access lists. The whole model is built from one
// document at sign-in; walking it makes no request. One mutex per model
// guards every object of it, so any thread may read while another changes it.

#include "component_interfaces.h"
#include "error_store.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::proxy {

// What every object of one model shares.
struct ModelShared {
    std::mutex mutex;
    std::shared_ptr<ErrorStore> errors;
    // Files that uploads of this session put into the library: file id to
    // the folder the service stored it in.
    std::unordered_map<std::int32_t, std::int32_t> uploadedInto;
    // The byte sizes of those files.
    std::unordered_map<std::int32_t, std::uint64_t> uploadedSizes;
};

// The document from the service could not be read.
class ModelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct UserData {
    std::int32_t id = 0;
    std::string accountId;
    std::string firstName;
    std::string lastName;
    std::string email;
    bool plus = false;
    bool gold = false;
    bool platinum = false;
    bool expired = false;
    bool listedPublicly = false;
    std::int32_t listed = 1;
};

class MediaFileObject : public IMediaFile {
public:
    MediaFileObject(std::shared_ptr<ModelShared> model, std::int32_t id, std::string name,
                    std::uint64_t size = 0)
        : model_(std::move(model)), id_(id), name_(std::move(name)), size_(size) {}

    std::int32_t FileId() override;
    std::string Name() override;

    // Model lock held by the caller.
    std::int32_t id() const { return id_; }
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    // Bytes, as the service counted them; 0 when not known.
    std::uint64_t size() const { return size_; }

private:
    std::shared_ptr<ModelShared> model_;
    std::int32_t id_;
    std::string name_;
    std::uint64_t size_;
};

class FolderObject : public IFolder, public std::enable_shared_from_this<FolderObject> {
public:
    FolderObject(std::shared_ptr<ModelShared> model, std::int32_t id, std::string name,
                 std::int32_t accessListId, std::int32_t visible)
        : model_(std::move(model)), id_(id), name_(std::move(name)), acl_(accessListId),
          visible_(visible) {}

    std::int32_t FileCount() override;
    std::int32_t SubfolderCount() override;
    ComPtr Subfolder(std::int32_t index) override;
    ComPtr File(std::int32_t index) override;
    std::int32_t FolderId() override;
    std::int32_t AccessListId() override;
    std::string Name() override;
    ComPtr FindFolder(std::int32_t folderId) override;
    void AddFile(std::int32_t fileId, const std::string& name) override;
    VariantBool NameInUse(const std::string& name) override;
    std::int32_t Visible() override;
    void SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) override;
    void RemoveFolder(std::int32_t folderId) override;

    // Model lock held by the caller for everything below.
    std::int32_t id() const { return id_; }
    const std::string& name() const { return name_; }
    std::int32_t accessListId() const { return acl_; }
    void setName(std::string name) { name_ = std::move(name); }
    void setAccessListId(std::int32_t acl) { acl_ = acl; }
    std::vector<std::shared_ptr<FolderObject>>& folders() { return folders_; }
    std::vector<std::shared_ptr<MediaFileObject>>& files() { return files_; }
    // This folder or the one with that id at any depth below it; null if none.
    std::shared_ptr<FolderObject> find(std::int32_t folderId);
    // Removes the folder with that id from below this one; false if absent.
    bool remove(std::int32_t folderId);
    // Adds a file, or renames the one that already has its id.
    void addOrRenameFile(std::int32_t fileId, std::string name);
    // Every folder at or below this one, depth first.
    template <class Fn> void forEach(Fn&& fn) {
        fn(*this);
        for (auto& folder : folders_)
            folder->forEach(fn);
    }

private:
    std::shared_ptr<ModelShared> model_;
    std::int32_t id_;
    std::string name_;
    std::int32_t acl_;
    std::int32_t visible_;
    std::vector<std::shared_ptr<FolderObject>> folders_;
    std::vector<std::shared_ptr<MediaFileObject>> files_;
};

class UserProfileObject : public IUserProfile {
public:
    UserProfileObject(std::shared_ptr<ModelShared> model, UserData data)
        : model_(std::move(model)), data_(std::move(data)) {}

    std::int32_t UserId() override;
    std::string AccountId() override;
    std::string FirstName() override;
    std::string LastName() override;
    std::int32_t SharedFolderCount() override;
    ComPtr SharedFolder(std::int32_t index) override;
    std::int32_t Listed() override;
    VariantBool IsPlus() override;
    std::string Email() override;
    std::string RecordXml() override;
    VariantBool IsHigherTier1() override;
    VariantBool IsHigherTier2() override;

    // Model lock held by the caller.
    const UserData& data() const { return data_; }
    std::vector<std::shared_ptr<FolderObject>>& sharedFolders() { return shared_; }

private:
    std::shared_ptr<ModelShared> model_;
    UserData data_;
    std::vector<std::shared_ptr<FolderObject>> shared_;
};

class AccessListObject : public IAccessList {
public:
    AccessListObject(std::shared_ptr<ModelShared> model, std::int32_t id, std::string name)
        : model_(std::move(model)), id_(id), name_(std::move(name)) {}

    std::int32_t Id() override;
    std::string Name() override;
    std::int32_t MemberCount() override;
    ComPtr Member(std::int32_t index) override;
    VariantBool IsMember(std::int32_t userId) override;

    // Model lock held by the caller.
    std::int32_t id() const { return id_; }
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    std::vector<std::shared_ptr<UserProfileObject>>& members() { return members_; }

private:
    std::shared_ptr<ModelShared> model_;
    std::int32_t id_;
    std::string name_;
    std::vector<std::shared_ptr<UserProfileObject>> members_;
};

class AccountObject : public IAccount {
public:
    explicit AccountObject(std::shared_ptr<ModelShared> model) : model_(std::move(model)) {}

    std::int32_t SharingUserCount() override;
    std::int32_t AccessListCount() override;
    ComPtr SharingUser(std::int32_t index) override;
    ComPtr AccessList(std::int32_t index) override;
    ComPtr Profile() override;
    ComPtr LibraryRoot() override;
    ComPtr AccessListById(std::int32_t accessListId) override;
    VariantBool AccessListNameExists(const std::string& name) override;
    void SetAccessLists(const std::string& xml) override;
    std::int32_t NewFolderId() override;
    ComPtr UserById(std::int32_t userId) override;

    // The model's changes after the service accepted them.
    void addFolder(std::int32_t parentId, std::int32_t id, const std::string& name,
                   std::int32_t accessListId);
    void renameFolder(std::int32_t id, const std::string& name);
    void setFolderAccessList(std::int32_t id, std::int32_t accessListId);
    void removeFolder(std::int32_t id);
    void renameFile(std::int32_t folderId, std::int32_t fileId, const std::string& name);
    void removeFile(std::int32_t folderId, std::int32_t fileId);
    void noteUpload(std::int32_t fileId, std::int32_t folderId, std::uint64_t size = 0);
    // The byte size of the owner's file in that folder; 0 when not known.
    std::uint64_t fileSize(std::int32_t owner, std::int32_t folderId, std::int32_t fileId);
    void addList(std::int32_t id, const std::string& name);
    void renameList(std::int32_t id, const std::string& name);
    void removeList(std::int32_t id);

    // The parsed account document: "<account>" with the profile, the library,
    // the sharing users and the access lists. Throws ModelError.
    static std::shared_ptr<AccountObject> Parse(const QByteArray& xml,
                                                std::shared_ptr<ErrorStore> errors);

    const std::shared_ptr<ModelShared>& model() const { return model_; }

private:
    std::shared_ptr<ModelShared> model_;
    std::int32_t newFolderId_ = 0;
    std::shared_ptr<UserProfileObject> profile_;
    std::shared_ptr<FolderObject> root_;
    std::vector<std::shared_ptr<UserProfileObject>> sharing_;
    std::vector<std::shared_ptr<AccessListObject>> lists_;
};

// Access lists read from an "<acls>" document (or the "acls" part of an
// account document). Throws ModelError.
std::vector<std::shared_ptr<AccessListObject>>
ParseAccessLists(const QByteArray& xml, const std::shared_ptr<ModelShared>& model);

} // namespace velmora::proxy
