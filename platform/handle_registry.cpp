#include "handle_registry.h"

namespace velmora {

HandleRegistry& HandleRegistry::instance() {
    static HandleRegistry registry;
    return registry;
}

Handle HandleRegistry::handleOf(QObject* window) {
    if (!window)
        return 0;
    std::lock_guard lock(mutex_);
    auto it = windowHandles_.find(window);
    if (it != windowHandles_.end()) {
        // The same address may belong to a new object after the old one died.
        auto w = windows_.find(it->second);
        if (w != windows_.end() && w->second == window)
            return it->second;
        windows_.erase(it->second);
        windowHandles_.erase(it);
    }
    Handle h = next_++;
    windows_.emplace(h, QPointer<QObject>(window));
    windowHandles_.emplace(window, h);
    QObject::connect(window, &QObject::destroyed, [this, window] { forgetWindow(window); });
    return h;
}

void HandleRegistry::forgetWindow(QObject* window) {
    std::lock_guard lock(mutex_);
    auto it = windowHandles_.find(window);
    if (it == windowHandles_.end())
        return;
    windows_.erase(it->second);
    windowHandles_.erase(it);
}

QObject* HandleRegistry::window(Handle handle) const {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : it->second.data();
}

Handle HandleRegistry::addItem(void* item) {
    if (!item)
        return 0;
    std::lock_guard lock(mutex_);
    Handle h = next_++;
    items_.emplace(h, item);
    return h;
}

void HandleRegistry::removeItem(Handle handle) {
    std::lock_guard lock(mutex_);
    items_.erase(handle);
}

void* HandleRegistry::item(Handle handle) const {
    std::lock_guard lock(mutex_);
    auto it = items_.find(handle);
    return it == items_.end() ? nullptr : it->second;
}

} // namespace velmora
