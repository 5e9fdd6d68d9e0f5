#include "registry_settings.h"

#include "text_utils.h"

#include <QSettings>

namespace velmora::registry {

namespace {
constexpr const char* kOrganisation = "velmora media player";
constexpr const char* kApplication = "velmora_player";
} // namespace

std::string Read(const std::string& name) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    settings.beginGroup("Settings");
    QVariant value = settings.value(QString::fromStdString(name));
    if (!value.isValid() || !value.canConvert<QString>())
        return {};
    std::string text = value.toString().toStdString();
    // Values are read into a 512-byte buffer.
    if (text.size() > 511)
        text.resize(511);
    return text;
}

void Write(const std::string& name, const std::string& text) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
    settings.beginGroup("Settings");
    settings.setValue(QString::fromStdString(name), QString::fromStdString(text));
    settings.endGroup();
    settings.sync();
}

int ToNumber(const std::string& text) {
    return TextToNumber(text);
}

} // namespace velmora::registry
