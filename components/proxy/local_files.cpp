#include "local_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <stdexcept>

namespace velmora::proxy {

namespace {
std::atomic<int> instanceCounter{0};
}

QString LocalFiles::CacheFolder() {
    return QDir::tempPath() + QStringLiteral("/v_player");
}

LocalFiles::LocalFiles() {
    folder_ = CacheFolder() + QStringLiteral("/prx-%1-%2")
                                  .arg(QCoreApplication::applicationPid())
                                  .arg(instanceCounter.fetch_add(1) + 1);
}

LocalFiles::~LocalFiles() {
    QDir(folder_).removeRecursively();
}

std::string LocalFiles::writeFile(const QString& path, const std::string& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        throw std::runtime_error("Cannot write " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    }
    QByteArray local = QFile::encodeName(path);
    return std::string(local.constData(), static_cast<std::size_t>(local.size()));
}

std::string LocalFiles::write(const QString& name, const std::string& text) {
    std::lock_guard lock(mutex_);
    return writeFile(folder_ + QLatin1Char('/') + name, text);
}

std::string LocalFiles::writeShared(const QString& name, const std::string& text) {
    return writeFile(CacheFolder() + QLatin1Char('/') + name, text);
}

void LocalFiles::remove(const QString& name) {
    std::lock_guard lock(mutex_);
    QFile::remove(folder_ + QLatin1Char('/') + name);
}

} // namespace velmora::proxy
