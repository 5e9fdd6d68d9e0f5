#include "service_process.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora::test {

ServiceProcess::ServiceProcess(const QString& dataDir)
    : dataDir_(dataDir.isEmpty() ? data_.path() : dataDir) {}

ServiceProcess::~ServiceProcess() {
    stop(true);
}

QString ServiceProcess::executable() {
    return QStringLiteral(VELMORA_SERVICE_EXE);
}

pid_t ServiceProcess::spawn(const QStringList& arguments, const QString& output) {
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(executable()));
    for (const QString& a : arguments)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (auto& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    QByteArray out = QFile::encodeName(output);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool ServiceProcess::launch(const QStringList& arguments) {
    stop();
    read_ = 0;
    port_ = 0;
    exitStatus_ = -1;
    pid_ = spawn(QStringList{"--data", dataDir_} + arguments, logs_.path() + "/stdout");
    return pid_ > 0;
}

bool ServiceProcess::start(int port) {
    if (!launch({"--hash-cost", "test", "--quiet", "--seed-demo", "--serve", "--port",
                 QString::number(port)}))
        return false;
    port_ = waitForPort();
    return port_ > 0;
}

QString ServiceProcess::nextLine(const QString& prefix) {
    QFile file(logs_.path() + "/stdout");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = file.readAll();
    QByteArray wanted = prefix.toUtf8();
    qsizetype end = 0;
    while ((end = text.indexOf('\n', read_)) >= 0) {
        QByteArray line = text.mid(read_, end - read_);
        read_ = end + 1;
        if (line.startsWith(wanted))
            return QString::fromUtf8(line);
    }
    return {};
}

bool ServiceProcess::reap(int options) {
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, options) != pid_)
        return false;
    pid_ = -1;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

QString ServiceProcess::waitForLine(const QString& prefix, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        QString line = nextLine(prefix);
        if (!line.isEmpty())
            return line;
        if (pid_ <= 0 || reap(WNOHANG))
            return nextLine(prefix); // what it wrote last
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return {};
}

int ServiceProcess::waitForPort() {
    QString line = waitForLine("listening on ");
    int colon = line.lastIndexOf(':');
    return colon < 0 ? 0 : line.mid(colon + 1).trimmed().toInt();
}

void ServiceProcess::stop(bool hard) {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGCONT);
    ::kill(pid_, hard ? SIGKILL : SIGTERM);
    reap(0);
}

int ServiceProcess::finish(int signal, int timeoutMs) {
    if (pid_ > 0 && signal != 0)
        ::kill(pid_, signal);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0 && !reap(WNOHANG)) {
        if (std::chrono::steady_clock::now() > deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return exitStatus_;
}

void ServiceProcess::freeze() {
    ::kill(pid_, SIGSTOP);
    // The stop lands asynchronously; wait until the process is seen stopped.
    QString stat = QStringLiteral("/proc/%1/stat").arg(pid_);
    for (int i = 0; i < 2000; ++i) {
        QFile file(stat);
        if (!file.open(QIODevice::ReadOnly))
            return;
        QByteArray text = file.readAll();
        int close = text.lastIndexOf(')');
        if (close >= 0 && close + 2 < text.size() && text[close + 2] == 'T')
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ServiceProcess::thaw() {
    ::kill(pid_, SIGCONT);
}

QString ServiceProcess::admin(const QStringList& arguments) {
    QString output = logs_.path() + "/admin";
    pid_t pid = spawn(QStringList{"--data", dataDir_, "--hash-cost", "test"} + arguments, output);
    if (pid <= 0)
        return {};
    int status = 0;
    ::waitpid(pid, &status, 0);
    QFile file(output);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

int UnusedPort() {
    // Bound and closed again: nothing listens there afterwards.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace velmora::test
