#include "library_item.h"

namespace velmora {

LibraryItem::LibraryItem()
    : QTreeWidgetItem(Type), handle_(HandleRegistry::instance().addItem(this)) {}

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
