#pragma once

// A velmora-service process for the tests: its own data folder, the cheap
// password hash, a free loopback port.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

#include <string>

namespace velmora::test {

class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Seeds the demo accounts (once per data folder) and serves; on the
    // given port, or a free one when 0. False when it did not come up.
    bool start(int port = 0);
    // Stops the process (SIGKILL when hard) and waits for it.
    void stop(bool hard = false);
    // Freezes and thaws the process, so a transfer is caught in the middle.
    void freeze();
    void thaw();

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    QString dataDir() const { return data_.path(); }
    // Runs the service program once with these arguments on the same data
    // folder (an admin command) and gives its standard output.
    QString admin(const QStringList& arguments);

    static QString executable();

private:
    // Started with posix_spawn rather than QProcess, whose vfork-like start
    // runs intercepted calls in a shared address space and misleads
    // ThreadSanitizer.
    pid_t spawn(const QStringList& arguments, const QString& output);

    QTemporaryDir data_;
    QTemporaryDir logs_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// A loopback port on which nothing listens.
int UnusedPort();

} // namespace velmora::test
