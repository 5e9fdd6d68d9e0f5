#include "db.h"

#include "store_error.h"

#include <sqlite3.h>

namespace velmora::server {

namespace {

[[noreturn]] void fail(sqlite3* db, const char* what) {
    throw StoreError(StoreError::Kind::Internal, std::string("Database error: ") + what + ": " +
                                                     (db ? sqlite3_errmsg(db) : "no connection"));
}

// Whether a "UNIQUE constraint failed: table.a, table.b" message is about a
// name: the last column of the constraint is a name or an account id.
bool OnName(const std::string& message) {
    std::size_t dot = message.rfind('.');
    if (message.find("UNIQUE constraint failed: ") != 0 || dot == std::string::npos)
        return false;
    std::string column = message.substr(dot + 1);
    return column == "name" || column == "accountid";
}

// Only a UNIQUE constraint over a name means that the name is taken; any
// other constraint is a clash that the checks before the write missed.
[[noreturn]] void failConstraint(sqlite3* db) {
    int code = sqlite3_extended_errcode(db);
    std::string message = sqlite3_errmsg(db);
    if (code == SQLITE_CONSTRAINT_UNIQUE && OnName(message))
        throw StoreError(StoreError::Kind::NameTaken, "An entry with this name already exists");
    if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY ||
        code == SQLITE_CONSTRAINT_FOREIGNKEY)
        throw StoreError(StoreError::Kind::Conflict,
                         "The change conflicts with stored data (" + message + ")");
    throw StoreError(StoreError::Kind::Internal, "Database error: " + message);
}

} // namespace

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK)
        fail(sqlite3_db_handle(stmt_), "bind");
    return *this;
}

Statement& Statement::bind(int index, std::string_view value) {
    if (sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK)
        fail(sqlite3_db_handle(stmt_), "bind");
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (sqlite3_bind_null(stmt_, index) != SQLITE_OK)
        fail(sqlite3_db_handle(stmt_), "bind");
    return *this;
}

bool Statement::step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    if (rc == SQLITE_CONSTRAINT)
        failConstraint(sqlite3_db_handle(stmt_));
    fail(sqlite3_db_handle(stmt_), "step");
}

void Statement::run() {
    while (step()) {
    }
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string Statement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Query::Query(Statement& statement) : statement_(statement) {}

Query::~Query() {
    sqlite3_reset(statement_.stmt_);
    sqlite3_clear_bindings(statement_.stmt_);
}

Connection::Connection(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError(StoreError::Kind::Internal,
                         "Cannot open the database " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, 10000);
    exec("PRAGMA journal_mode=WAL");
    // FULL keeps a committed transaction through a power cut, not only
    // through a killed process.
    exec("PRAGMA synchronous=FULL");
    exec("PRAGMA foreign_keys=OFF");
}

Connection::~Connection() {
    cache_.clear();
    sqlite3_close(db_);
}

void Connection::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown";
        sqlite3_free(message);
        throw StoreError(StoreError::Kind::Internal, "Database error: " + text);
    }
}

Query Connection::query(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                               SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
            fail(db_, "prepare");
        it = cache_.emplace(sql, std::make_unique<Statement>(stmt)).first;
    }
    return Query(*it->second);
}

std::int64_t Connection::lastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

int Connection::changes() const {
    return sqlite3_changes(db_);
}

Transaction::Transaction(Connection& connection, bool write) : connection_(connection) {
    connection_.exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
    if (open_) {
        try {
            connection_.exec("ROLLBACK");
        } catch (...) {
            // The transaction is gone either way.
        }
    }
}

void Transaction::commit() {
    connection_.exec("COMMIT");
    open_ = false;
}

ConnectionPool::ConnectionPool(const std::string& path, int size) {
    for (int i = 0; i < size; ++i) {
        all_.push_back(std::make_unique<Connection>(path));
        free_.push_back(all_.back().get());
    }
}

ConnectionPool::Lease ConnectionPool::acquire() {
    std::unique_lock lock(mutex_);
    available_.wait(lock, [this] { return !free_.empty(); });
    Connection* connection = free_.back();
    free_.pop_back();
    return Lease(*this, connection);
}

ConnectionPool::Lease::~Lease() {
    if (!connection_)
        return;
    {
        std::lock_guard lock(pool_->mutex_);
        pool_->free_.push_back(connection_);
    }
    pool_->available_.notify_one();
}

} // namespace velmora::server
