#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The framework's standard switches: embedding, automation and unregistering
// the automation server each end the program at once, with no window and no log.
bool EndsAtOnce(const std::vector<std::string>& arguments);

// Where the Velmora service answers.
struct ServiceAddress {
    std::string host; // an IPv6 address without its brackets
    std::int32_t port = 0;
    bool operator==(const ServiceAddress&) const = default;
};

// "HOST:PORT", or "[IPv6 address]:PORT", with a port from 1 to 65535.
std::optional<ServiceAddress> ParseServiceAddress(const std::string& text);

// The program's own options: "--service HOST:PORT" (or "--service=HOST:PORT")
// names the service for this run only. Other arguments are left to Qt.
struct CommandLineOptions {
    std::optional<ServiceAddress> service;
    std::string error; // what is wrong with the options; empty when nothing is
};
CommandLineOptions ParseCommandLine(const std::vector<std::string>& arguments);

} // namespace velmora
