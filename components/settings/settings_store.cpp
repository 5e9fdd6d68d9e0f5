#include "settings_store.h"

#include "component_factory.h"
#include "wire/link.h"

#include <QSettings>
#include <QStandardPaths>

#include <charconv>

namespace velmora {

namespace {

const QString kHostKey = QStringLiteral("Settings/Host");
const QString kPortKey = QStringLiteral("Settings/Port");
const QString kCleanUpKey = QStringLiteral("Settings/CleanUpOnExit");

// QSettings treats "/" as a group separator and folds empty groups away, so
// "a/", "/a" and "a//b" would land on the key of another name. Bytes that are
// not UTF-8 would all fold into U+FFFD. Such names are refused.
std::optional<QString> valueKey(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.back() == '/' ||
        name.find("//") != std::string::npos)
        return std::nullopt;
    QString text = QString::fromStdString(name);
    if (text.toStdString() != name)
        return std::nullopt;
    return QStringLiteral("Values/") + text;
}

// Text goes into the file as text when it is UTF-8, which keeps the file
// readable and editable; any other bytes go in as a byte array, so every
// value comes back byte for byte.
QVariant toStored(const std::string& value) {
    QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
    QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        return text;
    return bytes;
}

std::string fromStored(const QVariant& stored) {
    return stored.toByteArray().toStdString();
}

} // namespace

void RegisterSettingsComponent() {
    ComponentFactory::instance().registerClass(CLSID_SettingsStore,
                                               [] { return std::make_shared<SettingsStore>(); });
}

SettingsStore::SettingsStore() : path_(DefaultFilePath()) {}

SettingsStore::SettingsStore(QString filePath) : path_(std::move(filePath)) {}

QString SettingsStore::DefaultFilePath() {
    // GenericConfigLocation follows XDG_CONFIG_HOME and falls back to ~/.config.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + QStringLiteral("/velmora/settings.ini");
}

// A QSettings per call: each one reads the file afresh, so a value another
// instance or process wrote is seen at once. A damaged line reads as missing
// (a format error), while the rest of the file still counts.
std::optional<std::string> SettingsStore::read(const QString& key) const {
    QSettings settings(path_, QSettings::IniFormat);
    QVariant stored = settings.value(key);
    if (settings.status() == QSettings::AccessError)
        throw ComError(E_ACCESSDENIED, ISettingsStore::iid);
    if (!stored.isValid())
        return std::nullopt;
    return fromStored(stored);
}

void SettingsStore::write(const QString& key, const std::string& value) {
    // QSettings takes the file's lock, reads the file again and replaces it
    // through a temporary file, so readers never see half a file and values
    // other writers stored survive. A damaged file leaves a format error in
    // the status that a failed replacement cannot override; the second round
    // then writes over a file that reads cleanly and tells the truth.
    for (int round = 0; round < 2; ++round) {
        QSettings settings(path_, QSettings::IniFormat);
        settings.setAtomicSyncRequired(true);
        settings.setValue(key, toStored(value));
        settings.sync();
        switch (settings.status()) {
        case QSettings::NoError:
            return;
        case QSettings::AccessError:
            throw ComError(E_ACCESSDENIED, ISettingsStore::iid);
        case QSettings::FormatError:
            break;
        }
    }
    throw ComError(E_FAIL, ISettingsStore::iid);
}

std::string SettingsStore::Host() {
    return read(kHostKey).value_or(kDefaultHost);
}

void SettingsStore::SetHost(const std::string& host) {
    write(kHostKey, host);
}

std::int32_t SettingsStore::Port() {
    auto text = read(kPortKey);
    if (!text)
        return kDefaultPort;
    std::int32_t port = 0;
    const char* first = text->data();
    const char* last = first + text->size();
    auto [ptr, ec] = std::from_chars(first, last, port);
    if (ec != std::errc() || ptr != last || port < 1 || port > 65535)
        return kDefaultPort;
    return port;
}

void SettingsStore::SetPort(std::int32_t port) {
    // A port outside the TCP range could never be reached; refusing it keeps
    // the stored port usable.
    if (port < 1 || port > 65535)
        throw ComError(E_INVALIDARG, ISettingsStore::iid);
    write(kPortKey, std::to_string(port));
}

VariantBool SettingsStore::CleanUpOnExit() {
    return ToVariantBool(read(kCleanUpKey).value_or("0") == "1");
}

void SettingsStore::SetCleanUpOnExit(VariantBool flag) {
    write(kCleanUpKey, IsTrue(flag) ? "1" : "0");
}

std::string SettingsStore::GetValue(const std::string& name) {
    auto key = valueKey(name);
    if (!key)
        return {};
    return read(*key).value_or(std::string());
}

void SettingsStore::SetValue(const std::string& name, const std::string& value) {
    auto key = valueKey(name);
    if (!key)
        throw ComError(E_INVALIDARG, ISettingsStore::iid);
    write(*key, value);
}

std::string SettingsStore::linkBase(const char* path) {
    return wire::link::WebOrigin(Host(), Port()) + path;
}

std::string SettingsStore::FileLinkBase() {
    return linkBase(wire::link::kFilePath);
}

std::string SettingsStore::FolderLinkBase() {
    return linkBase(wire::link::kFolderPath);
}

std::string SettingsStore::PlayerPageBase() {
    return linkBase(wire::link::kPlayerPagePath);
}

} // namespace velmora
