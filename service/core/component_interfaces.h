#pragma once

// The interfaces of the two outside components and of the objects the proxy
// hands out. Each method is named after the operation that uses it; a failed
// call throws ComError carrying the interface's id. Texts are 8-bit, numbers
// 32-bit signed, flags VARIANT_BOOL (true only when exactly -1).

#include "com.h"

#include <cstdint>
#include <string>

namespace velmora {

// {9DCC7EF5-9CB3-4C2F-AE85-C0450FF04CBD}
constexpr Guid CLSID_velmoraPrxy{
    0x9DCC7EF5, 0x9CB3, 0x4C2F, {0xAE, 0x85, 0xC0, 0x45, 0x0F, 0xF0, 0x4C, 0xBD}};
// {6DFAF6F3-BFE7-4028-ADD4-98D078747FB1}
constexpr Guid CLSID_SettingsStore{
    0x6DFAF6F3, 0xBFE7, 0x4028, {0xAD, 0xD4, 0x98, 0xD0, 0x78, 0x74, 0x7F, 0xB1}};

class IServiceProxy : public virtual IComObject {
public:
    // {584A5AFD-C2EF-479A-8BA4-CE77D49BBD21}
    static constexpr Guid iid{
        0x584A5AFD, 0xC2EF, 0x479A, {0x8B, 0xA4, 0xCE, 0x77, 0xD4, 0x9B, 0xBD, 0x21}};

    virtual void Login(const std::string& accountId, const std::string& password) = 0; // 10
    virtual std::string LastErrorText() = 0;                                           // 11
    virtual ComPtr Account() = 0;                                                      // 12
    virtual void Logout() = 0;                                                         // 15
    virtual void CreateFolder(std::int32_t parentFolderId, const std::string& name) = 0; // 18
    virtual void DeleteFolder(std::int32_t folderId) = 0;                                // 19
    virtual void RenameFolder(std::int32_t folderId, const std::string& name) = 0;       // 20
    virtual void SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) = 0; // 21
    virtual void DeleteFile(std::int32_t folderId, std::int32_t fileId) = 0;                // 22
    virtual void RenameFile(std::int32_t folderId, std::int32_t fileId,
                            const std::string& name) = 0;                                 // 24
    virtual void CreateAccessList(const std::string& name) = 0;                          // 26
    virtual void RenameAccessList(std::int32_t accessListId, const std::string& name) = 0; // 27
    virtual void DeleteAccessList(std::int32_t accessListId) = 0;                          // 28
    virtual void AddUserToAccessList(std::int32_t accessListId, std::int32_t userId) = 0;   // 29
    virtual void RemoveUserFromAccessList(std::int32_t accessListId, std::int32_t userId) = 0; // 30
    virtual std::string LoginFailureText() = 0;                                            // 39
    virtual VariantBool SignedIn() = 0;                                                    // 40
    virtual void SetCurrentUserId(std::int32_t userId) = 0;                                // 42
    virtual std::string PublicDirectoryFile() = 0;                                         // 57
    virtual std::string FindUserById(const std::string& accountId) = 0;                    // 58
    virtual std::string FindUserByEmail(const std::string& email) = 0;                     // 59
    virtual std::string AccessLists() = 0;                                                 // 60
    virtual void SendEmail(const std::string& sender, const std::string& recipient,
                           const std::string& body) = 0;                                   // 61
    virtual void SetMediaExtensions(const std::string& extensions) = 0;                    // 67
    virtual void DownloadFile(const std::string& nodeKey, const std::string& localPath,
                              const std::string& context) = 0;                             // 68
    // The window handle (see HandleRegistry) that receives the transfer ends.
    virtual void SetNotifyWindow(std::uint64_t window) = 0;                                // 70
    virtual void UploadFile(const std::string& uploadKey, const std::string& localPath,
                            const std::string& context) = 0;                               // 71
    virtual std::string AppMessageFile() = 0;                                              // 72
    virtual void SendUserMessage(std::int32_t userId, std::int32_t accessListId,
                                 const std::string& text) = 0;                             // 73
    virtual std::string MessagesFile() = 0;                                                // 74
    virtual void EmailLink(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId,
                           std::int32_t senderId, const std::string& address,
                           const std::string& text1, const std::string& text2) = 0;        // 75
};

class ISettingsStore : public virtual IComObject {
public:
    // {E6FAC461-C609-44B7-9F94-7725628AC3C8}
    static constexpr Guid iid{
        0xE6FAC461, 0xC609, 0x44B7, {0x9F, 0x94, 0x77, 0x25, 0x62, 0x8A, 0xC3, 0xC8}};

    virtual std::string Host() = 0;                      // 7
    virtual void SetHost(const std::string& host) = 0;   // 8
    virtual std::int32_t Port() = 0;                     // 9
    virtual void SetPort(std::int32_t port) = 0;         // 10
    virtual std::string FileLinkBase() = 0;              // 11
    virtual std::string FolderLinkBase() = 0;            // 12
    virtual VariantBool CleanUpOnExit() = 0;             // 13
    virtual void SetCleanUpOnExit(VariantBool flag) = 0; // 14
    virtual std::string GetValue(const std::string& name) = 0;                          // 15
    virtual void SetValue(const std::string& name, const std::string& value) = 0;       // 16
    virtual std::string PlayerPageBase() = 0;                                           // 17
};

class IAccount : public virtual IComObject {
public:
    // {F9E33A9B-F6BF-4DAC-9B53-30DA2B92D42F}
    static constexpr Guid iid{
        0xF9E33A9B, 0xF6BF, 0x4DAC, {0x9B, 0x53, 0x30, 0xDA, 0x2B, 0x92, 0xD4, 0x2F}};

    virtual std::int32_t SharingUserCount() = 0;                           // 8
    virtual std::int32_t AccessListCount() = 0;                            // 9
    virtual ComPtr SharingUser(std::int32_t index) = 0;                    // 10 -> IUserProfile
    virtual ComPtr AccessList(std::int32_t index) = 0;                     // 11 -> IAccessList
    virtual ComPtr Profile() = 0;                                          // 12 -> IUserProfile
    virtual ComPtr LibraryRoot() = 0;                                      // 13 -> IFolder
    virtual ComPtr AccessListById(std::int32_t accessListId) = 0;          // 15 -> IAccessList
    virtual VariantBool AccessListNameExists(const std::string& name) = 0; // 16
    virtual void SetAccessLists(const std::string& xml) = 0;               // 17
    virtual std::int32_t NewFolderId() = 0;                                // 20
    virtual ComPtr UserById(std::int32_t userId) = 0;                      // 22 -> IUserProfile
};

class IUserProfile : public virtual IComObject {
public:
    // {47163A07-B7A0-4607-9E48-BCB1F8BCBF3C}
    static constexpr Guid iid{
        0x47163A07, 0xB7A0, 0x4607, {0x9E, 0x48, 0xBC, 0xB1, 0xF8, 0xBC, 0xBF, 0x3C}};

    virtual std::int32_t UserId() = 0;                     // 7
    virtual std::string AccountId() = 0;                   // 9
    virtual std::string FirstName() = 0;                   // 13
    virtual std::string LastName() = 0;                    // 15
    virtual std::int32_t SharedFolderCount() = 0;          // 17
    virtual ComPtr SharedFolder(std::int32_t index) = 0;   // 18 -> IFolder
    virtual std::int32_t Listed() = 0;                     // 20
    virtual VariantBool IsPlus() = 0;                      // 21
    virtual std::string Email() = 0;                       // 22
    virtual std::string RecordXml() = 0;                   // 24
    virtual VariantBool IsHigherTier1() = 0;               // 27
    virtual VariantBool IsHigherTier2() = 0;               // 28
};

class IFolder : public virtual IComObject {
public:
    // {38A61AC8-5EEA-4F9B-B576-32B926280EFD}
    static constexpr Guid iid{
        0x38A61AC8, 0x5EEA, 0x4F9B, {0xB5, 0x76, 0x32, 0xB9, 0x26, 0x28, 0x0E, 0xFD}};

    virtual std::int32_t FileCount() = 0;                                   // 7
    virtual std::int32_t SubfolderCount() = 0;                              // 8
    virtual ComPtr Subfolder(std::int32_t index) = 0;                       // 9 -> IFolder
    virtual ComPtr File(std::int32_t index) = 0;                            // 10 -> IMediaFile
    virtual std::int32_t FolderId() = 0;                                    // 11
    virtual std::int32_t AccessListId() = 0;                                // 13
    virtual std::string Name() = 0;                                         // 19
    virtual ComPtr FindFolder(std::int32_t folderId) = 0;                   // 24 -> IFolder
    virtual void AddFile(std::int32_t fileId, const std::string& name) = 0; // 27
    virtual VariantBool NameInUse(const std::string& name) = 0;             // 28
    virtual std::int32_t Visible() = 0;                                     // 31
    virtual void SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) = 0; // 33
    virtual void RemoveFolder(std::int32_t folderId) = 0;                                   // 35
};

class IMediaFile : public virtual IComObject {
public:
    // {720FB4CB-7FE4-48F8-BF13-36D93DC5ECFE}
    static constexpr Guid iid{
        0x720FB4CB, 0x7FE4, 0x48F8, {0xBF, 0x13, 0x36, 0xD9, 0x3D, 0xC5, 0xEC, 0xFE}};

    virtual std::int32_t FileId() = 0; // 7
    virtual std::string Name() = 0;    // 9
};

class IAccessList : public virtual IComObject {
public:
    // {265B2F3B-D268-43D9-8EE3-8F103D588C5B}
    static constexpr Guid iid{
        0x265B2F3B, 0xD268, 0x43D9, {0x8E, 0xE3, 0x8F, 0x10, 0x3D, 0x58, 0x8C, 0x5B}};

    virtual std::int32_t Id() = 0;                                // 7
    virtual std::string Name() = 0;                               // 9
    virtual std::int32_t MemberCount() = 0;                       // 11
    virtual ComPtr Member(std::int32_t index) = 0;                // 12 -> IUserProfile
    virtual VariantBool IsMember(std::int32_t userId) = 0;        // 15
};

} // namespace velmora
