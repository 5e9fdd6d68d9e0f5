#include "user_dialogs.h"

#include "library_images.h"
#include "user_record.h"

namespace velmora {

UserDialogs::~UserDialogs() = default;

CUserDialog* UserDialogs::Open(std::int32_t userId, const UserRecord* record, bool notifyOwner) {
    std::unique_ptr<CUserDialog>& dialog = dialogs_[userId];
    if (!dialog)
        dialog = std::make_unique<CUserDialog>();
    if (!dialog->created) {
        if (record)
            dialog->user = *record;
        dialog->user.id = userId;
        dialog->iconId = ImageResource(NextUserDialogImage());
        dialog->Create(&owner_);
        dialog->showNormal();
        dialog->created = true;
        if (notifyOwner)
            dialog->notifyWindow = &owner_;
    }
    dialog->TakeFocus();
    return dialog.get();
}

void UserDialogs::Closed(std::int32_t userId) {
    CUserDialog* dialog = Find(userId);
    if (!dialog)
        return;
    dialog->created = false;
    dialog->DestroyWindow();
}

CUserDialog* UserDialogs::Find(std::int32_t userId) const {
    auto it = dialogs_.find(userId);
    return it == dialogs_.end() ? nullptr : it->second.get();
}

} // namespace velmora
