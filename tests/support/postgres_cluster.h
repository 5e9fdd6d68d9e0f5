#pragma once

// A throwaway PostgreSQL 15 cluster for tests: made in a temporary folder
// with initdb, served on a unix socket in that folder (so no port is shared
// with anything), stopped and removed at the end. As root, the
// server runs as "nobody", since PostgreSQL refuses to run as root. A
// missing PostgreSQL is a failure with a reason, never a skip.

#include <filesystem>
#include <string>
#include <vector>

namespace velmora::test {

class PostgresCluster {
public:
    PostgresCluster();
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // The one cluster of the test program, started on first use.
    static PostgresCluster& Shared();

    // A new empty database; returns its name.
    std::string createDatabase();
    void dropDatabase(const std::string& name);
    // The postgresql:// URI of a database of the cluster.
    std::string uri(const std::string& database) const;

    // Stops the server, keeping the data, and starts it again.
    void stop();
    void start();

private:
    void run(const std::vector<std::string>& args);

    std::filesystem::path dir_;
    int server_ = -1; // the server's process id while it runs
    int databases_ = 0;
};

// A fresh database of the shared cluster for one test, dropped afterwards.
class ScratchDatabase {
public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;
    const std::string& uri() const { return uri_; }

private:
    std::string name_;
    std::string uri_;
};

} // namespace velmora::test
