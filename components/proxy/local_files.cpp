#include "local_files.h"

#include "cache_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <atomic>
#include <stdexcept>

namespace velmora::proxy {

namespace {

std::atomic<int> instanceCounter{0};

QString CacheFolderPath() {
    return QString::fromStdString(CacheFolder());
}

} // namespace

LocalFiles::LocalFiles() {
    folder_ = CacheFolderPath() + QStringLiteral("prx-%1-%2")
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(instanceCounter.fetch_add(1) + 1);
}

LocalFiles::~LocalFiles() {
    QDir(folder_).removeRecursively();
}

std::string LocalFiles::writeFile(const QString& path, const std::string& text) {
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
    // The cache folder may have been cleaned up since the last write; nothing
    // above it is ever made.
    CacheFolder();
    QDir().mkdir(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return writeFile(folder_ + QLatin1Char('/') + name, text);
}

std::string LocalFiles::writeShared(const QString& name, const std::string& text) {
    return writeFile(CacheFolderPath() + name, text);
}

void LocalFiles::remove(const QString& name) {
    std::lock_guard lock(mutex_);
    QFile::remove(folder_ + QLatin1Char('/') + name);
}

} // namespace velmora::proxy
