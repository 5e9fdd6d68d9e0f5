#pragma once

// A velmora-service on a fresh data folder seeded with the benchmark account
// (the service's own password cost, so that timed sign-ins are real ones),
// with this process's settings and proxy pointed at it while it lives.

#include "component_factory.h"
#include "service_proxy.h"
#include "settings_store.h"

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <optional>

namespace velmora::bench {

class SeededService {
public:
    // `name` starts every line printed about a failure.
    explicit SeededService(const char* name) : name_(name) {}

    // Seeds, serves and registers the settings and proxy components; false,
    // after saying why, when the service cannot be seeded or started.
    bool Start() {
        const QString service = QStringLiteral(VELMORA_SERVICE_EXE);
        if (QProcess::execute(service, {"--data", data_.path(), "--quiet", "--seed-bench"}) != 0) {
            std::fprintf(stderr, "%s: --seed-bench failed\n", name_);
            return false;
        }
        server_.start(service, {"--data", data_.path(), "--quiet", "--port", "0"});
        QByteArray out;
        while (!out.contains("listening on ") && server_.waitForReadyRead(15000))
            out += server_.readAllStandardOutput();
        const int colon = out.indexOf(':', out.indexOf("listening on ") + 13);
        const int port = out.mid(colon + 1).trimmed().toInt();
        if (port <= 0) {
            std::fprintf(stderr, "%s: velmora-service did not start\n", name_);
            return false;
        }
        const QString settingsPath = data_.path() + "/settings.ini";
        {
            SettingsStore store(settingsPath);
            store.SetHost("127.0.0.1");
            store.SetPort(port);
        }
        settings_.emplace(CLSID_SettingsStore,
                          [settingsPath] { return std::make_shared<SettingsStore>(settingsPath); });
        RegisterProxyComponent();
        return true;
    }

    void Stop() {
        server_.terminate();
        server_.waitForFinished(10000);
    }

private:
    const char* name_;
    QTemporaryDir data_;
    QProcess server_;
    std::optional<ScopedComponent> settings_;
};

} // namespace velmora::bench
