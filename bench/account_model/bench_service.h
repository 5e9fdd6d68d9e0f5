#pragma once

// What the component benchmarks share: a velmora-service child process on a
// free loopback port with a temporary data folder, a settings store pointing
// at it, curl runs and the memory in use.

#include "component_factory.h"
#include "settings_store.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace velmora::bench {

class BenchService {
public:
    // Runs the seeding command given, then serves.
    bool start(const QString& seed) {
        if (!data_.isValid())
            return false;
        process_.start(VELMORA_SERVICE_EXE, {"--data", data_.path(), "--hash-cost", "test",
                                             "--quiet", seed, "--serve", "--port", "0"});
        if (!process_.waitForStarted(5000))
            return false;
        QByteArray out;
        while (!out.contains("listening on ")) {
            if (!process_.waitForReadyRead(120000))
                return false;
            out += process_.readAllStandardOutput();
        }
        int at = out.indexOf("listening on ");
        int colon = out.indexOf(':', at + 13);
        int end = out.indexOf('\n', colon);
        port_ = out.mid(colon + 1, end - colon - 1).trimmed().toInt();
        return port_ > 0;
    }
    ~BenchService() {
        process_.terminate();
        process_.waitForFinished(10000);
    }
    int port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    QTemporaryDir data_;
    QProcess process_;
    int port_ = 0;
};

// The settings component, over a file of its own, pointing at the service.
class BenchSettings {
public:
    explicit BenchSettings(int port)
        : path_(dir_.path() + "/settings.ini"),
          scope_(CLSID_SettingsStore, [this] { return std::make_shared<SettingsStore>(path_); }) {
        SettingsStore store(path_);
        store.SetHost("127.0.0.1");
        store.SetPort(port);
    }

private:
    QTemporaryDir dir_;
    QString path_;
    ScopedComponent scope_;
};

// Runs curl with the arguments; its seconds, or a negative value on failure.
inline double TimeCurl(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start("curl", QStringList{"-s", "-f"} + arguments);
    if (!curl.waitForFinished(600000) || curl.exitCode() != 0)
        return -1;
    double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (output)
        *output = curl.readAllStandardOutput();
    return seconds;
}

// A session token for curl's requests.
inline std::string CurlSignIn(const std::string& base, const std::string& account,
                              const std::string& password) {
    QByteArray reply;
    if (TimeCurl({"-d", QString::fromStdString("accountid=" + account), "-d",
                  QString::fromStdString("password=" + password),
                  QString::fromStdString(base + "/session")},
                 &reply) < 0)
        return {};
    int at = reply.indexOf("token=\"");
    if (at < 0)
        return {};
    int end = reply.indexOf('"', at + 7);
    return reply.mid(at + 7, end - at - 7).toStdString();
}

// Resident memory of this process in MiB.
inline double ResidentMiB() {
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    return static_cast<double>(fields[1].toLongLong()) * 4096.0 / (1024.0 * 1024.0);
}

} // namespace velmora::bench
