#pragma once

// The backend for many instances: PostgreSQL through libpq, with statements
// prepared once per connection. Writing transactions are SERIALIZABLE, so
// they behave as SQLite's one-at-a-time writers do; a clash between two of
// them surfaces as a TransientError for the pool to run again.

#include "db.h"

struct pg_conn;
struct pg_result;

namespace velmora::server {

// SQL written with ?N placeholders, in PostgreSQL's $N form; quoted text and
// names are left as they are.
std::string DollarPlaceholders(std::string_view sql);

class PostgresConnection : public Connection {
public:
    explicit PostgresConnection(const std::string& uri);
    ~PostgresConnection() override;

    Dialect dialect() const override { return Dialect::Postgres; }
    void exec(const std::string& sql) override;
    std::int64_t changes() const override { return changes_; }
    void begin(bool write) override;
    void commit() override;
    void rollback() override;
    bool usable() override;

    // Runs a statement prepared under that name; the result belongs to the
    // caller. Refuses with the StoreError the failure stands for.
    pg_result* run(const std::string& name, int count, const char* const* values);
    // The server process serving this connection.
    int backendPid() const;

protected:
    std::unique_ptr<Statement> prepare(const std::string& sql) override;

private:
    pg_conn* conn_ = nullptr;
    std::int64_t changes_ = 0;
    int prepared_ = 0;
};

} // namespace velmora::server
