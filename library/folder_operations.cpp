#include "folder_operations.h"

#include "app_context.h"
#include "left_view.h"
#include "message_boxes.h"
#include "modal_runner.h"
#include "service_client.h"
#include "stealth_dialog.h"
#include "string_table.h"
#include "wait_cursor.h"
#include "wire/node_key.h"

#include <utility>

namespace velmora {

namespace {

constexpr int kInvalidSelection = 109;
constexpr int kAskDelete = 122;
constexpr int kInvalidCharacter = 123;
constexpr int kFolderNotFound = 124;
constexpr int kNameTaken = 125;
constexpr const char* kNewFolderText = "new folder";

bool IsUserOrRoot(wire::NodeKind kind) {
    return kind == wire::NodeKind::Root || kind == wire::NodeKind::User;
}

} // namespace

FolderOperations::FolderOperations(CLeftView& view) : view_(view) {}

ServiceClient& FolderOperations::Client() const {
    return AppContext::Instance().GetServiceClient();
}

std::string FolderOperations::FolderKey(const std::string& key) const {
    return wire::FolderKeyOfRoot(key, Client().GetUserId());
}

bool FolderOperations::IsOwn(const std::string& key) const {
    return wire::SplitNodeKey(FolderKey(key)).owner == Client().GetUserId();
}

bool FolderOperations::LeftAlone(QTreeWidgetItem* item) const {
    if (busy_ && busy_(item))
        return true;
    const std::string key = CLeftView::GetNodeKey(item);
    QTreeWidgetItem* parent = item->parent();
    return parent && wire::ClassifyNodeKey(key) == wire::NodeKind::Folder &&
           FolderKey(key) == FolderKey(CLeftView::GetNodeKey(parent));
}

void FolderOperations::NewFolder() {
    QTreeWidgetItem* hit = view_.HitItem();
    if (!hit || LeftAlone(hit))
        return;
    std::string key = CLeftView::GetNodeKey(hit);
    const wire::NodeKind kind = wire::ClassifyNodeKey(key);
    if (kind == wire::NodeKind::User || kind == wire::NodeKind::None) {
        ShowMessage(kInvalidSelection);
        return;
    }
    key = FolderKey(key);
    wire::NodeKeyFields fields = wire::SplitNodeKey(key);
    const std::int32_t userId = Client().GetUserId();
    if (fields.owner != userId) {
        ShowMessage(kInvalidSelection);
        return;
    }
    QTreeWidgetItem* parent = hit;
    if (kind == wire::NodeKind::File) {
        // Beside the file: in the folder that holds it.
        parent = hit->parent();
        fields = wire::SplitNodeKey(FolderKey(CLeftView::GetNodeKey(parent)));
    }

    LibraryItem* item = view_.InsertItem(parent, kNewFolderText, kImageFolder);
    const Handle handle = item->handle();
    view_.scrollToItem(item);
    bool created = false;
    {
        WaitCursor wait;
        created = Client().CreateFolder(fields.folder, kNewFolderText);
    }
    if (!created) {
        ShowMessage(Client().GetLastError());
        if (LibraryItem* stillThere = view_.ItemFromHandle(handle))
            view_.DeleteItem(stillThere);
        return;
    }
    item = view_.ItemFromHandle(handle);
    if (!item)
        return;
    item->setNodeKey(wire::FolderNodeKey(userId, Client().GetNewFolderId()));
    // The user names the folder at once; that edit ends in a rename.
    view_.setFocus();
    view_.setCurrentItem(item);
    view_.editItem(item);
}

void FolderOperations::Rename() {
    QTreeWidgetItem* hit = view_.HitItem();
    if (hit && LeftAlone(hit))
        return;
    if (!hit) {
        ShowMessage(kInvalidSelection);
        return;
    }
    view_.setFocus();
    view_.editItem(hit);
}

bool FolderOperations::BeginLabelEdit(QTreeWidgetItem* item) {
    const std::string key = CLeftView::GetNodeKey(item);
    const wire::NodeKind kind = wire::ClassifyNodeKey(key);
    if (IsUserOrRoot(kind) || kind == wire::NodeKind::None || !IsOwn(key) || LeftAlone(item))
        return false;
    const Handle handle = CLeftView::HandleOfItem(item);
    labelBeforeEdit_ = CLeftView::ItemText(item);
    labelEditActive_ = true;
    editedItem_ = handle;
    CStealthDialog pause(&view_);
    RunModal(pause);
    // The pause handles whatever was queued; that may have taken the item.
    LibraryItem* edited = view_.ItemFromHandle(handle);
    if (!edited) {
        labelEditActive_ = false;
        editedItem_ = 0;
        return false;
    }
    view_.SetHitItem(edited);
    return true;
}

void FolderOperations::EndLabelEdit(const std::optional<QString>& newText) {
    labelEditActive_ = false;
    LibraryItem* item = view_.ItemFromHandle(std::exchange(editedItem_, 0));
    if (!item || !newText)
        return;
    const std::string text = newText->toStdString();
    if (text.empty() || text == labelBeforeEdit_)
        return;
    if (text.find('\'') != std::string::npos) {
        ShowMessage(kInvalidCharacter);
        return;
    }
    const std::string parentKey = FolderKey(CLeftView::GetNodeKey(item->parent()));
    std::shared_ptr<IFolder> parent = Client().FindFolder(wire::SplitNodeKey(parentKey).folder);
    if (!parent) {
        ShowMessage(kFolderNotFound);
        return;
    }
    if (IsTrue(parent->NameInUse(text))) {
        ShowMessage(kNameTaken);
        return;
    }
    const std::string key = CLeftView::GetNodeKey(item);
    const wire::NodeKeyFields fields = wire::SplitNodeKey(key);
    const Handle handle = item->handle();
    bool renamed = false;
    {
        WaitCursor wait;
        renamed = wire::ClassifyNodeKey(key) == wire::NodeKind::File
                      ? Client().RenameFile(fields.folder, fields.file, text)
                      : Client().RenameFolder(fields.folder, text);
    }
    if (!renamed) {
        // The library still has the old name; so does the label.
        ShowMessage(Client().GetLastError());
        return;
    }
    if ((item = view_.ItemFromHandle(handle)))
        item->setText(0, *newText);
}

void FolderOperations::Delete() {
    QTreeWidgetItem* hit = view_.HitItem();
    const std::string key = CLeftView::GetNodeKey(hit);
    const wire::NodeKind kind = wire::ClassifyNodeKey(key);
    if (!hit || IsUserOrRoot(kind) || kind == wire::NodeKind::None || !IsOwn(key)) {
        ShowMessage(kInvalidSelection);
        return;
    }
    if (LeftAlone(hit))
        return;
    const Handle handle = CLeftView::HandleOfItem(hit);
    if (!AskYesNo(LoadString(kAskDelete) + "'" + CLeftView::ItemText(hit) + "'?"))
        return;
    const wire::NodeKeyFields fields = wire::SplitNodeKey(key);
    bool deleted = false;
    {
        WaitCursor wait;
        deleted = kind == wire::NodeKind::File ? Client().DeleteFile(fields.folder, fields.file)
                                               : Client().DeleteFolder(fields.folder);
    }
    if (!deleted) {
        // Still in the library, so still in the tree.
        ShowMessage(Client().GetLastError());
        return;
    }
    if (LibraryItem* item = view_.ItemFromHandle(handle))
        view_.DeleteItem(item);
}

} // namespace velmora
