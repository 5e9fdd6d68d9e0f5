#include "library_item.h"

namespace velmora {

LibraryItem::LibraryItem()
    : QTreeWidgetItem(Type), handle_(HandleRegistry::instance().addItem(this)) {
    // Whether a label may really be edited is decided when an edit begins,
    // by what the item stands for.
    setFlags(flags() | Qt::ItemIsEditable);
}

LibraryItem::~LibraryItem() {
    HandleRegistry::instance().removeItem(handle_);
}

void LibraryItem::setImage(int index, const QIcon& icon) {
    image_ = index;
    setIcon(0, icon);
}

LibraryItem* LibraryItem::from(QTreeWidgetItem* item) {
    return item && item->type() == Type ? static_cast<LibraryItem*>(item) : nullptr;
}

} // namespace velmora
