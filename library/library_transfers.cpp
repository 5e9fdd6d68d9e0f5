#include "library_transfers.h"

#include "app_context.h"
#include "cache_files.h"
#include "folder_browser.h"
#include "left_view.h"
#include "library_images.h"
#include "message_boxes.h"
#include "service_client.h"
#include "string_table.h"
#include "transfer_context.h"
#include "transfer_notices.h"
#include "window_messages.h"
#include "wire/media_types.h"
#include "wire/node_key.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <optional>

namespace velmora {

namespace {

ServiceClient& Client() {
    return AppContext::Instance().GetServiceClient();
}

void StartAnimation(CLeftView& view, QTreeWidgetItem* item, bool recurse, bool force) {
    view.StartItemAnimation(item, false, kImageTransferFirst, kImageTransferLast,
                            ItemAnimations::kInterval.count(), recurse, force);
}

// A transfer the proxy refused to start: nothing will report its end. Not
// signed in, nothing was tried and there is nothing new to tell.
void ShowStartFailure() {
    if (Client().IsSignedIn())
        ShowMessage(Client().GetLastError());
}

// The file name of a local path, whatever its length.
std::string NameOfPath(const std::string& localPath) {
    return QFileInfo(QString::fromStdString(localPath)).fileName().toStdString();
}

} // namespace

LibraryTransfers::LibraryTransfers(CLeftView& view) : view_(view) {}

void LibraryTransfers::StartDownload(LibraryItem& item, const std::string& localPath, bool noPlay) {
    TransferContext context;
    context.item = item.handle();
    context.name = CLeftView::ItemText(&item);
    context.localPath = localPath;
    context.image = item.image();
    if (noPlay)
        context.extra.push_back(TransferContext::kNoPlay);
    StartAnimation(view_, &item, true, false);
    if (!Client().DownloadFile(item.nodeKey(), localPath, context.Text())) {
        // Nothing will report the end of a download that never started.
        view_.StopItemAnimation(&item);
        view_.SetItemImage(&item, context.image);
        ShowStartFailure();
    }
}

void LibraryTransfers::UploadToRoot(const std::string& localPath) {
    LibraryItem* root = view_.RootItem();
    const std::shared_ptr<IFolder> library = Client().GetLibrary();
    if (!root || !library)
        return;
    Upload(*root, wire::FolderNodeKey(Client().GetUserId(), library->FolderId()), localPath);
}

void LibraryTransfers::Save(QTreeWidgetItem* hitItem) {
    LibraryItem* item = LibraryItem::from(hitItem);
    const std::string key = item ? item->nodeKey() : std::string();
    if (!item || wire::ClassifyNodeKey(key) != wire::NodeKind::File ||
        wire::SplitNodeKey(key).owner != Client().GetUserId()) {
        ShowMessage(109);
        return;
    }
    const Handle handle = item->handle();
    const std::string folder = CFolderBrowser::ChooseFolder(&view_);
    item = view_.ItemFromHandle(handle);
    if (folder.empty() || !item)
        return;
    // The item's name may come from anywhere; the file lands in the chosen
    // folder under a name the file system takes, or not at all.
    const std::string path = LocalFilePath(folder, CLeftView::ItemText(item));
    if (path.empty()) {
        ShowMessage(123);
        return;
    }
    const QString target = QString::fromStdString(path);
    const std::string text = QFileInfo(target).fileName().toStdString();
    if (QFileInfo::exists(target)) {
        if (!AskYesNo(LoadString(134) + "'" + text + "'.\n" +
                      "Would you like to replace the existing file?"))
            return;
        item = view_.ItemFromHandle(handle);
        if (!item)
            return;
    }
    StartDownload(*item, target.toStdString(), true);
}

void LibraryTransfers::Drop(QTreeWidgetItem* at, const QList<QUrl>& urls) {
    const std::int32_t userId = Client().GetUserId();
    LibraryItem* target = LibraryItem::from(at);
    std::string key = target ? wire::FolderKeyOfRoot(target->nodeKey(), userId) : std::string();
    if (target && wire::ClassifyNodeKey(key) == wire::NodeKind::File) {
        target = LibraryItem::from(target->parent());
        key = target ? wire::FolderKeyOfRoot(target->nodeKey(), userId) : std::string();
    }
    const bool valid = target && wire::ClassifyNodeKey(key) == wire::NodeKind::Folder &&
                       wire::SplitNodeKey(key).owner == userId && Client().IsSignedIn();
    if (!valid) {
        ShowMessage(115);
        return;
    }
    const Handle targetHandle = target->handle();
    for (const QUrl& url : urls) {
        const QString path = url.toLocalFile();
        if (path.isEmpty() || QFileInfo(path).isDir())
            continue;
        const std::string localPath = path.toStdString();
        if (!wire::IsMediaFileName(NameOfPath(localPath)))
            continue;
        // A message box shown by an earlier upload may have let the tree
        // change under the drop.
        LibraryItem* folder = view_.ItemFromHandle(targetHandle);
        if (!folder)
            return;
        Upload(*folder, key, localPath);
    }
    if (LibraryItem* folder = view_.ItemFromHandle(targetHandle)) {
        view_.setFocus(Qt::OtherFocusReason);
        view_.setCurrentItem(folder);
        folder->setExpanded(true);
    }
}

void LibraryTransfers::Upload(LibraryItem& folderItem, const std::string& folderKey,
                              const std::string& localPath) {
    const std::string name = NameOfPath(localPath);
    // One file per name in a folder: the service replaces a file of the same
    // name, so the tree drops that file's item, and only that one; an item of
    // a subfolder or a folder of the name is another entry altogether.
    std::optional<Replaced> replaced;
    for (int i = 0; i < folderItem.childCount(); ++i) {
        QTreeWidgetItem* child = folderItem.child(i);
        const std::string childKey = CLeftView::GetNodeKey(child);
        if (CLeftView::ItemText(child) == name &&
            wire::ClassifyNodeKey(childKey) == wire::NodeKind::File) {
            replaced = Replaced{childKey, view_.GetItemImage(child)};
            view_.DeleteItem(child);
            break;
        }
    }
    const int image = ImageForName(name);
    LibraryItem* item = view_.InsertItem(&folderItem, name, image);
    item->setNodeKey(folderKey);
    if (replaced)
        replaced_[item->handle()] = *replaced;
    StartAnimation(view_, item, false, true);
    TransferContext context{item->handle(), name, localPath, image, {}};
    const std::int32_t folderId = wire::SplitNodeKey(folderKey).folder;
    if (!Client().UploadFile(folderId, name, localPath, context.Text()))
        FailUpload(item->handle(), Client().IsSignedIn() ? Client().GetLastError() : std::string());
}

void LibraryTransfers::OnDownloadDone(const std::string& error, const std::string& contextText) {
    const std::optional<TransferContext> context = TransferContext::Parse(contextText);
    if (!context)
        return;
    LibraryItem* item = view_.ItemFromHandle(context->item);
    if (item) {
        view_.StartItemAnimation(item, true, kImageTransferFirst, kImageTransferLast,
                                 ItemAnimations::kInterval.count(), true, false);
        if (!context->IsNoPlay())
            item->setText(0, QString::fromStdString(context->name + kQueuedForPlay));
        view_.SetItemImage(item, context->image);
    }
    if (context->IsNoPlay())
        NotifySaveEnded(*context, error);
    if (!error.empty())
        ShowMessage(error);
    else if (item && !context->IsNoPlay())
        HandToPlayer(context->item, context->localPath);
    if (item)
        ResetImageLater(context->item, context->image);
}

void LibraryTransfers::OnUploadDone(const std::string& error, const std::string& contextText) {
    const std::optional<TransferContext> context = TransferContext::Parse(contextText);
    if (!context)
        return;
    if (!error.empty()) {
        NotifyUploadFailed(*context, error);
        FailUpload(context->item, error);
        return;
    }
    replaced_.erase(context->item);
    const std::int32_t fileId = context->NewFileId();
    if (LibraryItem* item = view_.ItemFromHandle(context->item)) {
        view_.StopItemAnimation(item);
        item->setText(0, QString::fromStdString(context->name));
        view_.SetItemImage(item, context->image);
        const wire::NodeKeyFields fields = wire::SplitNodeKey(item->nodeKey());
        item->setNodeKey(wire::FileNodeKey(fields.owner, fields.folder, fileId));
        ResetImageLater(context->item, context->image);
    }
    // The object model learns of the file even when its item is gone.
    try {
        if (const std::shared_ptr<IFolder> library = Client().GetLibrary())
            library->AddFile(fileId, context->name);
    } catch (const ComError& e) {
        ShowMessage(e.message());
    }
}

void LibraryTransfers::FailUpload(Handle handle, const std::string& error) {
    if (!error.empty())
        ShowMessage(error);
    LibraryItem* item = view_.ItemFromHandle(handle);
    const auto replaced = replaced_.find(handle);
    if (item) {
        view_.StopItemAnimation(item);
        // The service still holds the file the upload was to replace.
        if (replaced != replaced_.end()) {
            LibraryItem* back =
                view_.InsertItem(item->parent(), CLeftView::ItemText(item), replaced->second.image);
            back->setNodeKey(replaced->second.key);
        }
        view_.DeleteItem(item);
    }
    if (replaced != replaced_.end())
        replaced_.erase(replaced);
}

void LibraryTransfers::ResetImageLater(Handle handle, int image) {
    QTimer::singleShot(kImageResetMs, &view_, [view = &view_, handle, image] {
        if (LibraryItem* item = view->ItemFromHandle(handle))
            view->SetItemImage(item, image);
    });
}

void LibraryTransfers::HandToPlayer(Handle handle, const std::string& localPath) {
    if (QObject* player = view_.PlayerView())
        view_.Play().HandOver().Hand(HandleOf(player), HandleOf(&view_), handle, localPath);
}

} // namespace velmora
