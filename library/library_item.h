#pragma once

// One item of the library tree, and everything that says what it is: its
// node key (node_key.h) and its image. An item deleted takes both with it.
// Items are not QObjects, so each one enters itself in the handle registry
// for its lifetime: a handle that travels in a text or a message resolves to
// nothing once the item is gone.

#include "handle_registry.h"

#include <QTreeWidgetItem>

#include <string>
#include <utility>

namespace velmora {

class LibraryItem : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;

    LibraryItem();
    ~LibraryItem() override;
    LibraryItem(const LibraryItem&) = delete;
    LibraryItem& operator=(const LibraryItem&) = delete;

    Handle handle() const { return handle_; }
    // What the item stands for on the server; empty until it is given one.
    const std::string& nodeKey() const { return nodeKey_; }
    void setNodeKey(std::string key) { nodeKey_ = std::move(key); }
    // The index in the view's image list; the same image serves as the
    // normal and the selected image.
    int image() const { return image_; }
    void setImage(int index, const QIcon& icon);

    // The item as a library item, or null for any other kind of item.
    static LibraryItem* from(QTreeWidgetItem* item);

private:
    Handle handle_;
    std::string nodeKey_;
    int image_ = -1;
};

} // namespace velmora
