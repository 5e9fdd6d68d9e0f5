#pragma once

// The registry of animated tree items and the one timer that animates them
// all. An item animates while it has an entry: every tick shows its next
// frame, first to last and round again. The timer runs on the user-interface
// thread and only while some item animates, so a thousand transfers cost one
// timer, not a thousand threads.

#include "handle_registry.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <map>

class QTreeWidgetItem;

namespace velmora {

class CLeftView;

class ItemAnimations : public QObject {
public:
    static constexpr std::chrono::milliseconds kInterval{150};

    explicit ItemAnimations(CLeftView& view);

    // The tree's rules: with recurse, every file below the item is started
    // (or stopped) first; stop removes the item's entry; a folder key (and
    // a pending upload's, which is its folder's) animates only when forced.
    void Start(QTreeWidgetItem* item, bool stop, int firstImage, int lastImage, bool recurse,
               bool force);
    void Stop(QTreeWidgetItem* item);
    // An item with children is busy when an item below it is; one without
    // children when it animates.
    bool IsBusy(QTreeWidgetItem* item) const;

    bool IsAnimating(Handle item) const { return entries_.count(item) != 0; }
    std::size_t Count() const { return entries_.size(); }
    bool TimerRunning() const { return timer_.isActive(); }
    // One step of every animation: what the timer does on each tick.
    void ShowNextFrames();

private:
    struct Entry {
        int first;
        int current;
        int last;
    };

    void Enter(Handle item, int firstImage, int lastImage);

    CLeftView& view_;
    QTimer timer_;
    std::map<Handle, Entry> entries_;
};

} // namespace velmora
