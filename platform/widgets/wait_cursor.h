#pragma once

namespace velmora {

// Shows the wait cursor for as long as it lives; guards nest.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool active_;
};

} // namespace velmora
