#pragma once

// Media bytes on disk, named by their content. An upload is written to a
// temporary file of its own and hashed on the way, then gets the hex SHA-256
// of its bytes as its name in the blob folder, unless the same bytes are
// there already: one copy is kept.
//
// Several instances of the service may share the blob folder and the
// database. What decides that a blob goes (no file refers to it) and what
// makes a file refer to it are ordered by a lock row per blob, taken in the
// transaction that writes or deletes the file rows; a blob is only moved
// aside inside such a transaction, so it can be put back when the
// transaction does not commit, and a commit brings back a blob that a delete
// elsewhere took meanwhile.

#include <sodium.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora::server {

class Connection;

// An upload on its way into the blob folder.
class StagedBlob {
public:
    // Creates a temporary file of its own in tempDir; throws std::system_error.
    explicit StagedBlob(const std::filesystem::path& tempDir);
    // Removes the temporary file (the blob, once placed, stays).
    ~StagedBlob();
    StagedBlob(const StagedBlob&) = delete;
    StagedBlob& operator=(const StagedBlob&) = delete;

    // Appends bytes; throws std::system_error (ENOSPC and the like).
    void write(const char* data, std::size_t length);
    std::uint64_t size() const { return size_; }
    // Flushes the bytes and files them in blobDir under their hash unless
    // that name is there already; returns the name. The temporary file stays
    // until this object goes, for the commit to fall back on.
    std::string place(const std::filesystem::path& blobDir);
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    crypto_hash_sha256_state hash_{};
};

// The name the bytes get in the blob folder.
std::string BlobName(const std::string& bytes);

// Makes target a hard link to source unless target exists, and flushes the
// folder; throws std::system_error.
void LinkBlob(const std::filesystem::path& source, const std::filesystem::path& target);

// Takes the blob's lock row until the transaction on c ends. Several blobs
// are locked in sorted order, so two transactions never wait on each other.
void LockBlob(Connection& c, const std::string& blob);
// Whether any file row refers to the blob; ask under its lock.
bool BlobReferenced(Connection& c, const std::string& blob);

// Blobs moved aside (into the temporary folder) by a transaction that proved
// them unreferenced: removed for good when it commits, put back otherwise.
class RetiredBlobs {
public:
    RetiredBlobs(std::filesystem::path blobDir, std::filesystem::path tempDir)
        : blobDir_(std::move(blobDir)), tempDir_(std::move(tempDir)) {}
    ~RetiredBlobs() { restore(); }
    RetiredBlobs(const RetiredBlobs&) = delete;
    RetiredBlobs& operator=(const RetiredBlobs&) = delete;

    // Under the blob's lock: moves it aside when no file refers to it and
    // drops the lock row. True when the blob was moved.
    bool retireIfUnreferenced(Connection& c, const std::string& blob);
    // The transaction committed.
    void purge();
    // The transaction did not commit (also what the destructor does); a
    // blob whose name was taken meanwhile stays as it is.
    void restore();

private:
    struct Entry {
        std::string blob;
        std::filesystem::path aside;
    };
    std::filesystem::path blobDir_;
    std::filesystem::path tempDir_;
    std::vector<Entry> entries_;
};

// Uploads in progress are named after the machine and process writing them
// ("upload.HOST.PID.RANDOM.part"), so that an instance starting after a
// crash can tell the leftovers of a dead process on its own machine from
// uploads that live instances are still writing.
bool LeftByDeadProcess(const std::string& fileName);

// The blob a file moved aside stands for ("BLOB.RANDOM.gone"); empty for
// any other file name.
std::string RetiredBlobName(const std::string& fileName);

// Time since the file's bytes were last written; nothing when it is gone. A
// blob placed by an upload is as young as the upload's last byte, and one
// that existed already is only ever removed under its lock.
std::optional<std::chrono::seconds> FileAge(const std::filesystem::path& file);

} // namespace velmora::server
