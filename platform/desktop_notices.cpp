#include "desktop_notices.h"

namespace velmora {

namespace {

DesktopNotifications& Installed() {
    static DesktopNotifications notifications;
    return notifications;
}

} // namespace

void NotifyDesktop(const DesktopNotice& notice) {
    const DesktopNotifications& installed = Installed();
    if (!installed.send || (installed.programActive && installed.programActive()))
        return;
    installed.send(notice);
}

ScopedDesktopNotifications::ScopedDesktopNotifications(DesktopNotifications notifications)
    : ScopedHook(Installed(), std::move(notifications)) {}

} // namespace velmora
