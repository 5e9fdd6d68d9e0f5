#pragma once

// Points TMPDIR at a private folder for as long as the guard lives, so the
// cache folder and its "vmdir.vdt" are the test's own.

#include "cache_files.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <string>

namespace velmora::test {

class ScopedTempFolder {
public:
    ScopedTempFolder() {
        if (qEnvironmentVariableIsSet("TMPDIR"))
            saved_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(dir_.path()));
    }
    ~ScopedTempFolder() {
        if (saved_)
            qputenv("TMPDIR", *saved_);
        else
            qunsetenv("TMPDIR");
    }
    ScopedTempFolder(const ScopedTempFolder&) = delete;
    ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

    bool valid() const { return dir_.isValid(); }
    static std::string DirectoryCachePath() { return CacheFolder() + "vmdir.vdt"; }
    static void WriteDirectoryCache(const std::string& text) {
        QFile file(QString::fromStdString(DirectoryCachePath()));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.data(), static_cast<qint64>(text.size()));
    }
    static std::string ReadFile(const std::string& path) {
        QFile file(QString::fromStdString(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

private:
    QTemporaryDir dir_;
    std::optional<QByteArray> saved_;
};

} // namespace velmora::test
