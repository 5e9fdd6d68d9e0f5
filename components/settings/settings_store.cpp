#include "settings_store.h"

#include "component_factory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <charconv>
#include <map>
#include <mutex>

namespace velmora {

namespace {

constexpr const char* kSettingsSection = "Settings";
constexpr const char* kValuesSection = "Values";

// Every instance of the process reads and writes the same file; the lock file
// keeps other processes out, this mutex other threads of this one.
std::mutex& fileMutex() {
    static std::mutex mutex;
    return mutex;
}

// The file is text: "[section]" lines and "key=value" lines. Keys and values
// are kept byte for byte; the bytes that would break a line apart are written
// as "%" and two hexadecimal digits.
bool needsEscape(unsigned char c) {
    return c < 0x20 || c == 0x7f || c == '%' || c == '=' || c == '[' || c == ']';
}

std::string escape(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (needsEscape(c)) {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xf];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            int hi = hexValue(text[i + 1]);
            int lo = hexValue(text[i + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (needsEscape(c)) {
            return std::nullopt;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

using Sections = std::map<std::string, std::map<std::string, std::string>>;

// Whatever part of the file reads cleanly; a line that does not is skipped,
// so a damaged file yields the values it still holds and defaults for the rest.
Sections parse(const QByteArray& bytes) {
    Sections sections;
    std::string current;
    std::string_view all(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = all.find('\n', pos);
        if (end == std::string_view::npos)
            end = all.size();
        std::string_view line = all.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.front() == '[') {
            if (line.back() != ']') {
                current.clear();
                continue;
            }
            auto name = unescape(line.substr(1, line.size() - 2));
            current = name ? *name : std::string();
            continue;
        }
        if (current.empty())
            continue;
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        auto key = unescape(line.substr(0, eq));
        auto value = unescape(line.substr(eq + 1));
        if (key && value && !key->empty())
            sections[current][*key] = *value;
    }
    return sections;
}

QByteArray serialize(const Sections& sections) {
    std::string out;
    for (const auto& [section, values] : sections) {
        if (!out.empty())
            out += '\n';
        out += '[' + escape(section) + "]\n";
        for (const auto& [key, value] : values)
            out += escape(key) + '=' + escape(value) + '\n';
    }
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

Sections readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A settings file is a few hundred bytes; anything huge is not ours.
    constexpr qint64 kMaxSize = 4 * 1024 * 1024;
    if (file.size() > kMaxSize)
        return {};
    return parse(file.readAll());
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

std::optional<std::string> SettingsStore::read(const std::string& section,
                                               const std::string& key) const {
    std::lock_guard guard(fileMutex());
    Sections sections = readFile(path_);
    auto s = sections.find(section);
    if (s == sections.end())
        return std::nullopt;
    auto v = s->second.find(key);
    if (v == s->second.end())
        return std::nullopt;
    return v->second;
}

void SettingsStore::write(const std::string& section, const std::string& key,
                          const std::string& value) {
    std::lock_guard guard(fileMutex());
    QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath()))
        throw ComError(E_ACCESSDENIED, ISettingsStore::iid);
    QLockFile lock(path_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(5000))
        throw ComError(lock.error() == QLockFile::PermissionError ? E_ACCESSDENIED : E_FAIL,
                       ISettingsStore::iid);
    // Read again under the lock so a value another process wrote meanwhile
    // survives this write.
    Sections sections = readFile(path_);
    sections[section][key] = value;
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        throw ComError(E_ACCESSDENIED, ISettingsStore::iid);
    QByteArray bytes = serialize(sections);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw ComError(E_FAIL, ISettingsStore::iid);
}

std::string SettingsStore::Host() {
    return read(kSettingsSection, "Host").value_or(kDefaultHost);
}

void SettingsStore::SetHost(const std::string& host) {
    write(kSettingsSection, "Host", host);
}

std::int32_t SettingsStore::Port() {
    auto text = read(kSettingsSection, "Port");
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
    write(kSettingsSection, "Port", std::to_string(port));
}

VariantBool SettingsStore::CleanUpOnExit() {
    return ToVariantBool(read(kSettingsSection, "CleanUpOnExit").value_or("0") == "1");
}

void SettingsStore::SetCleanUpOnExit(VariantBool flag) {
    write(kSettingsSection, "CleanUpOnExit", IsTrue(flag) ? "1" : "0");
}

std::string SettingsStore::GetValue(const std::string& name) {
    if (name.empty())
        return {};
    return read(kValuesSection, name).value_or(std::string());
}

void SettingsStore::SetValue(const std::string& name, const std::string& value) {
    if (name.empty())
        throw ComError(E_INVALIDARG, ISettingsStore::iid);
    write(kValuesSection, name, value);
}

std::string SettingsStore::linkBase(const char* path) {
    std::string host = Host();
    // An IPv6 address needs its brackets in a URL, or its colons read as a port.
    if (host.find(':') != std::string::npos && host.front() != '[')
        host = '[' + host + ']';
    return "http://" + host + ":" + std::to_string(Port()) + path;
}

std::string SettingsStore::FileLinkBase() {
    return linkBase(kFileLinkPath);
}

std::string SettingsStore::FolderLinkBase() {
    return linkBase(kFolderLinkPath);
}

std::string SettingsStore::PlayerPageBase() {
    return linkBase(kPlayerPagePath);
}

} // namespace velmora
