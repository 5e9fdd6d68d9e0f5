#include "postgres_cluster.h"

#include <libpq-fe.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace velmora::test {

namespace fs = std::filesystem;

namespace {

const fs::path kBin = "/usr/lib/postgresql/15/bin";

std::string Tail(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

// Runs one SQL command on a database of the cluster.
void Command(const std::string& uri, const std::string& sql) {
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(uri.c_str()), &PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw std::runtime_error("cannot reach the test cluster: " +
                                 std::string(PQerrorMessage(conn.get())));
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn.get(), sql.c_str()), &PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error(sql + ": " + PQresultErrorMessage(result.get()));
}

} // namespace

PostgresCluster::PostgresCluster() {
    for (const char* tool : {"initdb", "pg_ctl", "postgres"}) {
        if (!fs::exists(kBin / tool))
            throw std::runtime_error("PostgreSQL 15 is not installed (" + (kBin / tool).string() +
                                     " is missing); scripts/install-deps installs postgresql-15");
    }
    // A short path: the server's socket lives in it, and socket paths are
    // limited to about a hundred bytes.
    std::string pattern = "/tmp/velmora-pg-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder for the test cluster");
    dir_ = pattern;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(dir_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            throw std::runtime_error("cannot hand " + dir_.string() + " to the user nobody");
    }
    run({(kBin / "initdb").string(), "-D", (dir_ / "data").string(), "-U", "velmora", "-A", "trust",
         "-E", "UTF8", "--locale=C", "--no-sync"});
    start();
}

PostgresCluster::~PostgresCluster() {
    try {
        if (running_)
            run({(kBin / "pg_ctl").string(), "-D", (dir_ / "data").string(), "-m", "immediate",
                 "-w", "stop"});
    } catch (...) {
        // The folder goes anyway; a server left behind ends with its files.
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

PostgresCluster& PostgresCluster::Shared() {
    static PostgresCluster cluster;
    return cluster;
}

void PostgresCluster::start() {
    // No TCP at all; no durability either, which a throwaway cluster has no
    // use for.
    std::string options = "-k " + dir_.string() +
                          " -c listen_addresses= -F -c shared_buffers=16MB"
                          " -c max_connections=200";
    run({(kBin / "pg_ctl").string(), "-D", (dir_ / "data").string(), "-l",
         (dir_ / "server.log").string(), "-w", "-t", "60", "-o", options, "start"});
    running_ = true;
}

void PostgresCluster::stop() {
    run({(kBin / "pg_ctl").string(), "-D", (dir_ / "data").string(), "-m", "fast", "-w", "stop"});
    running_ = false;
}

std::string PostgresCluster::uri(const std::string& database) const {
    return "postgresql:///" + database + "?host=" + dir_.string() + "&user=velmora";
}

std::string PostgresCluster::createDatabase() {
    std::string name = "test_" + std::to_string(++databases_);
    Command(uri("postgres"), "CREATE DATABASE " + name);
    return name;
}

void PostgresCluster::dropDatabase(const std::string& name) {
    Command(uri("postgres"), "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
}

void PostgresCluster::run(const std::vector<std::string>& args) {
    std::vector<std::string> argv;
    if (::geteuid() == 0)
        argv = {"runuser", "-u", "nobody", "--"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& arg : argv)
        raw.push_back(arg.data());
    raw.push_back(nullptr);
    const fs::path log = dir_ / "commands.log";
    int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0)
        throw std::runtime_error("cannot write " + log.string());
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execvp(raw[0], raw.data());
        ::_exit(127);
    }
    ::close(out);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        throw std::runtime_error(args.front() + " failed for the test cluster:\n" + Tail(log) +
                                 Tail(dir_ / "server.log"));
}

ScratchDatabase::ScratchDatabase()
    : name_(PostgresCluster::Shared().createDatabase()),
      uri_(PostgresCluster::Shared().uri(name_)) {}

ScratchDatabase::~ScratchDatabase() {
    try {
        PostgresCluster::Shared().dropDatabase(name_);
    } catch (...) {
        // The cluster and its folder go at the end of the program anyway.
    }
}

} // namespace velmora::test
