#include "command_line.h"

#include <algorithm>
#include <cctype>

namespace velmora {

namespace {

constexpr const char* kServiceOption = "--service";

std::optional<std::int32_t> parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const int port = std::stoi(text);
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

bool isHostText(const std::string& host) {
    return !host.empty() && std::none_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isspace(c) || std::iscntrl(c) || c == '/' || c == '[' || c == ']' || c == '@' ||
               c == '?' || c == '#';
    });
}

} // namespace

bool EndsAtOnce(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a.size() < 2 || (a[0] != '/' && a[0] != '-'))
            continue;
        std::string name = a.substr(1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (name == "embedding" || name == "automation" || name == "unregister" ||
            name == "unregserver")
            return true;
    }
    return false;
}

std::optional<ServiceAddress> ParseServiceAddress(const std::string& text) {
    std::string host;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        // An IPv6 address: its own colons are inside the brackets.
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        if (host.find(':') == std::string::npos || !isHostText(host))
            return std::nullopt;
    } else {
        const auto colon = text.find(':');
        // A second colon is an IPv6 address without brackets: its port is
        // anybody's guess.
        if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos)
            return std::nullopt;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (!isHostText(host))
            return std::nullopt;
    }
    const auto number = parsePort(port);
    if (!number)
        return std::nullopt;
    return ServiceAddress{host, *number};
}

CommandLineOptions ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLineOptions options;
    const std::string prefix = std::string(kServiceOption) + "=";
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string value;
        if (arguments[i] == kServiceOption) {
            if (i + 1 == arguments.size()) {
                options.error = "--service needs HOST:PORT, for example --service 127.0.0.1:8080";
                return options;
            }
            value = arguments[++i];
        } else if (arguments[i].rfind(prefix, 0) == 0) {
            value = arguments[i].substr(prefix.size());
        } else {
            continue;
        }
        options.service = ParseServiceAddress(value);
        if (!options.service) {
            options.error = "--service \"" + value +
                            "\" is not HOST:PORT with a port from 1 to 65535 "
                            "(an IPv6 host in brackets: [::1]:8080)";
            return options;
        }
    }
    return options;
}

} // namespace velmora
