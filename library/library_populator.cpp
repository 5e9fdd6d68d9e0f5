#include "library_populator.h"

#include "left_view.h"
#include "library_images.h"
#include "object_ranges.h"
#include "service_client.h"
#include "wire/node_key.h"

namespace velmora {

LibraryPopulator::LibraryPopulator(CLeftView& view, ServiceClient& client)
    : view_(view), client_(client) {}

std::optional<std::string> LibraryPopulator::Populate(LibraryItem& root) {
    std::optional<std::string> failure;
    try {
        AddLibrary(root);
    } catch (const ComError& e) {
        // A broken object model must not take the program down: the items
        // read so far stay, and the caller tells the user the tree is
        // incomplete.
        failure = e.message();
    }
    root.setExpanded(true);
    client_.SetNotifyWindow(HandleOf(&view_));
    return failure;
}

void LibraryPopulator::AddLibrary(LibraryItem& root) {
    // Without a library root there are no own items, and no sharing users
    // either.
    const std::shared_ptr<IFolder> library = client_.GetLibrary();
    if (!library)
        return;
    const std::int32_t userId = client_.GetUserId();
    bool anySubfolder = false;
    for (const std::shared_ptr<IFolder>& subfolder : Subfolders(*library)) {
        AddFolder(userId, *subfolder, &root);
        anySubfolder = true;
    }
    // The root item stands for the library's root folder, so its files carry
    // that folder's id.
    const std::int32_t rootFolderId = library->FolderId();
    for (const std::shared_ptr<IMediaFile>& file : Files(*library)) {
        const std::string name = file->Name();
        LibraryItem* item = view_.InsertItem(&root, name, ImageForName(name));
        item->setNodeKey(wire::FileNodeKey(userId, rootFolderId, file->FileId()));
    }
    if (anySubfolder)
        root.setExpanded(true);
    AddSharingUsers(root);
    view_.SortChildren(&root);
}

void LibraryPopulator::AddSharingUsers(LibraryItem& root) {
    const std::shared_ptr<IAccount> account = client_.GetAccount();
    if (!account)
        return;
    for (const std::shared_ptr<IUserProfile>& user : SharingUsers(*account)) {
        // A user with nothing to show gets no item and leaves the image
        // rotation where it is.
        if (user->Listed() == 0)
            continue;
        const int image = NextUserNodeImage();
        const std::string text =
            user->AccountId() + "(" + user->FirstName() + " " + user->LastName() + ")";
        const std::int32_t sharingUserId = user->UserId();
        LibraryItem* userItem = view_.InsertItem(&root, text, image);
        userItem->setNodeKey(wire::UserNodeKey(sharingUserId));
        for (const std::shared_ptr<IFolder>& folder : SharedFolders(*user)) {
            if (folder->Visible() != 0)
                AddFolder(sharingUserId, *folder, userItem);
        }
    }
}

LibraryItem* LibraryPopulator::AddFolder(std::int32_t ownerId, IFolder& folder,
                                         QTreeWidgetItem* parent) {
    const std::string name = folder.Name();
    const int image = FolderImage(folder.AccessListId());
    const std::int32_t folderId = folder.FolderId();

    // The folder's subtree is built before it joins the tree, so the view
    // takes it in as one row instead of one change per item. The result is
    // the same tree: the folder's place among its siblings depends on its
    // text alone.
    LibraryItem* item = view_.NewItem(name, image);
    item->setNodeKey(wire::FolderNodeKey(ownerId, folderId));
    try {
        for (const std::shared_ptr<IMediaFile>& file : Files(folder)) {
            const std::string fileName = file->Name();
            LibraryItem* fileItem = view_.InsertItem(item, fileName, ImageForName(fileName));
            fileItem->setNodeKey(wire::FileNodeKey(ownerId, folderId, file->FileId()));
        }
        for (const std::shared_ptr<IFolder>& subfolder : Subfolders(folder))
            AddFolder(ownerId, *subfolder, item);
        view_.SortChildren(item);
    } catch (...) {
        // What was read so far stays in the tree, keys and all.
        view_.PlaceSorted(parent, item);
        throw;
    }
    view_.PlaceSorted(parent, item);
    return item;
}

} // namespace velmora
