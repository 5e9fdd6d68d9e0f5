#pragma once

// The desktop's notification server (org.freedesktop.Notifications) as the
// program's notices reach it. Nothing waits on the server: a missing bus or
// server, or one that fails the call, means the notice is dropped quietly.

#include "desktop_notices.h"

#include <QDBusConnection>
#include <QObject>

namespace velmora {

class NotificationClient : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    static constexpr const char* kInterface = "org.freedesktop.Notifications";

    explicit NotificationClient(QDBusConnection connection = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);

    void Send(const DesktopNotice& notice);

    // The notices of the running program: through this client while no
    // window of the program is active.
    DesktopNotifications Notifications();

signals:
    // Each notice ends in exactly one of these: shown (the server took it)
    // or not.
    void Handled(bool shown);

private:
    void SendNotify(const DesktopNotice& notice, bool bodyMarkup);

    QDBusConnection connection_;
};

} // namespace velmora
