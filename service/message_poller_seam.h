#pragma once

namespace velmora {

// What the application context needs of the message poller: the messaging
// layer provides the poller and installs a maker for it before the context is
// first used (the context owns the poller it makes).
class IMessagePoller {
public:
    virtual ~IMessagePoller() = default;
    // Makes sure a polling run is going; does nothing while one is.
    virtual void Start() = 0;
};

} // namespace velmora
