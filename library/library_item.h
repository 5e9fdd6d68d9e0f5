#pragma once

// One item of the library tree. Items are not QObjects, so each one enters
// itself in the handle registry for its lifetime: a handle that travels in a
// text or a message resolves to nothing once the item is gone.

#include "handle_registry.h"

#include <QTreeWidgetItem>

namespace velmora {

class LibraryItem : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;

    LibraryItem();
    ~LibraryItem() override;
    LibraryItem(const LibraryItem&) = delete;
    LibraryItem& operator=(const LibraryItem&) = delete;

    Handle handle() const { return handle_; }
    // The index in the view's image list; the same image serves as the
    // normal and the selected image.
    int image() const { return image_; }
    void setImage(int index, const QIcon& icon);

    // The item as a library item, or null for any other kind of item.
    static LibraryItem* from(QTreeWidgetItem* item);

private:
    Handle handle_;
    int image_ = -1;
};

} // namespace velmora
