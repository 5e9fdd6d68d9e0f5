#include "temp_settings.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace velmora::test {

// A real store that also notes each write the program makes, before the
// write is tried, so a write that fails is noted as well.
class TempSettings::RecordingStore : public SettingsStore {
public:
    RecordingStore(QString path, std::shared_ptr<State> state)
        : SettingsStore(std::move(path)), state_(std::move(state)) {}

    void SetHost(const std::string& host) override {
        note("Host");
        SettingsStore::SetHost(host);
    }
    void SetPort(std::int32_t port) override {
        note("Port");
        SettingsStore::SetPort(port);
    }
    void SetCleanUpOnExit(VariantBool flag) override {
        note("CleanUpOnExit");
        SettingsStore::SetCleanUpOnExit(flag);
    }
    void SetValue(const std::string& name, const std::string& value) override {
        note(name);
        SettingsStore::SetValue(name, value);
    }

private:
    void note(const std::string& what) {
        std::lock_guard lock(state_->mutex);
        state_->writes.push_back(what);
    }

    std::shared_ptr<State> state_;
};

TempSettings::TempSettings()
    : component_(CLSID_SettingsStore, [state = state_]() -> ComPtr {
          std::lock_guard lock(state->mutex);
          ++state->created;
          return std::make_shared<RecordingStore>(state->path, state);
      }) {
    usePath(dir_.path() + QStringLiteral("/velmora/settings.ini"));
}

void TempSettings::usePath(const QString& path) {
    std::lock_guard lock(state_->mutex);
    state_->path = path;
}

std::shared_ptr<SettingsStore> TempSettings::store() const {
    return std::make_shared<SettingsStore>(filePath());
}

QString TempSettings::filePath() const {
    std::lock_guard lock(state_->mutex);
    return state_->path;
}

void TempSettings::failWrites() {
    // Tests run as root, whom permissions do not stop; a plain file where a
    // folder should be stops everyone.
    QFile blocker(dir_.path() + QStringLiteral("/blocker"));
    if (!blocker.open(QIODevice::WriteOnly))
        ADD_FAILURE() << "cannot create " << blocker.fileName().toStdString();
    usePath(blocker.fileName() + QStringLiteral("/velmora/settings.ini"));
}

void TempSettings::failReadsAndWrites() {
    QString path = dir_.path() + QStringLiteral("/folder/settings.ini");
    if (!QDir().mkpath(path))
        ADD_FAILURE() << "cannot create " << path.toStdString();
    usePath(path);
}

int TempSettings::created() const {
    std::lock_guard lock(state_->mutex);
    return state_->created;
}

std::vector<std::string> TempSettings::writes() const {
    std::lock_guard lock(state_->mutex);
    return state_->writes;
}

void TempSettings::clearWrites() {
    std::lock_guard lock(state_->mutex);
    state_->writes.clear();
}

} // namespace velmora::test
