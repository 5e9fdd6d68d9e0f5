#pragma once

// A thin layer over SQLite: connections with cached prepared statements, a
// bounded pool of connections and transactions that roll back unless
// committed.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace velmora::server {

class Statement {
public:
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view value);
    Statement& bindNull(int index);
    // Steps once: true while a row is available.
    bool step();
    // Runs a statement that returns no rows.
    void run();
    std::int64_t integer(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    sqlite3_stmt* stmt_;
    friend class Connection;
    friend class Query;
};

// A statement borrowed from a connection's cache; reset when returned.
class Query {
public:
    explicit Query(Statement& statement);
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    ~Query();
    Statement* operator->() { return &statement_; }
    Statement& operator*() { return statement_; }

private:
    Statement& statement_;
};

class Connection {
public:
    explicit Connection(const std::string& path);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    void exec(const char* sql);
    Query query(const std::string& sql);
    std::int64_t lastInsertId() const;
    int changes() const;

private:
    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, std::unique_ptr<Statement>> cache_;
};

// A transaction on one connection; rolls back when not committed. Writers
// start with BEGIN IMMEDIATE so that two writers never deadlock on upgrade.
class Transaction {
public:
    Transaction(Connection& connection, bool write);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void commit();

private:
    Connection& connection_;
    bool open_ = true;
};

class ConnectionPool {
public:
    ConnectionPool(const std::string& path, int size);

    class Lease {
    public:
        Lease(ConnectionPool& pool, Connection* connection)
            : pool_(&pool), connection_(connection) {}
        Lease(Lease&& other) noexcept : pool_(other.pool_), connection_(other.connection_) {
            other.connection_ = nullptr;
        }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();
        Connection* operator->() { return connection_; }
        Connection& operator*() { return *connection_; }

    private:
        ConnectionPool* pool_;
        Connection* connection_;
    };

    Lease acquire();

private:
    std::vector<std::unique_ptr<Connection>> all_;
    std::vector<Connection*> free_;
    std::mutex mutex_;
    std::condition_variable available_;
};

} // namespace velmora::server
