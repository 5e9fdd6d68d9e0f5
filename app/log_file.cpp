#include "log_file.h"

#include "cache_files.h"
#include <QDateTime>

#include <QLocale>

namespace velmora {

LogFile::~LogFile() {
    Close();
}

bool LogFile::Open(const std::string& fileName) {
    std::lock_guard lock(mutex_);
    if (file_)
        return true;
    std::string path = TempFolder() + fileName;
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) {
        errorText_ = "file could not be opened: " + fileName;
        return false;
    }
    path_ = path;
    return true;
}

bool LogFile::IsOpen() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

std::string LogFile::ErrorText() const {
    std::lock_guard lock(mutex_);
    return errorText_;
}

std::string LogFile::Path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

std::string LogFile::TimeStamp() {
    // The long date, then the time with seconds; no time zone.
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    std::string stamp = (locale.toString(now.date(), QLocale::LongFormat) + QLatin1Char(' ') +
                         now.time().toString(QStringLiteral("HH:mm:ss")))
                            .toStdString();
    if (stamp.size() > 255)
        stamp.resize(255);
    return stamp;
}

void LogFile::Write(const std::string& text) {
    std::string line = TimeStamp() + "> " + text + "\n";
    std::lock_guard lock(mutex_);
    if (!file_)
        return;
    std::fwrite(line.data(), 1, line.size(), file_);
    // A log is read after something went wrong: keep what was written on disk.
    std::fflush(file_);
}

void LogFile::Close() {
    std::lock_guard lock(mutex_);
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

} // namespace velmora
