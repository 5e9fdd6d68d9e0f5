#pragma once

// The files the proxy writes for the program to read: each instance has its
// own folder in the program's cache folder (CacheFolder()), removed when the
// instance goes. Folders are the owner's alone: the messages files are
// private.

#include <QString>

#include <mutex>
#include <string>

namespace velmora::proxy {

class LocalFiles {
public:
    LocalFiles();
    ~LocalFiles();
    LocalFiles(const LocalFiles&) = delete;
    LocalFiles& operator=(const LocalFiles&) = delete;

    // Replaces the named file of this instance with the text, as a whole (a
    // reader never sees half a file), and returns its path. Throws
    // std::runtime_error with a readable text when it cannot be written.
    std::string write(const QString& name, const std::string& text);
    // Replaces a file of the cache folder itself.
    static std::string writeShared(const QString& name, const std::string& text);
    // Removes the named file of this instance, if it is there.
    void remove(const QString& name);

    const QString& folder() const { return folder_; }

private:
    static std::string writeFile(const QString& path, const std::string& text);
    QString folder_;
    std::mutex mutex_;
};

} // namespace velmora::proxy
