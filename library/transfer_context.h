#pragma once

// The text that travels with a transfer through the proxy and comes back in
// its done message: item handle, file name, local path and the item's image
// before the transfer, joined by "^", then whatever follows ("noplay" for a
// Save, the new file's id that the proxy appends to a finished upload).
// Names and paths may hold "^" themselves, so "%" and "^" inside them are
// written as "%25" and "%5E"; any name and path come back as they went.

#include "handle_registry.h"

#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct TransferContext {
    static constexpr const char* kNoPlay = "noplay";

    Handle item = 0;
    std::string name;
    std::string localPath;
    int image = 0;
    // The fields after the fourth, as they came.
    std::vector<std::string> extra;

    std::string Text() const;
    // Null for a text of fewer than four fields.
    static std::optional<TransferContext> Parse(const std::string& text);

    // A download started by Save: exactly one more field, "noplay".
    bool IsNoPlay() const { return extra.size() == 1 && extra.front() == kNoPlay; }
    // The fifth field read as a file id (a finished upload); 0 when missing
    // or not a number.
    std::int32_t NewFileId() const;
};

} // namespace velmora
