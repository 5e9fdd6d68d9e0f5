#pragma once

// The settings component as the program sees it during a run started with
// --service: the service's host and port are the AppContext's, and so are
// the addresses of links; everything else, and every write, is the stored
// component's. The stored settings never learn the run's address.

#include "component_factory.h"
#include "component_interfaces.h"
#include "wire/link.h"

#include <memory>
#include <optional>

namespace velmora {

class RunServiceSettings : public ISettingsStore {
public:
    explicit RunServiceSettings(std::shared_ptr<ISettingsStore> stored);

    std::string Host() override;
    void SetHost(const std::string& host) override { stored_->SetHost(host); }
    std::int32_t Port() override;
    void SetPort(std::int32_t port) override { stored_->SetPort(port); }
    std::string FileLinkBase() override { return onRunService(wire::link::kFilePath); }
    std::string FolderLinkBase() override { return onRunService(wire::link::kFolderPath); }
    VariantBool CleanUpOnExit() override { return stored_->CleanUpOnExit(); }
    void SetCleanUpOnExit(VariantBool flag) override { stored_->SetCleanUpOnExit(flag); }
    std::string GetValue(const std::string& name) override { return stored_->GetValue(name); }
    void SetValue(const std::string& name, const std::string& value) override {
        stored_->SetValue(name, value);
    }
    std::string PlayerPageBase() override { return onRunService(wire::link::kPlayerPagePath); }

private:
    // A page of the service in use, the way the settings component makes its
    // link bases from the stored address.
    std::string onRunService(const char* path);

    std::shared_ptr<ISettingsStore> stored_;
};

// Puts RunServiceSettings over the registered settings component for as long
// as it lives, and the registration before back afterwards.
class ScopedRunServiceSettings {
public:
    ScopedRunServiceSettings();
    ~ScopedRunServiceSettings();
    ScopedRunServiceSettings(const ScopedRunServiceSettings&) = delete;
    ScopedRunServiceSettings& operator=(const ScopedRunServiceSettings&) = delete;

private:
    std::optional<ComponentCreator> stored_;
};

} // namespace velmora
