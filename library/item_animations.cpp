#include "item_animations.h"

#include "left_view.h"
#include "window_messages.h"

#include <vector>

namespace velmora {

ItemAnimations::ItemAnimations(CLeftView& view) : view_(view) {
    timer_.setInterval(kInterval);
    connect(&timer_, &QTimer::timeout, this, &ItemAnimations::ShowNextFrames);
}

void ItemAnimations::Start(QTreeWidgetItem* item, bool stop, int firstImage, int lastImage,
                           bool recurse, bool force) {
    if (!item)
        return;
    if (recurse) {
        for (int i = 0; i < item->childCount(); ++i) {
            QTreeWidgetItem* child = item->child(i);
            if (CLeftView::GetNodeKey(child).find("~0") == std::string::npos)
                Start(child, stop, firstImage, lastImage, true, false);
        }
    }
    if (stop) {
        Stop(item);
        return;
    }
    if (CLeftView::GetNodeKey(item).find("~0") != std::string::npos && !force)
        return;
    Enter(CLeftView::HandleOfItem(item), firstImage, lastImage);
}

void ItemAnimations::Enter(Handle item, int firstImage, int lastImage) {
    if (!item)
        return;
    // An entry already there starts over.
    entries_[item] = Entry{firstImage, firstImage, lastImage};
    if (!timer_.isActive())
        timer_.start();
}

void ItemAnimations::Stop(QTreeWidgetItem* item) {
    entries_.erase(CLeftView::HandleOfItem(item));
    if (entries_.empty())
        timer_.stop();
}

bool ItemAnimations::IsBusy(QTreeWidgetItem* item) const {
    if (!item)
        return false;
    if (item->childCount() == 0)
        return IsAnimating(CLeftView::HandleOfItem(item));
    for (int i = 0; i < item->childCount(); ++i)
        if (IsBusy(item->child(i)))
            return true;
    return false;
}

void ItemAnimations::ShowNextFrames() {
    // The frames are sent after the walk: a handler may start or stop
    // animations, which must not change the map under the walk.
    std::vector<std::pair<Handle, int>> frames;
    frames.reserve(entries_.size());
    for (auto it = entries_.begin(); it != entries_.end();) {
        // An item deleted while it animated leaves its entry behind; it
        // goes here.
        if (!view_.ItemFromHandle(it->first)) {
            it = entries_.erase(it);
            continue;
        }
        Entry& entry = it->second;
        frames.emplace_back(it->first, entry.current);
        entry.current = entry.current >= entry.last ? entry.first : entry.current + 1;
        ++it;
    }
    if (entries_.empty())
        timer_.stop();
    for (const auto& [item, image] : frames)
        if (IsAnimating(item))
            SendMessage(&view_, UM_SET_ITEM_IMAGE, static_cast<WPARAM>(image),
                        static_cast<LPARAM>(item));
}

} // namespace velmora
