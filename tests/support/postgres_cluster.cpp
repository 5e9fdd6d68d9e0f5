#include "postgres_cluster.h"

#include <libpq-fe.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

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
    for (const char* tool : {"initdb", "postgres"}) {
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
    // SIGQUIT: an immediate stop; the data goes anyway.
    if (server_ > 0) {
        ::kill(server_, SIGQUIT);
        ::waitpid(server_, nullptr, 0);
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

PostgresCluster& PostgresCluster::Shared() {
    static PostgresCluster cluster;
    return cluster;
}

// The server runs as a child of the test program, not as a daemon: should
// the program die without its destructors (a crash, a timeout), the kernel
// stops the server too, so no cluster outlives its test. The signal comes
// when the thread that started the server ends: the first use of the
// cluster belongs on the test's main thread.
void PostgresCluster::start() {
    std::vector<std::string> argv;
    if (::geteuid() == 0) {
        // setpriv, unlike runuser, runs the server itself, and sets the
        // death signal after the change of user, which would clear it.
        const passwd* nobody = ::getpwnam("nobody");
        argv = {"setpriv",
                "--reuid=" + std::to_string(nobody->pw_uid),
                "--regid=" + std::to_string(nobody->pw_gid),
                "--clear-groups",
                "--pdeathsig=SIGQUIT",
                "--"};
    }
    // No TCP at all; no durability either, which a throwaway cluster has no
    // use for.
    for (const std::string& arg :
         {(kBin / "postgres").string(), std::string("-D"), (dir_ / "data").string(),
          std::string("-k"), dir_.string(), std::string("-c"), std::string("listen_addresses="),
          std::string("-F"), std::string("-c"), std::string("shared_buffers=16MB"),
          std::string("-c"), std::string("max_connections=200")})
        argv.push_back(arg);
    std::vector<char*> raw;
    for (auto& arg : argv)
        raw.push_back(arg.data());
    raw.push_back(nullptr);
    const fs::path log = dir_ / "server.log";
    int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0)
        throw std::runtime_error("cannot write " + log.string());
    const pid_t parent = ::getpid();
    server_ = ::fork();
    if (server_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
        if (::getppid() != parent)
            ::_exit(1);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execvp(raw[0], raw.data());
        ::_exit(127);
    }
    ::close(out);
    if (server_ < 0)
        throw std::runtime_error("cannot start the test cluster's server");
    const std::string probe = uri("postgres");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (PQping(probe.c_str()) != PQPING_OK) {
        if (::waitpid(server_, nullptr, WNOHANG) == server_ ||
            std::chrono::steady_clock::now() > deadline) {
            ::kill(server_, SIGQUIT);
            ::waitpid(server_, nullptr, 0);
            server_ = -1;
            throw std::runtime_error("the test cluster's server did not start:\n" + Tail(log));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void PostgresCluster::stop() {
    // SIGINT: a fast stop, which ends the sessions and keeps the data.
    if (server_ <= 0)
        return;
    ::kill(server_, SIGINT);
    ::waitpid(server_, nullptr, 0);
    server_ = -1;
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
