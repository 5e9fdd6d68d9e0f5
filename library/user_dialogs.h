#pragma once

// The library view's dialogs of other users: one CUserDialog per user id,
// made on first need and kept (with its conversation) until the view goes.

#include "user_dialog.h"

#include <cstdint>
#include <map>
#include <memory>

class QWidget;

namespace velmora {

struct UserRecord;

class UserDialogs {
public:
    explicit UserDialogs(QWidget& owner) : owner_(owner) {}
    ~UserDialogs();
    UserDialogs(const UserDialogs&) = delete;
    UserDialogs& operator=(const UserDialogs&) = delete;

    // Finds or makes the dialog of the user. When its window is not open it
    // takes the record (when one is given), the next icon of the rotation and
    // a new top-level window made for the owner; with notifyOwner the owner
    // hears of its closing. In every case the dialog gets the focus.
    CUserDialog* Open(std::int32_t userId, const UserRecord* record, bool notifyOwner);
    // The dialog's window closed: it is marked so and ended; the object stays.
    void Closed(std::int32_t userId);

    CUserDialog* Find(std::int32_t userId) const;
    std::size_t Count() const { return dialogs_.size(); }

private:
    QWidget& owner_;
    std::map<std::int32_t, std::unique_ptr<CUserDialog>> dialogs_;
};

} // namespace velmora
