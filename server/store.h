#pragma once

// The service's data: users, sessions, libraries, access lists, messages,
// application messages and the outbox, in one database (an SQLite file or
// PostgreSQL), with file contents in a blob folder. Every operation that acts for a user
// takes that user's id and sees only what the user may see: objects of
// others come back as "not found". Refusals are StoreErrors (store_error.h).

#include "db.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora::server {

enum class Tier { Free = 0, Plus = 1, Gold = 2, Platinum = 3 };

struct UserRow {
    std::int64_t id = 0;
    std::string accountId;
    std::string firstName;
    std::string lastName;
    std::string email;
    Tier tier = Tier::Free;
    bool expired = false;
    bool listed = false; // in the public directory
};

// The columns of a user row in the order ReadUser takes them, and the reading
// itself, from column first on.
inline constexpr const char* kUserColumns =
    "id, accountid, first_name, last_name, email, tier, expired, listed";
UserRow ReadUser(Statement& s, int first = 0);

struct NewUser {
    std::string accountId;
    std::string firstName;
    std::string lastName;
    std::string email;
    Tier tier = Tier::Free;
    bool expired = false;
    bool listed = false;
};

struct FolderRow {
    std::int64_t owner = 0;
    std::int64_t id = 0;
    std::int64_t parent = 0;
    std::string name;
    std::int64_t acl = 0;
};

struct FileRow {
    std::int64_t owner = 0;
    std::int64_t id = 0;
    std::int64_t folder = 0;
    std::string name;
    std::int64_t size = 0;
    std::string blob;
};

struct AclRow {
    std::int64_t id = 0;
    std::string name;
};

struct MessageRow {
    std::int64_t id = 0;
    std::int64_t from = 0;
    std::string text;
    std::int64_t time = 0;
};

struct AppMessageRow {
    std::int64_t id = 0;
    std::string msg;
    std::string url;
};

struct MailRow {
    std::string sender;
    std::string recipient;
    std::string subject;
    std::string body;
};

// How large one library may grow, so that no user can build a tree that
// another user's player (or the service's own walks) cannot take.
struct LibraryLimits {
    int folderDepth = 100;     // folders below "My Media", counting the new one
    int folderEntries = 50000; // files and subfolders of one folder
};

class Store {
public:
    // Opens (creating when needed) the folders under dataDir and the
    // database: a postgresql:// URI, an SQLite file, or by default
    // velmora.db in dataDir. Brings its schema up to date.
    Store(const std::filesystem::path& dataDir, const std::string& database, int connections);
    Store(const std::filesystem::path& dataDir, int connections);

    const std::filesystem::path& dataDir() const { return dataDir_; }
    void setLimits(const LibraryLimits& limits) { limits_ = limits; }
    const LibraryLimits& limits() const { return limits_; }
    // Blobs are named by the SHA-256 of their bytes (blobs.h); older data
    // folders also hold randomly named ones, which keep working.
    std::filesystem::path blobPath(const std::string& blob) const;
    std::filesystem::path blobDir() const { return dataDir_ / "blobs"; }
    std::filesystem::path tempDir() const { return dataDir_ / "tmp"; }

    // Removes the leftovers of interrupted runs: temporary files and blobs
    // that no file refers to. Other instances may be writing or committing
    // right now, so only files untouched for minAge are considered.
    // Returns how many files were removed.
    static constexpr auto kSweepAge = std::chrono::hours(1);
    int sweep(std::chrono::seconds minAge = kSweepAge);

    // Users. AddUser creates the user with his root folder; the account id
    // must not be taken.
    std::int64_t addUser(const NewUser& user, const std::string& passwordHash);
    // Many users with one password in one transaction: all or none.
    std::vector<std::int64_t> addUsers(const std::vector<NewUser>& users,
                                       const std::string& passwordHash);
    std::optional<std::pair<std::int64_t, std::string>> credentials(const std::string& accountId);
    void setPasswordHash(std::int64_t user, const std::string& hash);
    std::optional<UserRow> userById(std::int64_t id);
    std::optional<UserRow> userByAccountId(const std::string& accountId);
    std::optional<UserRow> userByEmail(const std::string& email);
    std::vector<UserRow> directory();

    // Sessions, stored by a hash of the token.
    void addSession(const std::string& tokenHash, std::int64_t user, std::int64_t expires);
    struct SessionRow {
        std::int64_t user = 0;
        std::int64_t expires = 0;
    };
    std::optional<SessionRow> session(const std::string& tokenHash, std::int64_t now);
    std::optional<std::int64_t> sessionUser(const std::string& tokenHash, std::int64_t now);
    void removeSession(const std::string& tokenHash);

    // Sign-in back-off by account id, shared by every instance; times are
    // wall-clock milliseconds.
    struct BackOffRow {
        int failures = 0;
        std::int64_t untilMs = 0;
        std::int64_t lastMs = 0;
    };
    std::optional<BackOffRow> signInBackOff(const std::string& accountId);
    // Counts one more failure (at most 1000) and moves the end of the
    // back-off to nowMs + delaySeconds(failures) unless it is later already.
    BackOffRow addSignInFailure(const std::string& accountId, std::int64_t nowMs,
                                int (*delaySeconds)(int));
    void clearSignInBackOff(const std::string& accountId);
    // Forgets account ids out of back-off at nowMs and quiet since quietSinceMs.
    void forgetSignInBackOffs(std::int64_t nowMs, std::int64_t quietSinceMs);
    std::size_t signInBackOffCount();

    // The user's own library.
    FolderRow createFolder(std::int64_t user, std::int64_t parent, const std::string& name);
    FolderRow renameFolder(std::int64_t user, std::int64_t folder, const std::string& name);
    // Blobs that no file refers to any more are removed with the rows.
    void deleteFolder(std::int64_t user, std::int64_t folder);
    FolderRow setFolderAcl(std::int64_t user, std::int64_t folder, std::int64_t acl);
    FileRow renameFile(std::int64_t user, std::int64_t folder, std::int64_t file,
                       const std::string& name);
    void deleteFile(std::int64_t user, std::int64_t folder, std::int64_t file);
    // Refuses early what a commit would refuse (missing folder, a folder of
    // the name).
    void checkUploadTarget(std::int64_t user, std::int64_t folder, const std::string& name);
    // A file of the same name in the folder is replaced, keeping its id; the
    // blob it held is removed once the new one is committed. With staged (the
    // bytes of the blob, still on disk), a blob that a delete elsewhere took
    // meanwhile is brought back before the row is committed.
    FileRow commitFile(std::int64_t user, std::int64_t folder, const std::string& name,
                       std::int64_t size, const std::string& blob,
                       const std::filesystem::path& staged = {});
    // Removes the blob when no file refers to it (an upload whose commit was
    // refused); true when it was removed.
    bool releaseBlob(const std::string& blob);

    // Reading, for the owner or a member of a list the folder or one of its
    // ancestors is shared with.
    std::optional<FileRow> readableFile(std::int64_t viewer, std::int64_t owner,
                                        std::int64_t folder, std::int64_t file);
    std::optional<FolderRow> readableFolder(std::int64_t viewer, std::int64_t owner,
                                            std::int64_t folder);
    std::vector<FolderRow> subfolders(std::int64_t owner, std::int64_t folder);
    std::vector<FileRow> filesIn(std::int64_t owner, std::int64_t folder);

    // Access lists of the user.
    AclRow createAcl(std::int64_t user, const std::string& name);
    AclRow renameAcl(std::int64_t user, std::int64_t acl, const std::string& name);
    void deleteAcl(std::int64_t user, std::int64_t acl);
    void addMember(std::int64_t user, std::int64_t acl, std::int64_t member);
    void removeMember(std::int64_t user, std::int64_t acl, std::int64_t member);

    // Messages: to one user, or to every member of one of the sender's lists.
    int sendMessage(std::int64_t from, std::int64_t toUser, std::int64_t toAcl,
                    const std::string& text, std::int64_t now);
    // The user's undelivered messages, oldest first, marked delivered.
    std::vector<MessageRow> takeMessages(std::int64_t user);

    std::int64_t addAppMessage(const std::string& msg, const std::string& url);
    bool removeAppMessage(std::int64_t id);
    std::vector<AppMessageRow> appMessages();

    // Records a mail and writes it as outbox/ID.eml; returns its id.
    std::int64_t queueMail(const MailRow& mail, std::int64_t now);

    // The documents of the account model (see README).
    std::string accountModel(std::int64_t user);
    std::string aclsDocument(std::int64_t user);

    ConnectionPool& pool() { return pool_; }

private:
    std::filesystem::path dataDir_;
    LibraryLimits limits_;
    ConnectionPool pool_;
};

} // namespace velmora::server
