#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velmora {

// Opening addresses and starting programs goes through here, so tests can see
// what the program would open instead of starting a browser.
struct DesktopActions {
    std::function<bool(const std::string& url)> openUrl;
    std::function<bool(const std::string& program, const std::vector<std::string>& arguments)>
        startProgram;
};

// The "open" verb: QDesktopServices::openUrl unless a test installed another.
bool OpenUrl(const std::string& url);
// Starts a program detached with its arguments.
bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);

// Installs actions (empty members keep the real ones) and returns the old.
DesktopActions InstallDesktopActions(DesktopActions actions);

} // namespace velmora
