#pragma once

// What the player view needs of a media player: load a file, start it, and
// read its play state. COcxwmp is the real one; the queue logic works against
// this interface alone.

#include <QString>

class QWidget;

namespace velmora {

// Play states, numbered as the player reports them.
enum PlayState : int {
    kPlayStateUndefined = 0,
    kPlayStateStopped = 1,
    kPlayStatePaused = 2,
    kPlayStatePlaying = 3,
    kPlayStateBuffering = 6,
    kPlayStateMediaEnded = 8,
    kPlayStateTransitioning = 9,
    kPlayStateReady = 10,
};

// Idle means a new file may be handed over; every other state holds the queue,
// a paused file included.
constexpr bool IsIdlePlayState(int state) {
    return state == kPlayStateUndefined || state == kPlayStateStopped ||
           state == kPlayStateMediaEnded || state == kPlayStateReady;
}

class IPlayerControl {
public:
    virtual ~IPlayerControl() = default;

    // A local path or a URL.
    virtual void SetURL(const QString& url) = 0;
    // Starts (or resumes) what SetURL named.
    virtual void Play() = 0;
    virtual int GetPlayState() const = 0;
    // Why the file named last cannot be played; empty while nothing failed.
    virtual QString ErrorText() const { return {}; }
    // The widget the view lays out over its client area; null when there is none.
    virtual QWidget* Window() = 0;
};

} // namespace velmora
