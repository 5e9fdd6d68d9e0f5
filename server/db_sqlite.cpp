#include "db_sqlite.h"

#include <sqlite3.h>

namespace velmora::server {

namespace {

[[noreturn]] void Fail(sqlite3* db, const char* what) {
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
[[noreturn]] void FailConstraint(sqlite3* db) {
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

class SqliteStatement : public Statement {
public:
    explicit SqliteStatement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }

    Statement& bind(int index, std::int64_t value) override {
        if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK)
            Fail(sqlite3_db_handle(stmt_), "bind");
        return *this;
    }
    Statement& bind(int index, std::string_view value) override {
        if (sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT,
                                SQLITE_UTF8) != SQLITE_OK)
            Fail(sqlite3_db_handle(stmt_), "bind");
        return *this;
    }
    Statement& bindNull(int index) override {
        if (sqlite3_bind_null(stmt_, index) != SQLITE_OK)
            Fail(sqlite3_db_handle(stmt_), "bind");
        return *this;
    }
    bool step() override {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        if (rc == SQLITE_CONSTRAINT)
            FailConstraint(sqlite3_db_handle(stmt_));
        Fail(sqlite3_db_handle(stmt_), "step");
    }
    std::int64_t integer(int column) const override { return sqlite3_column_int64(stmt_, column); }
    std::string text(int column) const override {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(data, static_cast<std::size_t>(size)) : std::string();
    }
    bool isNull(int column) const override {
        return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
    }
    void reset() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

private:
    sqlite3_stmt* stmt_;
};

} // namespace

SqliteConnection::SqliteConnection(const std::string& path) {
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

SqliteConnection::~SqliteConnection() {
    forgetStatements();
    sqlite3_close(db_);
}

void SqliteConnection::exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown";
        sqlite3_free(message);
        throw StoreError(StoreError::Kind::Internal, "Database error: " + text);
    }
}

std::unique_ptr<Statement> SqliteConnection::prepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                           SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
        Fail(db_, "prepare");
    return std::make_unique<SqliteStatement>(stmt);
}

std::int64_t SqliteConnection::changes() const {
    return sqlite3_changes(db_);
}

// Writers start with BEGIN IMMEDIATE, so that two writers never deadlock on
// upgrading a read lock.
void SqliteConnection::begin(bool write) {
    exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
}

void SqliteConnection::commit() {
    exec("COMMIT");
}

void SqliteConnection::rollback() {
    exec("ROLLBACK");
}

} // namespace velmora::server
