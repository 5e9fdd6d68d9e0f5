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

bool ServiceProcess::start(int port) {
    stop();
    QString output = logs_.path() + "/stdout";
    pid_ = spawn({"--data", data_.path(), "--hash-cost", "test", "--quiet", "--seed-demo",
                  "--serve", "--port", QString::number(port)},
                 output);
    if (pid_ <= 0)
        return false;
    for (int i = 0; i < 3000; ++i) {
        QFile file(output);
        if (file.open(QIODevice::ReadOnly)) {
            QByteArray text = file.readAll();
            int at = text.indexOf("listening on ");
            int end = at < 0 ? -1 : text.indexOf('\n', at);
            if (end > 0) {
                int colon = text.lastIndexOf(':', end);
                port_ = text.mid(colon + 1, end - colon - 1).trimmed().toInt();
                return port_ > 0;
            }
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void ServiceProcess::stop(bool hard) {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGCONT);
    ::kill(pid_, hard ? SIGKILL : SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
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
    pid_t pid =
        spawn(QStringList{"--data", data_.path(), "--hash-cost", "test"} + arguments, output);
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
