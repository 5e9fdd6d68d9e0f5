#include "folder_sharing.h"

#include "acls_dialog.h"
#include "app_context.h"
#include "left_view.h"
#include "library_images.h"
#include "message_boxes.h"
#include "modal_runner.h"
#include "wait_cursor.h"
#include "wire/node_key.h"

namespace velmora {

void FolderSharing::Share() {
    LibraryItem* item = view_.HitItem();
    if (item && view_.IsItemBusy(item))
        return;
    const std::string key = item ? CLeftView::GetNodeKey(item) : std::string();
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    // Only a folder of the user's own library can be shared.
    const wire::NodeKeyFields fields = wire::SplitNodeKey(key);
    if (!item || wire::ClassifyNodeKey(key) != wire::NodeKind::Folder ||
        fields.owner != client.GetUserId()) {
        ShowMessage(109);
        return;
    }
    // A folder the model does not hold has no list to show, nor one to set.
    std::shared_ptr<IFolder> folder = client.FindFolder(fields.folder);
    if (!folder) {
        ShowMessage(109);
        return;
    }
    CAclsDialog dialog;
    dialog.mode = CAclsDialog::Sharing;
    dialog.viewWindow = &view_;
    try {
        dialog.listId = folder->AccessListId();
    } catch (const ComError& error) {
        ShowMessage(error.message());
        return;
    }
    // The item may go while the dialog runs (a refresh, a finished
    // transfer): it is found again by its handle afterwards.
    const Handle handle = CLeftView::HandleOfItem(item);
    if (RunModal(dialog) != QDialog::Accepted)
        return;
    bool stored = false;
    {
        WaitCursor wait;
        stored = client.SetFolderAccessList(fields.folder, dialog.listId);
    }
    if (!stored) {
        ShowMessage(client.GetLastError());
        return;
    }
    try {
        if (std::shared_ptr<IFolder> library = client.GetLibrary())
            library->SetFolderAccessList(fields.folder, dialog.listId);
    } catch (const ComError& error) {
        ShowMessage(error.message());
    }
    if (LibraryItem* shared = view_.ItemFromHandle(handle))
        view_.SetItemImage(shared, FolderImage(dialog.listId));
}

} // namespace velmora
