#include "component_factory.h"

namespace velmora {

ComponentFactory& ComponentFactory::instance() {
    static ComponentFactory factory;
    return factory;
}

std::optional<ComponentCreator> ComponentFactory::registerClass(const Guid& clsid,
                                                                ComponentCreator creator) {
    std::lock_guard lock(mutex_);
    std::optional<ComponentCreator> previous;
    if (auto it = creators_.find(clsid); it != creators_.end())
        previous = std::move(it->second);
    creators_[clsid] = std::move(creator);
    return previous;
}

void ComponentFactory::unregisterClass(const Guid& clsid) {
    std::lock_guard lock(mutex_);
    creators_.erase(clsid);
}

bool ComponentFactory::isRegistered(const Guid& clsid) const {
    std::lock_guard lock(mutex_);
    return creators_.count(clsid) != 0;
}

ComPtr ComponentFactory::create(const Guid& clsid) const {
    ComponentCreator creator;
    {
        std::lock_guard lock(mutex_);
        auto it = creators_.find(clsid);
        if (it == creators_.end() || !it->second)
            throw ComError(REGDB_E_CLASSNOTREG, clsid);
        creator = it->second;
    }
    // The creator runs unlocked: it may itself create components.
    ComPtr object = creator();
    if (!object)
        throw ComError(E_OUTOFMEMORY, clsid);
    return object;
}

ScopedComponent::ScopedComponent(const Guid& clsid, ComponentCreator creator)
    : clsid_(clsid), previous_(ComponentFactory::instance().registerClass(clsid, std::move(creator))) {}

ScopedComponent::~ScopedComponent() {
    if (previous_)
        ComponentFactory::instance().registerClass(clsid_, std::move(*previous_));
    else
        ComponentFactory::instance().unregisterClass(clsid_);
}

} // namespace velmora
