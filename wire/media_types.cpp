#include "media_types.h"

namespace velmora::wire {

std::string MediaExtensionList() {
    std::string out;
    for (std::string_view extension : kMediaExtensions) {
        if (!out.empty())
            out += '~';
        out += extension;
    }
    return out;
}

bool IsMediaFileName(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    for (std::string_view extension : kMediaExtensions) {
        std::string dotted = "." + std::string(extension);
        if (lower.find(dotted) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace velmora::wire
