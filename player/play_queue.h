#pragma once

// The queue of local files that the player view plays one after the other,
// and the worker that hands the next one to the view whenever the player is
// idle.

#include "handle_registry.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace velmora {

// An entry is one text: the path, "|", then the sender's tail: the notify
// window and the item id joined by "|", or "0~0" when nobody is to be told.
// A "|" or "%" inside the path is written as "%7C" or "%25", so a file name
// holding a bar can never be read as a window to notify.
std::string MakeEntry(const std::string& path, const std::string& tail);

struct EntryFields {
    std::string path;
    // The window to tell when the entry starts and ends; 0 for none.
    Handle notifyWindow = 0;
    // Means something only to the notify window.
    std::int32_t itemId = 0;
};

// Only the leading digits of the window and item fields count; a field
// without them, a negative window or a missing field reads as 0.
EntryFields ParseEntry(const std::string& entry);

// The owner's answer to UM_PLAY_ENTRY for an entry it could not even open
// (a file gone meanwhile): repeat does not bring it round again.
inline constexpr std::intptr_t kEntryUnplayable = 1;

class PlayQueue {
public:
    static constexpr std::chrono::milliseconds kPollPeriod{500};

    explicit PlayQueue(std::chrono::milliseconds period = kPollPeriod);
    // Stops the worker and waits for it.
    ~PlayQueue();
    PlayQueue(const PlayQueue&) = delete;
    PlayQueue& operator=(const PlayQueue&) = delete;

    // The window the worker asks UM_PLAYER_BUSY and hands UM_PLAY_ENTRY to.
    void SetOwner(Handle owner);
    // Starts the worker; later calls, and calls after Stop, do nothing.
    void Start();
    bool Running() const;

    // Appends MakeEntry(path, tail). An empty path is refused.
    bool Add(const std::string& path, const std::string& tail);
    // Asks the owner at once rather than at the next poll whether the player
    // is idle, so a player just stopped takes the next entry without delay.
    void Wake();
    void SetRepeat(bool repeat);
    bool Repeat() const;
    std::size_t Size() const;

    // Ends the worker and returns once it has ended; queued entries are
    // dropped. A send to the owner that has not been delivered yet is
    // abandoned, so this may be called on the owner's thread. It must not be
    // called while that thread is handling one of the worker's own messages.
    void Stop();

    std::chrono::milliseconds Period() const { return period_; }

private:
    void Run(std::stop_token stop);

    const std::chrono::milliseconds period_;
    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    Handle owner_ = 0;
    std::deque<std::string> entries_;
    bool stop_ = false;
    // Set by Add, so the worker asks the player at once instead of at its next poll.
    bool added_ = false;
    bool repeat_ = false;
    bool started_ = false;
    std::jthread worker_;
};

} // namespace velmora
