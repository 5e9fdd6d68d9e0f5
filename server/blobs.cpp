#include "blobs.h"

#include "db.h"
#include "wire/durable_file.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmora::server {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.pop_back();
    return hex;
}

constexpr const char* kRetiredSuffix = ".gone";
constexpr const char* kUploadPrefix = "upload.";
constexpr const char* kUploadSuffix = ".part";

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !*name)
        return "localhost";
    return name;
}

} // namespace

StagedBlob::StagedBlob(const fs::path& tempDir) {
    std::string pattern = (tempDir / (kUploadPrefix + HostName() + "." +
                                      std::to_string(::getpid()) + ".XXXXXX" + kUploadSuffix))
                              .string();
    fd_ = ::mkostemps(pattern.data(), 5, O_CLOEXEC);
    if (fd_ < 0)
        ThrowErrno("Cannot create a file in " + tempDir.string());
    path_ = pattern;
    crypto_hash_sha256_init(&hash_);
}

StagedBlob::~StagedBlob() {
    if (fd_ >= 0)
        ::close(fd_);
    ::unlink(path_.c_str());
}

void StagedBlob::write(const char* data, std::size_t length) {
    if (fd_ < 0) {
        errno = EBADF;
        ThrowErrno("Cannot write " + path_.string());
    }
    crypto_hash_sha256_update(&hash_, reinterpret_cast<const unsigned char*>(data), length);
    wire::WriteAll(fd_, data, length, path_);
    size_ += length;
}

std::string StagedBlob::place(const fs::path& blobDir) {
    if (fd_ < 0) {
        errno = EBADF;
        ThrowErrno("Cannot place " + path_.string());
    }
    int rc = ::fsync(fd_);
    int saved = errno;
    if (::close(fd_) != 0 && rc == 0) {
        rc = -1;
        saved = errno;
    }
    fd_ = -1;
    if (rc != 0) {
        errno = saved;
        ThrowErrno("Cannot flush " + path_.string());
    }
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&hash_, digest);
    std::string name = Hex(digest, sizeof digest);
    LinkBlob(path_, blobDir / name);
    return name;
}

std::string BlobName(const std::string& bytes) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return Hex(digest, sizeof digest);
}

void LinkBlob(const fs::path& source, const fs::path& target) {
    if (::link(source.c_str(), target.c_str()) != 0) {
        // The same name is the same bytes.
        if (errno == EEXIST)
            return;
        ThrowErrno("Cannot store " + target.string());
    }
    wire::SyncFolder(target.parent_path());
}

void LockBlob(Connection& c, const std::string& blob) {
    // An upsert that always updates: the row stays locked until the
    // transaction ends, also when another transaction made it.
    auto q = c.query("INSERT INTO blob_locks(blob, touched) VALUES(?1, 0) ON CONFLICT(blob) "
                     "DO UPDATE SET touched = blob_locks.touched + 1");
    q->bind(1, blob);
    q->run();
}

bool BlobReferenced(Connection& c, const std::string& blob) {
    auto q = c.query("SELECT 1 FROM files WHERE blob = ?1 LIMIT 1");
    q->bind(1, blob);
    return q->step();
}

void RetiredBlobs::restore() {
    for (const Entry& e : entries_) {
        try {
            LinkBlob(e.aside, blobDir_ / e.blob);
            ::unlink(e.aside.c_str());
        } catch (const std::system_error&) {
            // Left aside: the start-up sweep puts it back while a file
            // refers to it.
        }
    }
    entries_.clear();
}

bool RetiredBlobs::retireIfUnreferenced(Connection& c, const std::string& blob) {
    LockBlob(c, blob);
    if (BlobReferenced(c, blob))
        return false;
    {
        auto q = c.query("DELETE FROM blob_locks WHERE blob = ?1");
        q->bind(1, blob);
        q->run();
    }
    unsigned char random[8];
    randombytes_buf(random, sizeof random);
    fs::path aside = tempDir_ / (blob + "." + Hex(random, sizeof random) + kRetiredSuffix);
    if (::rename((blobDir_ / blob).c_str(), aside.c_str()) != 0) {
        if (errno == ENOENT)
            return false;
        ThrowErrno("Cannot remove " + (blobDir_ / blob).string());
    }
    entries_.push_back(Entry{blob, aside});
    return true;
}

void RetiredBlobs::purge() {
    for (const Entry& e : entries_)
        ::unlink(e.aside.c_str());
    entries_.clear();
}

bool LeftByDeadProcess(const std::string& fileName) {
    const std::string prefix = kUploadPrefix;
    const std::string suffix = kUploadSuffix;
    if (fileName.size() <= prefix.size() + suffix.size() || fileName.rfind(prefix, 0) != 0 ||
        fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    // HOST.PID.RANDOM; the host name may hold dots itself.
    std::string middle =
        fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    std::size_t random = middle.rfind('.');
    if (random == std::string::npos || random == 0)
        return false;
    std::size_t pid = middle.rfind('.', random - 1);
    if (pid == std::string::npos || middle.substr(0, pid) != HostName())
        return false;
    std::string digits = middle.substr(pid + 1, random - pid - 1);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    auto id = static_cast<pid_t>(std::stol(digits));
    return id > 0 && id != ::getpid() && ::kill(id, 0) != 0 && errno == ESRCH;
}

std::string RetiredBlobName(const std::string& fileName) {
    const std::string suffix = kRetiredSuffix;
    if (fileName.size() <= suffix.size() ||
        fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0)
        return {};
    std::size_t dot = fileName.find('.');
    return dot == fileName.size() - suffix.size() ? std::string() : fileName.substr(0, dot);
}

std::optional<std::chrono::seconds> FileAge(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return std::nullopt;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::chrono::seconds(now.tv_sec - st.st_mtim.tv_sec);
}

} // namespace velmora::server
