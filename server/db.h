#pragma once

// The service's storage seam: connections to an SQL database with cached
// prepared statements, a bounded pool that reopens lost connections, and
// transactions that roll back unless committed. SQL is written once, with
// numbered ?N placeholders; each backend takes it from there. SQLite
// (db_sqlite.*) is the embedded default, PostgreSQL (db_postgres.*) serves
// many instances at once.

#include "store_error.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velmora::server {

class Statement {
public:
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    virtual ~Statement() = default;

    virtual Statement& bind(int index, std::int64_t value) = 0;
    virtual Statement& bind(int index, std::string_view value) = 0;
    virtual Statement& bindNull(int index) = 0;
    // Steps once: true while a row is available. The first step runs the
    // statement.
    virtual bool step() = 0;
    // Runs a statement that returns no rows.
    void run() {
        while (step()) {
        }
    }
    // A NULL reads as 0 and as an empty text.
    virtual std::int64_t integer(int column) const = 0;
    virtual std::string text(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    // Forgets the rows and the bindings, ready for the next use.
    virtual void reset() = 0;
};

// A statement borrowed from a connection's cache; reset when returned.
class Query {
public:
    explicit Query(Statement& statement) : statement_(statement) {}
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    ~Query() { statement_.reset(); }
    Statement* operator->() { return &statement_; }
    Statement& operator*() { return statement_; }

private:
    Statement& statement_;
};

enum class Dialect { Sqlite, Postgres };

class Connection {
public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    virtual ~Connection() = default;

    virtual Dialect dialect() const = 0;
    // Runs one or more statements that take no parameters.
    virtual void exec(const std::string& sql) = 0;
    Query query(const std::string& sql);
    // Rows changed by the last statement.
    virtual std::int64_t changes() const = 0;
    // A writing transaction behaves as if it ran alone; a reading one sees
    // one consistent picture.
    virtual void begin(bool write) = 0;
    // Throws unless the transaction really committed.
    virtual void commit() = 0;
    virtual void rollback() = 0;
    // False once the connection to the database is lost; the pool then
    // opens another.
    virtual bool usable() { return true; }

protected:
    virtual std::unique_ptr<Statement> prepare(const std::string& sql) = 0;
    // Backends finalise their statements before they close.
    void forgetStatements() { cache_.clear(); }

private:
    std::unordered_map<std::string, std::unique_ptr<Statement>> cache_;
};

// A clash between concurrent transactions that a new attempt of the whole
// transaction resolves. Should it leave the store, the database is busy.
class TransientError : public StoreError {
public:
    explicit TransientError(const std::string& reason)
        : StoreError(StoreError::Kind::Unavailable, reason) {}
};

// A transaction on one connection; rolls back when not committed.
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

using ConnectionOpener = std::function<std::unique_ptr<Connection>()>;

// Opens connections to a database named by a file path (SQLite) or a
// postgresql:// URI.
ConnectionOpener OpenerFor(const std::string& database);
bool IsPostgresUri(const std::string& database);

class ConnectionPool {
public:
    // Opens one connection at once, so that a database out of reach shows at
    // start-up, and the others when first needed.
    ConnectionPool(ConnectionOpener open, int size);

    class Lease {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<Connection> connection)
            : pool_(&pool), connection_(std::move(connection)) {}
        Lease(Lease&& other) noexcept = default;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();
        Connection* operator->() { return connection_.get(); }
        Connection& operator*() { return *connection_; }

    private:
        ConnectionPool* pool_;
        std::unique_ptr<Connection> connection_;
    };

    // Waits for a free connection; refuses with Kind::Unavailable when the
    // database cannot be reached.
    Lease acquire();

    // Runs body(Connection&) in a writing transaction and commits it. A
    // clash with a concurrent transaction runs the whole body again, a
    // bounded number of times, so the body must not act outside the
    // database before it returns.
    template <class Body> auto write(Body&& body) {
        for (int attempt = 1;; ++attempt) {
            try {
                auto c = acquire();
                Transaction tx(*c, true);
                if constexpr (std::is_void_v<decltype(body(*c))>) {
                    body(*c);
                    tx.commit();
                    return;
                } else {
                    auto result = body(*c);
                    tx.commit();
                    return result;
                }
            } catch (const TransientError&) {
                if (attempt >= kAttempts)
                    throw StoreError(StoreError::Kind::Unavailable,
                                     "The database is busy; try again");
                backOff(attempt);
            }
        }
    }

    static constexpr int kAttempts = 30;

private:
    void backOff(int attempt);

    ConnectionOpener open_;
    std::vector<std::unique_ptr<Connection>> free_; // null: not open yet
    std::mutex mutex_;
    std::condition_variable available_;
};

} // namespace velmora::server
