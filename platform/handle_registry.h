#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace velmora {

// A window or tree item handle: a small integer that stands for a live
// object in texts and messages. 0 is no handle. Handles are never reused, so a
// handle to something gone never resolves to something else.
using Handle = std::uint64_t;

// Registry of live windows and items. Windows are QObjects and drop out by
// themselves when destroyed; items (which are not QObjects) must be removed
// by their owner before they die. Safe to use from any thread; resolving
// gives a pointer that is only safe to use on the object's own thread.
class HandleRegistry {
public:
    static HandleRegistry& instance();

    // The handle of a window, made on first use and the same afterwards.
    Handle handleOf(QObject* window);
    // The live window of a handle, or null.
    QObject* window(Handle handle) const;

    // Items: add gives a new handle, remove forgets it.
    Handle addItem(void* item);
    void removeItem(Handle handle);
    void* item(Handle handle) const;
    template <class T> T* itemAs(Handle handle) const { return static_cast<T*>(item(handle)); }

private:
    HandleRegistry() = default;
    void forgetWindow(QObject* window);

    mutable std::mutex mutex_;
    Handle next_ = 1;
    std::unordered_map<Handle, QPointer<QObject>> windows_;
    std::unordered_map<QObject*, Handle> windowHandles_;
    std::unordered_map<Handle, void*> items_;
};

inline Handle HandleOf(QObject* window) {
    return HandleRegistry::instance().handleOf(window);
}
inline QObject* WindowFromHandle(Handle handle) {
    return HandleRegistry::instance().window(handle);
}

} // namespace velmora
