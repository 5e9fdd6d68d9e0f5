#pragma once

// The embedded backend: one SQLite file, writers one at a time.

#include "db.h"

struct sqlite3;
struct sqlite3_stmt;

namespace velmora::server {

class SqliteConnection : public Connection {
public:
    explicit SqliteConnection(const std::string& path);
    ~SqliteConnection() override;

    Dialect dialect() const override { return Dialect::Sqlite; }
    void exec(const std::string& sql) override;
    std::int64_t changes() const override;
    void begin(bool write) override;
    void commit() override;
    void rollback() override;

protected:
    std::unique_ptr<Statement> prepare(const std::string& sql) override;

private:
    sqlite3* db_ = nullptr;
};

} // namespace velmora::server
