#pragma once

// The settings component: connection settings and named values kept in one
// INI file in the user's configuration folder, shared by every instance.

#include "component_interfaces.h"

#include <QString>

#include <optional>
#include <string>

namespace velmora {

// Registers the SettingsStore class with the component factory.
void RegisterSettingsComponent();

class SettingsStore : public ISettingsStore {
public:
    static constexpr const char* kDefaultHost = "127.0.0.1";
    static constexpr std::int32_t kDefaultPort = 8080;


    SettingsStore();
    // A store over a given file instead of the user's configuration folder.
    explicit SettingsStore(QString filePath);

    // $XDG_CONFIG_HOME/velmora/settings.ini (~/.config when unset).
    static QString DefaultFilePath();
    const QString& filePath() const { return path_; }

    std::string Host() override;
    void SetHost(const std::string& host) override;
    std::int32_t Port() override;
    void SetPort(std::int32_t port) override;
    std::string FileLinkBase() override;
    std::string FolderLinkBase() override;
    VariantBool CleanUpOnExit() override;
    void SetCleanUpOnExit(VariantBool flag) override;
    std::string GetValue(const std::string& name) override;
    void SetValue(const std::string& name, const std::string& value) override;
    std::string PlayerPageBase() override;

private:
    // One value; nothing when the file or the value is missing. Throws
    // ComError when the file is there but cannot be read.
    std::optional<std::string> read(const QString& key) const;
    // Stores one value and keeps every other value of the file, also those
    // another instance stored meanwhile; throws ComError when the file
    // cannot be written.
    void write(const QString& key, const std::string& value);
    std::string linkBase(const char* path);

    QString path_;
};

} // namespace velmora
