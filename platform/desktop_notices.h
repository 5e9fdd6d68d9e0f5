#pragma once

// Short notices to the desktop about something that ended while the user was
// looking elsewhere. Whoever runs the program installs how notices are sent
// and how to tell whether the user is at one of its windows; with nothing
// installed (tests, tools) no notice goes anywhere.

#include "scoped_hook.h"

#include <functional>
#include <string>

namespace velmora {

struct DesktopNotice {
    std::string summary;
    std::string body;
    bool operator==(const DesktopNotice&) const = default;
};

struct DesktopNotifications {
    std::function<void(const DesktopNotice&)> send;
    // True while one of the program's windows is the active one.
    std::function<bool()> programActive;
};

// Sends the notice unless the program is active: a user at the window sees
// the outcome there already.
void NotifyDesktop(const DesktopNotice& notice);

class ScopedDesktopNotifications : public ScopedHook<DesktopNotifications> {
public:
    explicit ScopedDesktopNotifications(DesktopNotifications notifications);
};

} // namespace velmora
