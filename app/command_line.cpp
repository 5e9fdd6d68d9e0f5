#include "command_line.h"

#include <algorithm>
#include <cctype>

namespace velmora {

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

} // namespace velmora
