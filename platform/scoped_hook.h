#pragma once

// The one way a process-wide hook (a file chooser, a dialog runner, the
// makers of panes or of the message poller) is replaced: for a scope, with
// the hook before put back when the scope ends, so a test that fails half
// way cannot leave its hook to the next one.

#include <utility>

namespace velmora {

template <class Hook> class ScopedHook {
public:
    ScopedHook(Hook& slot, Hook hook)
        : slot_(slot), previous_(std::exchange(slot, std::move(hook))) {}
    ~ScopedHook() { slot_ = std::move(previous_); }
    ScopedHook(const ScopedHook&) = delete;
    ScopedHook& operator=(const ScopedHook&) = delete;

private:
    Hook& slot_;
    Hook previous_;
};

} // namespace velmora
