#pragma once

// A velmora-service process for the tests: its own data folder, the cheap
// password hash, a free loopback port.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace velmora::test {

class ServiceProcess {
public:
    ServiceProcess();
    ~ServiceProcess();

    // Seeds the demo accounts (once per data folder) and serves; on the
    // given port, or a free one when 0. False when it did not come up.
    bool start(int port = 0);
    // Stops the process (SIGKILL when hard) and waits for it.
    void stop(bool hard = false);
    // Freezes and thaws the process, so a transfer is caught in the middle.
    void freeze();
    void thaw();

    bool running() const;
    int port() const { return port_; }
    QString dataDir() const { return data_.path(); }
    // Runs the service program once with these arguments on the same data
    // folder (an admin command) and gives its standard output.
    QString admin(const QStringList& arguments);

    static QString executable();

private:
    QTemporaryDir data_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
};

// A loopback port on which nothing listens.
int UnusedPort();

} // namespace velmora::test
