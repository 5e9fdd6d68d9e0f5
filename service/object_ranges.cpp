#include "object_ranges.h"

namespace velmora {

ObjectRange<IMediaFile> Files(IFolder& folder) {
    return {folder.FileCount(), [&folder](std::int32_t i) { return folder.File(i); }};
}

ObjectRange<IFolder> Subfolders(IFolder& folder) {
    return {folder.SubfolderCount(), [&folder](std::int32_t i) { return folder.Subfolder(i); }};
}

ObjectRange<IUserProfile> SharingUsers(IAccount& account) {
    return {account.SharingUserCount(),
            [&account](std::int32_t i) { return account.SharingUser(i); }};
}

ObjectRange<IFolder> SharedFolders(IUserProfile& user) {
    return {user.SharedFolderCount(), [&user](std::int32_t i) { return user.SharedFolder(i); }};
}

} // namespace velmora
