#include "service_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>

#include <chrono>
#include <csignal>
#include <thread>

namespace velmora::test {

ServiceProcess::ServiceProcess() = default;

ServiceProcess::~ServiceProcess() {
    stop(true);
}

QString ServiceProcess::executable() {
    return QStringLiteral(VELMORA_SERVICE_EXE);
}

bool ServiceProcess::start(int port) {
    stop();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(executable(), {"--data", data_.path(), "--hash-cost", "test", "--quiet",
                                   "--seed-demo", "--serve", "--port", QString::number(port)});
    if (!process_->waitForStarted(5000))
        return false;
    QByteArray out;
    while (!out.contains("listening on ")) {
        if (!process_->waitForReadyRead(15000))
            return false;
        out += process_->readAllStandardOutput();
    }
    int at = out.indexOf("listening on ");
    int colon = out.indexOf(':', at + 13);
    int end = out.indexOf('\n', colon);
    port_ = out.mid(colon + 1, end - colon - 1).trimmed().toInt();
    return port_ > 0;
}

void ServiceProcess::stop(bool hard) {
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        ::kill(static_cast<pid_t>(process_->processId()), SIGCONT);
        if (hard)
            process_->kill();
        else
            process_->terminate();
        process_->waitForFinished(10000);
    }
    process_.reset();
}

void ServiceProcess::freeze() {
    auto pid = static_cast<pid_t>(process_->processId());
    ::kill(pid, SIGSTOP);
    // The stop lands asynchronously; wait until the process is seen stopped.
    QString stat = QStringLiteral("/proc/%1/stat").arg(pid);
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
    ::kill(static_cast<pid_t>(process_->processId()), SIGCONT);
}

bool ServiceProcess::running() const {
    return process_ && process_->state() == QProcess::Running;
}

QString ServiceProcess::admin(const QStringList& arguments) {
    QProcess p;
    p.start(executable(), QStringList{"--data", data_.path(), "--hash-cost", "test"} + arguments);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
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
