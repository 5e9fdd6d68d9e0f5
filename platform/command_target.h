#pragma once

namespace velmora {

// A window or object that handles menu, toolbar and accelerator commands by
// their command ids. The main frame offers each command to its targets in
// turn until one handles it.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // True when the command was handled.
    virtual bool OnCommand(int id) = 0;
    // Whether the command is available now; commands nobody handles are
    // shown disabled.
    virtual bool HandlesCommand(int id) const = 0;
};

} // namespace velmora
