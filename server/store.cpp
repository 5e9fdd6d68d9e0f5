#include "store.h"

#include "blobs.h"
#include "mail.h"
#include "schema.h"
#include "store_error.h"
#include "text.h"
#include "wire/durable_file.h"
#include "wire/media_types.h"
#include "wire/percent.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace velmora::server {

namespace fs = std::filesystem;

UserRow ReadUser(Statement& s, int first) {
    UserRow u;
    u.id = s.integer(first);
    u.accountId = s.text(first + 1);
    u.firstName = s.text(first + 2);
    u.lastName = s.text(first + 3);
    u.email = s.text(first + 4);
    u.tier = static_cast<Tier>(std::clamp<std::int64_t>(s.integer(first + 5), 0, 3));
    u.expired = s.integer(first + 6) != 0;
    u.listed = s.integer(first + 7) != 0;
    return u;
}

namespace {

FolderRow ReadFolder(Statement& s, std::int64_t owner) {
    return FolderRow{owner, s.integer(0), s.integer(1), s.text(2), s.integer(3)};
}

void CheckName(const std::string& name) {
    std::string problem = NameProblem(name);
    if (!problem.empty())
        throw StoreError(StoreError::Kind::InvalidInput, problem);
}

std::optional<FolderRow> OwnFolder(Connection& c, std::int64_t owner, std::int64_t folder) {
    auto q = c.query("SELECT id, parent, name, acl FROM folders WHERE owner = ?1 AND id = ?2");
    q->bind(1, owner).bind(2, folder);
    if (!q->step())
        return std::nullopt;
    return ReadFolder(*q, owner);
}

FolderRow RequireOwnFolder(Connection& c, std::int64_t owner, std::int64_t folder) {
    auto row = OwnFolder(c, owner, folder);
    if (!row)
        throw StoreError(StoreError::Kind::NotFound, "Folder not found");
    return *row;
}

// Whether a file or subfolder of that folder already bears the name; the
// entry being renamed does not count against itself.
bool NameTaken(Connection& c, std::int64_t owner, std::int64_t folder, const std::string& name,
               std::int64_t exceptFolder, std::int64_t exceptFile) {
    auto q = c.query("SELECT 1 FROM folders WHERE owner = ?1 AND parent = ?2 AND name = ?3 "
                     "AND id <> ?4 UNION ALL SELECT 1 FROM files WHERE owner = ?1 AND "
                     "folder = ?2 AND name = ?3 AND id <> ?5 LIMIT 1");
    q->bind(1, owner).bind(2, folder).bind(3, name).bind(4, exceptFolder).bind(5, exceptFile);
    return q->step();
}

// The id of the file of that name in the folder, 0 when there is none.
std::int64_t ExistingFileId(Connection& c, std::int64_t owner, std::int64_t folder,
                            const std::string& name) {
    auto q = c.query("SELECT id FROM files WHERE owner = ?1 AND folder = ?2 AND name = ?3 LIMIT 1");
    q->bind(1, owner).bind(2, folder).bind(3, name);
    return q->step() ? q->integer(0) : 0;
}

std::int64_t NextId(Connection& c, std::int64_t user, const char* column) {
    std::string select = std::string("SELECT ") + column + " FROM users WHERE id = ?1";
    auto q = c.query(select);
    q->bind(1, user);
    if (!q->step())
        throw StoreError(StoreError::Kind::NotSignedIn, "Not signed in");
    std::int64_t id = q->integer(0);
    if (id >= INT32_MAX)
        throw StoreError(StoreError::Kind::OutOfSpace, "No more ids are available in this library");
    std::string update = std::string("UPDATE users SET ") + column + " = ?2 WHERE id = ?1";
    auto u = c.query(update);
    u->bind(1, user).bind(2, id + 1);
    u->run();
    return id;
}

// Under their locks, in sorted order: moves aside the blobs no file refers
// to any more.
void RetireUnreferenced(Connection& c, std::vector<std::string> blobs, RetiredBlobs& retired) {
    std::sort(blobs.begin(), blobs.end());
    blobs.erase(std::unique(blobs.begin(), blobs.end()), blobs.end());
    for (const std::string& blob : blobs)
        retired.retireIfUnreferenced(c, blob);
}

// Folders from "My Media" down to this one, not counting "My Media" itself.
int FolderDepth(Connection& c, std::int64_t owner, std::int64_t folder, int stopAt) {
    auto q = c.query("WITH RECURSIVE up(id, parent, depth) AS ("
                     " SELECT id, parent, 0 FROM folders WHERE owner = ?1 AND id = ?2"
                     " UNION ALL SELECT f.id, f.parent, up.depth + 1 FROM folders f JOIN up"
                     " ON f.owner = ?1 AND f.id = up.parent WHERE up.depth < ?3)"
                     " SELECT MAX(depth) FROM up");
    q->bind(1, owner).bind(2, folder).bind(3, static_cast<std::int64_t>(stopAt));
    return q->step() ? static_cast<int>(q->integer(0)) : 0;
}

std::int64_t EntryCount(Connection& c, std::int64_t owner, std::int64_t folder) {
    auto q = c.query("SELECT (SELECT COUNT(*) FROM folders WHERE owner = ?1 AND parent = ?2) + "
                     "(SELECT COUNT(*) FROM files WHERE owner = ?1 AND folder = ?2)");
    q->bind(1, owner).bind(2, folder);
    return q->step() ? q->integer(0) : 0;
}

void CheckRoomIn(Connection& c, std::int64_t owner, std::int64_t folder, const LibraryLimits& l) {
    if (EntryCount(c, owner, folder) >= l.folderEntries)
        throw StoreError(StoreError::Kind::InvalidInput, "A folder holds at most " +
                                                             std::to_string(l.folderEntries) +
                                                             " files and folders");
}

// True when the viewer is a member of a list that the folder or one of its
// ancestors is shared with.
bool SharedWith(Connection& c, std::int64_t viewer, std::int64_t owner, std::int64_t folder) {
    auto q = c.query(
        "WITH RECURSIVE up(id, parent, acl, depth) AS ("
        " SELECT id, parent, acl, 0 FROM folders WHERE owner = ?1 AND id = ?2"
        " UNION ALL SELECT f.id, f.parent, f.acl, up.depth + 1 FROM folders f JOIN up"
        " ON f.owner = ?1 AND f.id = up.parent WHERE up.depth < 100000)"
        " SELECT 1 FROM up JOIN acl_members m ON m.acl = up.acl WHERE m.\"user\" = ?3 LIMIT 1");
    q->bind(1, owner).bind(2, folder).bind(3, viewer);
    return q->step();
}

} // namespace

namespace {

// The data folder holds password and session hashes, mail and everyone's
// files: private to the service's user whatever the umask, also for a
// folder made by an older version. Returns the database to open: a
// PostgreSQL URI as it is, else an SQLite file, by default in the data
// folder.
std::string PrepareData(const fs::path& dataDir, const std::string& database) {
    for (const char* sub : {"", "blobs", "tmp", "outbox"}) {
        fs::path folder = *sub ? dataDir / sub : dataDir;
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    }
    if (IsPostgresUri(database))
        return database;
    fs::path db = database.empty() ? dataDir / "velmora.db" : fs::path(database);
    // SQLite gives its journal files the mode of the database file.
    int fd = ::open(db.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw StoreError(StoreError::Kind::Internal, "Cannot create " + db.string());
    }
    ::close(fd);
    for (const char* journal : {"-wal", "-shm"}) {
        std::error_code ec;
        fs::permissions(db.string() + journal, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::replace, ec);
    }
    return db.string();
}

} // namespace

Store::Store(const fs::path& dataDir, int connections) : Store(dataDir, "", connections) {}

Store::Store(const fs::path& dataDir, const std::string& database, int connections)
    : dataDir_(dataDir), pool_(OpenerFor(PrepareData(dataDir, database)), connections) {
    auto c = pool_.acquire();
    Migrate(*c);
}

fs::path Store::blobPath(const std::string& blob) const {
    return dataDir_ / "blobs" / blob;
}

int Store::sweep(std::chrono::seconds minAge) {
    int removed = 0;
    {
        auto c = pool_.acquire();
        // Ended sessions and long-delivered messages are of no further use.
        auto now = static_cast<std::int64_t>(std::time(nullptr));
        auto q1 = c->query("DELETE FROM sessions WHERE expires <= ?1");
        q1->bind(1, now);
        q1->run();
        auto q2 = c->query("DELETE FROM messages WHERE delivered <> 0 AND time < ?1");
        q2->bind(1, now - 30LL * 24 * 3600);
        q2->run();
    }
    auto old = [minAge](const fs::path& file) {
        auto age = FileAge(file);
        return age && *age >= minAge;
    };
    // Temporary files of uploads and deletions that another instance may
    // still be busy with are young; old ones are leftovers of a crash, as are
    // uploads of a process of this machine that is gone. A
    // blob moved aside by a deletion that never committed goes back while a
    // file refers to it.
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(tempDir(), ec)) {
        if (!old(entry.path()) && !LeftByDeadProcess(entry.path().filename().string()))
            continue;
        std::string blob = RetiredBlobName(entry.path().filename().string());
        if (!blob.empty()) {
            auto c = pool_.acquire();
            if (BlobReferenced(*c, blob)) {
                try {
                    LinkBlob(entry.path(), blobPath(blob));
                } catch (const std::system_error&) {
                    continue;
                }
            }
        }
        if (fs::remove(entry.path(), ec))
            ++removed;
    }
    std::unordered_set<std::string> referenced;
    {
        auto c = pool_.acquire();
        auto q = c->query("SELECT DISTINCT blob FROM files");
        while (q->step())
            referenced.insert(q->text(0));
    }
    // A blob that looks unreferenced may be about to be committed by
    // another instance: each goes only under its lock.
    std::vector<std::string> candidates;
    for (const auto& entry : fs::directory_iterator(blobDir(), ec)) {
        std::string name = entry.path().filename().string();
        if (!referenced.count(name) && old(entry.path()))
            candidates.push_back(name);
    }
    for (const std::string& blob : candidates) {
        if (releaseBlob(blob))
            ++removed;
    }
    return removed;
}

namespace {

std::int64_t InsertUser(Connection& c, const NewUser& user, const std::string& passwordHash) {
    if (user.accountId.empty() || user.accountId.size() > 255)
        throw StoreError(StoreError::Kind::InvalidInput, "Invalid account id");
    {
        auto q = c.query("SELECT 1 FROM users WHERE accountid = ?1");
        q->bind(1, user.accountId);
        if (q->step())
            throw StoreError(StoreError::Kind::NameTaken, "This account id is taken");
    }
    std::int64_t id = 0;
    {
        auto q = c.query("INSERT INTO users(accountid, pwhash, first_name, last_name, email, "
                         "tier, expired, listed) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) "
                         "RETURNING id");
        q->bind(1, user.accountId)
            .bind(2, passwordHash)
            .bind(3, user.firstName)
            .bind(4, user.lastName)
            .bind(5, user.email)
            .bind(6, static_cast<std::int64_t>(user.tier))
            .bind(7, user.expired ? 1 : 0)
            .bind(8, user.listed ? 1 : 0);
        q->step();
        id = q->integer(0);
    }
    if (id >= INT32_MAX)
        throw StoreError(StoreError::Kind::OutOfSpace, "No more user ids are available");
    auto q = c.query("INSERT INTO folders(owner, id, parent, name, acl) "
                     "VALUES(?1, 1, 0, 'My Media', 0)");
    q->bind(1, id);
    q->run();
    return id;
}

} // namespace

std::int64_t Store::addUser(const NewUser& user, const std::string& passwordHash) {
    return pool_.write([&](Connection& c) { return InsertUser(c, user, passwordHash); });
}

std::vector<std::int64_t> Store::addUsers(const std::vector<NewUser>& users,
                                          const std::string& passwordHash) {
    return pool_.write([&](Connection& c) {
        std::vector<std::int64_t> ids;
        ids.reserve(users.size());
        for (const auto& user : users)
            ids.push_back(InsertUser(c, user, passwordHash));
        return ids;
    });
}

std::optional<std::pair<std::int64_t, std::string>>
Store::credentials(const std::string& accountId) {
    auto c = pool_.acquire();
    auto q = c->query("SELECT id, pwhash FROM users WHERE accountid = ?1");
    q->bind(1, accountId);
    if (!q->step())
        return std::nullopt;
    return std::make_pair(q->integer(0), q->text(1));
}

void Store::setPasswordHash(std::int64_t user, const std::string& hash) {
    auto c = pool_.acquire();
    auto q = c->query("UPDATE users SET pwhash = ?2 WHERE id = ?1");
    q->bind(1, user).bind(2, hash);
    q->run();
}

std::optional<UserRow> Store::userById(std::int64_t id) {
    auto c = pool_.acquire();
    auto q = c->query(std::string("SELECT ") + kUserColumns + " FROM users WHERE id = ?1");
    q->bind(1, id);
    if (!q->step())
        return std::nullopt;
    return ReadUser(*q);
}

std::optional<UserRow> Store::userByAccountId(const std::string& accountId) {
    auto c = pool_.acquire();
    auto q = c->query(std::string("SELECT ") + kUserColumns + " FROM users WHERE accountid = ?1");
    q->bind(1, accountId);
    if (!q->step())
        return std::nullopt;
    return ReadUser(*q);
}

std::optional<UserRow> Store::userByEmail(const std::string& email) {
    if (email.empty())
        return std::nullopt;
    auto c = pool_.acquire();
    // Without regard to ASCII case, on either backend.
    const char* match =
        c->dialect() == Dialect::Postgres
            ? " FROM users WHERE lower(email) = lower(CAST(?1 AS TEXT) COLLATE \"C\")"
            : " FROM users WHERE email = ?1 COLLATE NOCASE";
    auto q = c->query(std::string("SELECT ") + kUserColumns + match + " ORDER BY id LIMIT 1");
    q->bind(1, email);
    if (!q->step())
        return std::nullopt;
    return ReadUser(*q);
}

std::vector<UserRow> Store::directory() {
    auto c = pool_.acquire();
    auto q = c->query(std::string("SELECT ") + kUserColumns +
                      " FROM users WHERE listed <> 0 ORDER BY accountid");
    std::vector<UserRow> out;
    while (q->step())
        out.push_back(ReadUser(*q));
    return out;
}

void Store::addSession(const std::string& tokenHash, std::int64_t user, std::int64_t expires) {
    auto c = pool_.acquire();
    auto q = c->query("INSERT INTO sessions(token_hash, user_id, expires) VALUES(?1, ?2, ?3)");
    q->bind(1, tokenHash).bind(2, user).bind(3, expires);
    q->run();
}

std::optional<Store::SessionRow> Store::session(const std::string& tokenHash, std::int64_t now) {
    auto c = pool_.acquire();
    auto q =
        c->query("SELECT user_id, expires FROM sessions WHERE token_hash = ?1 AND expires > ?2");
    q->bind(1, tokenHash).bind(2, now);
    if (!q->step())
        return std::nullopt;
    return SessionRow{q->integer(0), q->integer(1)};
}

std::optional<std::int64_t> Store::sessionUser(const std::string& tokenHash, std::int64_t now) {
    auto row = session(tokenHash, now);
    return row ? std::optional<std::int64_t>(row->user) : std::nullopt;
}

void Store::removeSession(const std::string& tokenHash) {
    auto c = pool_.acquire();
    auto q = c->query("DELETE FROM sessions WHERE token_hash = ?1");
    q->bind(1, tokenHash);
    q->run();
}

FolderRow Store::createFolder(std::int64_t user, std::int64_t parent, const std::string& name) {
    CheckName(name);
    return pool_.write([&](Connection& c) {
        RequireOwnFolder(c, user, parent);
        if (NameTaken(c, user, parent, name, 0, 0))
            throw StoreError(StoreError::Kind::NameTaken, "An entry with this name already exists");
        if (FolderDepth(c, user, parent, limits_.folderDepth) + 1 > limits_.folderDepth)
            throw StoreError(StoreError::Kind::InvalidInput,
                             "Folders cannot be nested more than " +
                                 std::to_string(limits_.folderDepth) + " deep");
        CheckRoomIn(c, user, parent, limits_);
        FolderRow row{user, NextId(c, user, "next_folder"), parent, name, 0};
        auto q =
            c.query("INSERT INTO folders(owner, id, parent, name, acl) VALUES(?1, ?2, ?3, ?4, 0)");
        q->bind(1, user).bind(2, row.id).bind(3, parent).bind(4, name);
        q->run();
        return row;
    });
}

FolderRow Store::renameFolder(std::int64_t user, std::int64_t folder, const std::string& name) {
    CheckName(name);
    return pool_.write([&](Connection& c) {
        FolderRow row = RequireOwnFolder(c, user, folder);
        if (folder == 1)
            throw StoreError(StoreError::Kind::InvalidInput, "The root folder cannot be renamed");
        if (NameTaken(c, user, row.parent, name, folder, 0))
            throw StoreError(StoreError::Kind::NameTaken, "An entry with this name already exists");
        auto q = c.query("UPDATE folders SET name = ?3 WHERE owner = ?1 AND id = ?2");
        q->bind(1, user).bind(2, folder).bind(3, name);
        q->run();
        row.name = name;
        return row;
    });
}

void Store::deleteFolder(std::int64_t user, std::int64_t folder) {
    RetiredBlobs retired(blobDir(), tempDir());
    pool_.write([&](Connection& c) {
        retired.restore();
        RequireOwnFolder(c, user, folder);
        if (folder == 1)
            throw StoreError(StoreError::Kind::InvalidInput, "The root folder cannot be deleted");
        // The subtree in three statements, not three per folder: a deep
        // tree goes as quickly over a network as it does from a file.
        const std::string subtree =
            "WITH RECURSIVE sub(id) AS (SELECT CAST(?2 AS BIGINT) UNION SELECT f.id FROM "
            "folders f JOIN sub ON f.owner = ?1 AND f.parent = sub.id) ";
        std::vector<std::string> blobs;
        {
            auto q = c.query(subtree + "SELECT blob FROM files WHERE owner = ?1 AND folder IN "
                                       "(SELECT id FROM sub)");
            q->bind(1, user).bind(2, folder);
            while (q->step())
                blobs.push_back(q->text(0));
        }
        for (const char* sql :
             {"DELETE FROM files WHERE owner = ?1 AND folder IN (SELECT id FROM sub)",
              "DELETE FROM folders WHERE owner = ?1 AND id IN (SELECT id FROM sub)"}) {
            auto q = c.query(subtree + sql);
            q->bind(1, user).bind(2, folder);
            q->run();
        }
        RetireUnreferenced(c, std::move(blobs), retired);
    });
    retired.purge();
}

FolderRow Store::setFolderAcl(std::int64_t user, std::int64_t folder, std::int64_t acl) {
    return pool_.write([&](Connection& c) {
        FolderRow row = RequireOwnFolder(c, user, folder);
        if (acl <= 0) {
            acl = 0;
        } else {
            auto q = c.query("SELECT 1 FROM acls WHERE id = ?1 AND owner = ?2");
            q->bind(1, acl).bind(2, user);
            if (!q->step())
                throw StoreError(StoreError::Kind::NotFound, "Access list not found");
        }
        auto q = c.query("UPDATE folders SET acl = ?3 WHERE owner = ?1 AND id = ?2");
        q->bind(1, user).bind(2, folder).bind(3, acl);
        q->run();
        row.acl = acl;
        return row;
    });
}

FileRow Store::renameFile(std::int64_t user, std::int64_t folder, std::int64_t file,
                          const std::string& name) {
    CheckName(name);
    if (!wire::IsMediaFileName(name))
        throw StoreError(StoreError::Kind::InvalidInput, "Invalid file type");
    return pool_.write([&](Connection& c) {
        FileRow row;
        {
            auto q = c.query("SELECT size, blob FROM files WHERE owner = ?1 AND folder = ?2 AND "
                             "id = ?3");
            q->bind(1, user).bind(2, folder).bind(3, file);
            if (!q->step())
                throw StoreError(StoreError::Kind::NotFound, "File not found");
            row = FileRow{user, file, folder, name, q->integer(0), q->text(1)};
        }
        if (NameTaken(c, user, folder, name, 0, file))
            throw StoreError(StoreError::Kind::NameTaken, "An entry with this name already exists");
        auto q = c.query("UPDATE files SET name = ?4 WHERE owner = ?1 AND folder = ?2 AND id = ?3");
        q->bind(1, user).bind(2, folder).bind(3, file).bind(4, name);
        q->run();
        return row;
    });
}

void Store::deleteFile(std::int64_t user, std::int64_t folder, std::int64_t file) {
    RetiredBlobs retired(blobDir(), tempDir());
    pool_.write([&](Connection& c) {
        retired.restore();
        std::string blob;
        {
            auto q = c.query("SELECT blob FROM files WHERE owner = ?1 AND folder = ?2 AND id = ?3");
            q->bind(1, user).bind(2, folder).bind(3, file);
            if (!q->step())
                throw StoreError(StoreError::Kind::NotFound, "File not found");
            blob = q->text(0);
        }
        auto q = c.query("DELETE FROM files WHERE owner = ?1 AND folder = ?2 AND id = ?3");
        q->bind(1, user).bind(2, folder).bind(3, file);
        q->run();
        retired.retireIfUnreferenced(c, blob);
    });
    retired.purge();
}

void Store::checkUploadTarget(std::int64_t user, std::int64_t folder, const std::string& name) {
    CheckName(name);
    if (!wire::IsMediaFileName(name))
        throw StoreError(StoreError::Kind::InvalidInput, "Invalid file type");
    auto c = pool_.acquire();
    // One picture of the folder: a file of the name committed by a
    // concurrent upload between two looks would read as a taken name.
    Transaction tx(*c, false);
    RequireOwnFolder(*c, user, folder);
    // A file of the name is replaced by the upload; a folder of the name is
    // in the way.
    const std::int64_t existing = ExistingFileId(*c, user, folder, name);
    if (NameTaken(*c, user, folder, name, 0, existing))
        throw StoreError(StoreError::Kind::NameTaken, "An entry with this name already exists");
    if (existing == 0)
        CheckRoomIn(*c, user, folder, limits_);
}

FileRow Store::commitFile(std::int64_t user, std::int64_t folder, const std::string& name,
                          std::int64_t size, const std::string& blob, const fs::path& staged) {
    CheckName(name);
    if (!wire::IsMediaFileName(name))
        throw StoreError(StoreError::Kind::InvalidInput, "Invalid file type");
    RetiredBlobs retired(blobDir(), tempDir());
    FileRow committed = pool_.write([&](Connection& c) {
        retired.restore();
        RequireOwnFolder(c, user, folder);
        // One file per name in a folder: an upload of a name already there takes
        // that file's place and keeps its id, so links to it and the lists that
        // show it stay right. The row switches to the new bytes in one commit;
        // the old bytes go only after that, so a failure at any point leaves one
        // whole file under the name, old or new.
        const std::int64_t existing = ExistingFileId(c, user, folder, name);
        if (NameTaken(c, user, folder, name, 0, existing))
            throw StoreError(StoreError::Kind::NameTaken, "An entry with this name already exists");
        std::string oldBlob;
        FileRow row{user, existing, folder, name, size, blob};
        if (existing > 0) {
            {
                auto old = c.query("SELECT blob FROM files WHERE owner = ?1 AND id = ?2");
                old->bind(1, user).bind(2, existing);
                if (old->step())
                    oldBlob = old->text(0);
            }
            auto q = c.query("UPDATE files SET size = ?3, blob = ?4 WHERE owner = ?1 AND id = ?2");
            q->bind(1, user).bind(2, existing).bind(3, size).bind(4, blob);
            q->run();
        } else {
            CheckRoomIn(c, user, folder, limits_);
            row.id = NextId(c, user, "next_file");
            auto q = c.query("INSERT INTO files(owner, id, folder, name, size, blob) "
                             "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
            q->bind(1, user).bind(2, row.id).bind(3, folder).bind(4, name).bind(5, size).bind(6,
                                                                                              blob);
            q->run();
        }
        const bool replaced = !oldBlob.empty() && oldBlob != blob;
        std::vector<std::string> locks{blob};
        if (replaced)
            locks.push_back(oldBlob);
        std::sort(locks.begin(), locks.end());
        for (const std::string& lock : locks)
            LockBlob(c, lock);
        // With the row written and the blob locked, no deletion can take the
        // bytes any more; one that took them before this point is undone here.
        if (!staged.empty() && !fs::exists(blobPath(blob))) {
            try {
                LinkBlob(staged, blobPath(blob));
            } catch (const std::system_error&) {
                throw StoreError(StoreError::Kind::OutOfSpace, "Cannot store the upload");
            }
        }
        if (replaced)
            retired.retireIfUnreferenced(c, oldBlob);
        return row;
    });
    retired.purge();
    return committed;
}

bool Store::releaseBlob(const std::string& blob) {
    RetiredBlobs retired(blobDir(), tempDir());
    bool gone = pool_.write([&](Connection& c) {
        retired.restore();
        return retired.retireIfUnreferenced(c, blob);
    });
    retired.purge();
    return gone;
}

std::optional<FileRow> Store::readableFile(std::int64_t viewer, std::int64_t owner,
                                           std::int64_t folder, std::int64_t file) {
    auto c = pool_.acquire();
    Transaction tx(*c, false);
    FileRow row;
    {
        auto q = c->query("SELECT name, size, blob FROM files WHERE owner = ?1 AND folder = ?2 "
                          "AND id = ?3");
        q->bind(1, owner).bind(2, folder).bind(3, file);
        if (!q->step())
            return std::nullopt;
        row = FileRow{owner, file, folder, q->text(0), q->integer(1), q->text(2)};
    }
    if (viewer != owner && !SharedWith(*c, viewer, owner, folder))
        return std::nullopt;
    return row;
}

std::optional<FolderRow> Store::readableFolder(std::int64_t viewer, std::int64_t owner,
                                               std::int64_t folder) {
    auto c = pool_.acquire();
    Transaction tx(*c, false);
    auto row = OwnFolder(*c, owner, folder);
    if (!row || (viewer != owner && !SharedWith(*c, viewer, owner, folder)))
        return std::nullopt;
    return row;
}

std::vector<FolderRow> Store::subfolders(std::int64_t owner, std::int64_t folder) {
    auto c = pool_.acquire();
    auto q = c->query("SELECT id, parent, name, acl FROM folders WHERE owner = ?1 AND "
                      "parent = ?2 ORDER BY id");
    q->bind(1, owner).bind(2, folder);
    std::vector<FolderRow> out;
    while (q->step())
        out.push_back(ReadFolder(*q, owner));
    return out;
}

std::vector<FileRow> Store::filesIn(std::int64_t owner, std::int64_t folder) {
    auto c = pool_.acquire();
    auto q = c->query("SELECT id, name, size, blob FROM files WHERE owner = ?1 AND folder = ?2 "
                      "ORDER BY id");
    q->bind(1, owner).bind(2, folder);
    std::vector<FileRow> out;
    while (q->step())
        out.push_back(FileRow{owner, q->integer(0), folder, q->text(1), q->integer(2), q->text(3)});
    return out;
}

AclRow Store::createAcl(std::int64_t user, const std::string& name) {
    CheckName(name);
    return pool_.write([&](Connection& c) {
        {
            auto q = c.query("SELECT 1 FROM acls WHERE owner = ?1 AND name = ?2");
            q->bind(1, user).bind(2, name);
            if (q->step())
                throw StoreError(StoreError::Kind::NameTaken,
                                 "Access list with the same name already exists");
        }
        auto q = c.query("INSERT INTO acls(owner, name) VALUES(?1, ?2) RETURNING id");
        q->bind(1, user).bind(2, name);
        q->step();
        AclRow row{q->integer(0), name};
        if (row.id >= INT32_MAX)
            throw StoreError(StoreError::Kind::OutOfSpace, "No more access list ids are available");
        return row;
    });
}

namespace {

void RequireOwnAcl(Connection& c, std::int64_t user, std::int64_t acl) {
    auto q = c.query("SELECT 1 FROM acls WHERE id = ?1 AND owner = ?2");
    q->bind(1, acl).bind(2, user);
    if (!q->step())
        throw StoreError(StoreError::Kind::NotFound, "Access list not found");
}

} // namespace

AclRow Store::renameAcl(std::int64_t user, std::int64_t acl, const std::string& name) {
    CheckName(name);
    return pool_.write([&](Connection& c) {
        RequireOwnAcl(c, user, acl);
        {
            auto q = c.query("SELECT 1 FROM acls WHERE owner = ?1 AND name = ?2 AND id <> ?3");
            q->bind(1, user).bind(2, name).bind(3, acl);
            if (q->step())
                throw StoreError(StoreError::Kind::NameTaken,
                                 "Access list with the same name already exists");
        }
        auto q = c.query("UPDATE acls SET name = ?2 WHERE id = ?1");
        q->bind(1, acl).bind(2, name);
        q->run();
        return AclRow{acl, name};
    });
}

void Store::deleteAcl(std::int64_t user, std::int64_t acl) {
    pool_.write([&](Connection& c) {
        RequireOwnAcl(c, user, acl);
        {
            auto q = c.query("UPDATE folders SET acl = 0 WHERE owner = ?1 AND acl = ?2");
            q->bind(1, user).bind(2, acl);
            q->run();
        }
        {
            auto q = c.query("DELETE FROM acl_members WHERE acl = ?1");
            q->bind(1, acl);
            q->run();
        }
        auto q = c.query("DELETE FROM acls WHERE id = ?1");
        q->bind(1, acl);
        q->run();
    });
}

void Store::addMember(std::int64_t user, std::int64_t acl, std::int64_t member) {
    pool_.write([&](Connection& c) {
        RequireOwnAcl(c, user, acl);
        if (member == user)
            throw StoreError(StoreError::Kind::InvalidInput, "Can't share with yourself");
        {
            auto q = c.query("SELECT 1 FROM users WHERE id = ?1");
            q->bind(1, member);
            if (!q->step())
                throw StoreError(StoreError::Kind::NotFound, "User not found");
        }
        {
            auto q = c.query("SELECT 1 FROM acl_members WHERE acl = ?1 AND \"user\" = ?2");
            q->bind(1, acl).bind(2, member);
            if (q->step())
                throw StoreError(StoreError::Kind::Conflict,
                                 "This user is already part of this access list");
        }
        auto q = c.query("INSERT INTO acl_members(acl, \"user\") VALUES(?1, ?2)");
        q->bind(1, acl).bind(2, member);
        q->run();
    });
}

void Store::removeMember(std::int64_t user, std::int64_t acl, std::int64_t member) {
    pool_.write([&](Connection& c) {
        RequireOwnAcl(c, user, acl);
        auto q = c.query("DELETE FROM acl_members WHERE acl = ?1 AND \"user\" = ?2");
        q->bind(1, acl).bind(2, member);
        q->run();
        if (c.changes() == 0)
            throw StoreError(StoreError::Kind::NotFound, "User not found in this access list");
    });
}

int Store::sendMessage(std::int64_t from, std::int64_t toUser, std::int64_t toAcl,
                       const std::string& text, std::int64_t now) {
    return pool_.write([&](Connection& c) {
        std::vector<std::int64_t> recipients;
        if (toUser != -1) {
            auto q = c.query("SELECT id FROM users WHERE id = ?1");
            q->bind(1, toUser);
            if (!q->step())
                throw StoreError(StoreError::Kind::NotFound, "User not found");
            recipients.push_back(toUser);
        } else {
            RequireOwnAcl(c, from, toAcl);
            auto q = c.query("SELECT \"user\" FROM acl_members WHERE acl = ?1 ORDER BY \"user\"");
            q->bind(1, toAcl);
            while (q->step())
                recipients.push_back(q->integer(0));
        }
        for (std::int64_t to : recipients) {
            auto q = c.query("INSERT INTO messages(to_user, from_user, text, time) "
                             "VALUES(?1, ?2, ?3, ?4)");
            q->bind(1, to).bind(2, from).bind(3, text).bind(4, now);
            q->run();
        }
        return static_cast<int>(recipients.size());
    });
}

std::vector<MessageRow> Store::takeMessages(std::int64_t user) {
    {
        // Most polls find nothing: answer those without a writing transaction.
        auto c = pool_.acquire();
        auto q = c->query("SELECT 1 FROM messages WHERE to_user = ?1 AND delivered = 0 LIMIT 1");
        q->bind(1, user);
        if (!q->step())
            return {};
    }
    return pool_.write([&](Connection& c) {
        std::vector<MessageRow> out;
        {
            auto q = c.query("SELECT id, from_user, text, time FROM messages WHERE to_user = ?1 "
                             "AND delivered = 0 ORDER BY id LIMIT 1000");
            q->bind(1, user);
            while (q->step())
                out.push_back(MessageRow{q->integer(0), q->integer(1), q->text(2), q->integer(3)});
        }
        if (!out.empty()) {
            auto q = c.query("UPDATE messages SET delivered = 1 WHERE to_user = ?1 AND "
                             "delivered = 0 AND id <= ?2");
            q->bind(1, user).bind(2, out.back().id);
            q->run();
        }
        return out;
    });
}

std::int64_t Store::addAppMessage(const std::string& msg, const std::string& url) {
    auto c = pool_.acquire();
    auto q = c->query("INSERT INTO appmessages(msg, url) VALUES(?1, ?2) RETURNING id");
    q->bind(1, msg).bind(2, url);
    q->step();
    return q->integer(0);
}

bool Store::removeAppMessage(std::int64_t id) {
    auto c = pool_.acquire();
    auto q = c->query("DELETE FROM appmessages WHERE id = ?1");
    q->bind(1, id);
    q->run();
    return c->changes() > 0;
}

std::vector<AppMessageRow> Store::appMessages() {
    auto c = pool_.acquire();
    auto q = c->query("SELECT id, msg, url FROM appmessages ORDER BY id");
    std::vector<AppMessageRow> out;
    while (q->step())
        out.push_back(AppMessageRow{q->integer(0), q->text(1), q->text(2)});
    return out;
}

std::int64_t Store::queueMail(const MailRow& mail, std::int64_t now) {
    // The mail file is written before the row commits; one whose row did
    // not commit is removed, so the outbox holds only recorded mail.
    fs::path written;
    auto forget = [&] {
        std::error_code ec;
        if (!written.empty())
            fs::remove(written, ec);
        written.clear();
    };
    try {
        return pool_.write([&](Connection& c) {
            forget();
            auto q = c.query("INSERT INTO outbox(time, sender, recipient, subject, body) "
                             "VALUES(?1, ?2, ?3, ?4, ?5) RETURNING id");
            q->bind(1, now)
                .bind(2, mail.sender)
                .bind(3, mail.recipient)
                .bind(4, mail.subject)
                .bind(5, mail.body);
            q->step();
            std::int64_t id = q->integer(0);
            written = dataDir_ / "outbox" / (std::to_string(id) + ".eml");
            wire::WriteFileDurably(written, FormatMail(mail, id, now));
            return id;
        });
    } catch (...) {
        forget();
        throw;
    }
}

} // namespace velmora::server
