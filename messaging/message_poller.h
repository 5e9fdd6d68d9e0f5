#pragma once

// The application-wide message poller: while at least one user dialog is
// open, a worker fetches the file of new messages every poll period and hands
// each "message" to the open dialog of its sender.
//
// One object owns everything a run needs (the registry, the started flag, the
// worker), and the started flag changes under the registry's lock: a dialog
// that registers while a run ends either keeps that run going or starts the
// next one, never neither. No lock is held while the worker waits for the
// user-interface thread: it takes a snapshot of the registry, lets the lock
// go and then delivers, and a dialog whose window closed in between resolves
// to nothing and gets nothing.

#include "message_poller_seam.h"
#include "message_source.h"
#include "poll_failure_log.h"
#include "xml_node.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace velmora {

class MessagePoller : public IMessagePoller {
public:
    static constexpr std::chrono::milliseconds kPollPeriod{3000};
    // Messages kept for a sender whose dialog is not open; the oldest goes
    // first when more come.
    static constexpr std::size_t kKeptPerSender = 100;

    MessagePoller(std::shared_ptr<MessageSource> source, PollFailureLog::Writer log,
                  std::chrono::milliseconds period = kPollPeriod);
    // Ends the run and waits for its worker.
    ~MessagePoller() override;
    MessagePoller(const MessagePoller&) = delete;
    MessagePoller& operator=(const MessagePoller&) = delete;

    void Start() override;
    // Registers the window and hands it, at once, the messages kept for the
    // user (user-interface thread).
    void Register(std::int32_t userId, Handle window) override;
    void Unregister(std::int32_t userId) override;

    // Ends the present run and returns once its worker has ended; a delivery
    // the user-interface thread has not taken yet is given up, so this may be
    // called on that thread (but not from inside a delivery).
    void Stop();
    bool Running() const;
    std::size_t KeptCount(std::int32_t userId) const;

private:
    struct Delivery {
        Handle window;
        XmlNode message;
    };

    // Under mutex_: starts a worker unless one is running.
    void StartLocked();
    void Run(std::stop_token stop);
    void Poll(const std::stop_token& stop);
    // Under mutex_: keeps a message of a sender without an open dialog; true
    // when the oldest kept one had to go for it.
    bool KeepLocked(std::int32_t userId, const XmlNode& message);

    const std::shared_ptr<MessageSource> source_;
    const std::chrono::milliseconds period_;
    PollFailureLog::Writer log_;
    // Used by the worker only.
    PollFailureLog failures_;

    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::map<std::int32_t, Handle> registry_;
    std::map<std::int32_t, std::deque<XmlNode>> kept_;
    bool started_ = false;
    std::jthread worker_;
};

// The program's poller maker: a MessagePoller over the context's client that
// writes its failures to the given log.
std::unique_ptr<IMessagePoller> MakeMessagePoller(ServiceClient& client,
                                                  PollFailureLog::Writer log);

} // namespace velmora
