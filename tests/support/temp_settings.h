#pragma once

// The settings component as the program uses it: a real SettingsStore over a
// file in a folder of its own, installed in the component factory for as long
// as this object lives.

#include "component_factory.h"
#include "settings_store.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::test {

class TempSettings {
public:
    TempSettings();
    TempSettings(const TempSettings&) = delete;
    TempSettings& operator=(const TempSettings&) = delete;

    // A store over the file the program uses now, to put values in place and
    // read back what the program stored; it counts neither as created nor
    // as a write of the program.
    std::shared_ptr<SettingsStore> store() const;
    QString filePath() const;

    // From now on the file lies below a plain file: stores read defaults and
    // every write fails with E_ACCESSDENIED.
    void failWrites();
    // From now on a folder stands where the file should be: every read and
    // every write fails with E_ACCESSDENIED.
    void failReadsAndWrites();

    // Stores the program created through the component factory.
    int created() const;
    // What the program wrote, in order: "Host", "Port", "CleanUpOnExit", or
    // the name of a named value.
    std::vector<std::string> writes() const;
    void clearWrites();

private:
    struct State {
        mutable std::mutex mutex;
        QString path;
        int created = 0;
        std::vector<std::string> writes;
    };
    class RecordingStore;

    void usePath(const QString& path);

    QTemporaryDir dir_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
    ScopedComponent component_;
};

} // namespace velmora::test
