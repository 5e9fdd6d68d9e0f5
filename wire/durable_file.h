#pragma once

// Files the service keeps (blobs, mail, its own state) are written so that a
// crash at any moment leaves either the old file or the whole new one: the
// bytes go to a temporary file in the target's folder, are flushed to the
// disk, and the file is renamed over the target, whose folder is then
// flushed too.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace velmora::wire {

// Flushes a folder's entries (a rename or a new name in it) to the disk;
// throws std::system_error.
void SyncFolder(const std::filesystem::path& folder);
// Writes all of data to fd, again after EINTR and short writes; throws
// std::system_error naming path.
void WriteAll(int fd, const char* data, std::size_t length, const std::filesystem::path& path);

class DurableFile {
public:
    // Creates a new temporary file in folder; throws std::system_error.
    explicit DurableFile(const std::filesystem::path& folder, mode_t mode = 0600);
    // Removes the temporary file unless it was committed.
    ~DurableFile();
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    // Appends bytes; throws std::system_error (ENOSPC and the like).
    void write(const char* data, std::size_t length);
    std::uint64_t size() const { return size_; }
    const std::filesystem::path& temporaryPath() const { return temp_; }
    // Flushes, closes and renames the file to target (same file system);
    // throws std::system_error and leaves no temporary file behind.
    void commit(const std::filesystem::path& target);

private:
    void discard() noexcept;

    std::filesystem::path temp_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    bool committed_ = false;
};

// The whole of data as the file at path, through a DurableFile beside it.
void WriteFileDurably(const std::filesystem::path& path, std::string_view data, mode_t mode = 0600);

} // namespace velmora::wire
