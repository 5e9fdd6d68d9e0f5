#include "db.h"

#include "db_postgres.h"
#include "db_sqlite.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace velmora::server {

Query Connection::query(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end())
        it = cache_.emplace(sql, prepare(sql)).first;
    return Query(*it->second);
}

Transaction::Transaction(Connection& connection, bool write) : connection_(connection) {
    connection_.begin(write);
}

Transaction::~Transaction() {
    if (open_) {
        try {
            connection_.rollback();
        } catch (...) {
            // The transaction is gone either way.
        }
    }
}

void Transaction::commit() {
    // A COMMIT that fails may leave the transaction open (SQLite when busy):
    // the destructor rolls it back.
    connection_.commit();
    open_ = false;
}

bool IsPostgresUri(const std::string& database) {
    return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

ConnectionOpener OpenerFor(const std::string& database) {
    if (IsPostgresUri(database))
        return [database] { return std::make_unique<PostgresConnection>(database); };
    return [database] { return std::make_unique<SqliteConnection>(database); };
}

ConnectionPool::ConnectionPool(ConnectionOpener open, int size) : open_(std::move(open)) {
    free_.resize(static_cast<std::size_t>(std::max(size, 1)));
    free_.back() = open_();
}

ConnectionPool::Lease ConnectionPool::acquire() {
    std::unique_ptr<Connection> connection;
    {
        std::unique_lock lock(mutex_);
        available_.wait(lock, [this] { return !free_.empty(); });
        connection = std::move(free_.back());
        free_.pop_back();
    }
    if (connection && !connection->usable())
        connection.reset();
    if (!connection) {
        try {
            connection = open_();
        } catch (const std::exception& e) {
            // The slot stays, to be opened by a later request. The reason
            // names hosts and ports: it is for the operator, not the client.
            {
                std::lock_guard lock(mutex_);
                free_.emplace_back();
            }
            available_.notify_one();
            std::fprintf(stderr, "velmora-service: %s\n", e.what());
            throw StoreError(StoreError::Kind::Unavailable,
                             "The database is unavailable; try again later");
        }
    }
    return Lease(*this, std::move(connection));
}

ConnectionPool::Lease::~Lease() {
    if (!pool_ || !connection_)
        return;
    if (!connection_->usable())
        connection_.reset();
    {
        std::lock_guard lock(pool_->mutex_);
        pool_->free_.push_back(std::move(connection_));
    }
    pool_->available_.notify_one();
}

void ConnectionPool::backOff(int attempt) {
    // Random waits that grow with the attempts keep the clashing
    // transactions from meeting again at once.
    thread_local std::minstd_rand random(std::random_device{}());
    int most = std::min(2 * attempt, 40);
    std::uniform_int_distribution<int> ms(1, most);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms(random)));
}

} // namespace velmora::server
