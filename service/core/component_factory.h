#pragma once

// Creation of components by class id. The program's components register
// themselves at start-up; a test installs a scripted component in their place.

#include "com.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace velmora {

using ComponentCreator = std::function<ComPtr()>;

class ComponentFactory {
public:
    static ComponentFactory& instance();

    // Registers (or replaces) the creator of a class; returns the one replaced.
    std::optional<ComponentCreator> registerClass(const Guid& clsid, ComponentCreator creator);
    void unregisterClass(const Guid& clsid);
    bool isRegistered(const Guid& clsid) const;

    // A new instance; throws ComError (REGDB_E_CLASSNOTREG) for an unknown
    // class and lets a creator's own failure through.
    ComPtr create(const Guid& clsid) const;

private:
    ComponentFactory() = default;
    mutable std::mutex mutex_;
    std::map<Guid, ComponentCreator> creators_;
};

// Creates a component and queries it for an interface. Any failure leaves the
// result null and shows nothing.
template <class Interface> std::shared_ptr<Interface> CreateComponent(const Guid& clsid) noexcept {
    try {
        return QueryInterface<Interface>(ComponentFactory::instance().create(clsid));
    } catch (...) {
        return nullptr;
    }
}

// Puts a creator in place for as long as it lives and restores the previous
// registration afterwards.
class ScopedComponent {
public:
    ScopedComponent(const Guid& clsid, ComponentCreator creator);
    ~ScopedComponent();
    ScopedComponent(const ScopedComponent&) = delete;
    ScopedComponent& operator=(const ScopedComponent&) = delete;

private:
    Guid clsid_;
    std::optional<ComponentCreator> previous_;
};

} // namespace velmora
