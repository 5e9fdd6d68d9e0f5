#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace velmora {

// The program's log in the temporary folder, made anew at each start: one
// line per event, the local date and time, "> " and the text.
class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates (truncates) the file in the temporary folder; true when already
    // open. On failure the error text names the file.
    bool Open(const std::string& fileName);
    bool IsOpen() const;
    std::string ErrorText() const;
    std::string Path() const;
    // Writes one whole line; does nothing when the log is not open. Safe to
    // call from the message poller's thread.
    void Write(const std::string& text);
    void Close();

    // The time stamp of a line: the long date and the time with seconds in
    // the user's locale.
    static std::string TimeStamp();

private:
    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::string errorText_;
    std::string path_;
};

} // namespace velmora
