#pragma once

#include "handle_registry.h"

#include <cstdint>

namespace velmora {

// What the application context and the user dialogs need of the message
// poller: the messaging layer provides the poller and installs a maker for it
// before the context is first used (the context owns the poller it makes).
class IMessagePoller {
public:
    virtual ~IMessagePoller() = default;
    // Makes sure a polling run is going; does nothing while one is.
    virtual void Start() = 0;
    // The window that receives the messages of a user while it is open; a
    // registration also starts a run when none is going.
    virtual void Register(std::int32_t userId, Handle window) = 0;
    // Forgets the user's window; nothing happens when there is none.
    virtual void Unregister(std::int32_t userId) = 0;
};

} // namespace velmora
