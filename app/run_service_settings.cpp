#include "run_service_settings.h"

#include "app_context.h"

namespace velmora {

RunServiceSettings::RunServiceSettings(std::shared_ptr<ISettingsStore> stored)
    : stored_(std::move(stored)) {}

std::string RunServiceSettings::Host() {
    return AppContext::Instance().GetHost();
}

std::int32_t RunServiceSettings::Port() {
    return AppContext::Instance().GetPort();
}

std::string RunServiceSettings::onRunService(const char* path) {
    return wire::link::WebOrigin(Host(), Port()) + path;
}

ScopedRunServiceSettings::ScopedRunServiceSettings() {
    ComponentFactory& factory = ComponentFactory::instance();
    stored_ = factory.registerClass(CLSID_SettingsStore, nullptr);
    factory.registerClass(CLSID_SettingsStore, [stored = stored_]() -> ComPtr {
        if (!stored || !*stored)
            throw ComError(REGDB_E_CLASSNOTREG, CLSID_SettingsStore);
        auto store = QueryInterface<ISettingsStore>((*stored)());
        if (!store)
            throw ComError(E_NOINTERFACE, ISettingsStore::iid);
        return std::make_shared<RunServiceSettings>(std::move(store));
    });
}

ScopedRunServiceSettings::~ScopedRunServiceSettings() {
    if (stored_)
        ComponentFactory::instance().registerClass(CLSID_SettingsStore, std::move(*stored_));
    else
        ComponentFactory::instance().unregisterClass(CLSID_SettingsStore);
}

} // namespace velmora
