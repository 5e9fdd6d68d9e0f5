#include "durable_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmora::wire {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

void SyncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        ThrowErrno("Cannot open " + folder.string());
    int rc = ::fsync(fd);
    int saved = errno;
    ::close(fd);
    if (rc != 0) {
        errno = saved;
        ThrowErrno("Cannot flush " + folder.string());
    }
}

void WriteAll(int fd, const char* data, std::size_t length, const std::filesystem::path& path) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            ThrowErrno("Cannot write " + path.string());
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

DurableFile::DurableFile(const std::filesystem::path& folder, mode_t mode) {
    std::string pattern = (folder / "durable-XXXXXX.part").string();
    fd_ = ::mkostemps(pattern.data(), 5, O_CLOEXEC);
    if (fd_ < 0)
        ThrowErrno("Cannot create a file in " + folder.string());
    temp_ = pattern;
    if (::fchmod(fd_, mode) != 0) {
        int saved = errno;
        discard();
        errno = saved;
        ThrowErrno("Cannot set the mode of " + temp_.string());
    }
}

DurableFile::~DurableFile() {
    if (!committed_)
        discard();
}

void DurableFile::discard() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

void DurableFile::write(const char* data, std::size_t length) {
    WriteAll(fd_, data, length, temp_);
    size_ += length;
}

void DurableFile::commit(const std::filesystem::path& target) {
    if (::fsync(fd_) != 0) {
        int saved = errno;
        discard();
        errno = saved;
        ThrowErrno("Cannot flush " + temp_.string());
    }
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 || ::rename(temp_.c_str(), target.c_str()) != 0) {
        int saved = errno;
        discard();
        errno = saved;
        ThrowErrno("Cannot store " + target.string());
    }
    committed_ = true;
    SyncFolder(target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path());
}

void WriteFileDurably(const std::filesystem::path& path, std::string_view data, mode_t mode) {
    DurableFile file(path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path(),
                     mode);
    file.write(data.data(), data.size());
    file.commit(path);
}

} // namespace velmora::wire
