#pragma once

// A velmora-service process for the tests: its own data folder (or one the
// test gives), the cheap password hash, a free loopback port.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

#include <string>

namespace velmora::test {

class ServiceProcess {
public:
    // With an empty dataDir the process gets a temporary folder of its own.
    explicit ServiceProcess(const QString& dataDir = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Seeds the demo accounts (once per data folder) and serves; on the
    // given port, or a free one when 0. False when it did not come up.
    bool start(int port = 0);
    // Runs the program with "--data DIR" and these arguments, nothing else.
    bool launch(const QStringList& arguments);
    // Stops the process (SIGKILL when hard) and waits for it.
    void stop(bool hard = false);
    // Sends the signal (none when 0) and waits for the exit: the exit status,
    // 128 + the signal that ended it, or -1 when it did not end in time.
    int finish(int signal, int timeoutMs = 10000);
    // Freezes and thaws the process, so a transfer is caught in the middle.
    void freeze();
    void thaw();

    // The next line of standard output that starts with prefix; empty when
    // none came before the process ended or the time ran out.
    QString waitForLine(const QString& prefix, int timeoutMs = 10000);
    // Waits for "listening on ADDR:PORT" and gives the port, 0 when none came.
    int waitForPort();

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    QString dataDir() const { return dataDir_; }
    // Runs the service program once with these arguments on the same data
    // folder (an admin command) and gives its standard output.
    QString admin(const QStringList& arguments);

    static QString executable();

private:
    // Started with posix_spawn rather than QProcess, whose vfork-like start
    // runs intercepted calls in a shared address space and misleads
    // ThreadSanitizer.
    pid_t spawn(const QStringList& arguments, const QString& output);
    // The next line of the output so far that starts with prefix.
    QString nextLine(const QString& prefix);
    // Collects the exit status when the process has ended.
    bool reap(int waitOptions);

    QTemporaryDir data_;
    QTemporaryDir logs_;
    QString dataDir_;
    pid_t pid_ = -1;
    int port_ = 0;
    qsizetype read_ = 0; // bytes of standard output already looked at
    int exitStatus_ = -1;
};

// A loopback port on which nothing listens.
int UnusedPort();

} // namespace velmora::test
