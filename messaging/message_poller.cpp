#include "message_poller.h"

#include "cache_files.h"
#include "text_utils.h"
#include "window_messages.h"
#include "wire/xml_names.h"

#include <utility>
#include <vector>

namespace velmora {

namespace names = wire::xml;

MessagePoller::MessagePoller(std::shared_ptr<MessageSource> source, PollFailureLog::Writer log,
                             std::chrono::milliseconds period)
    : source_(std::move(source)), period_(period), log_(log), failures_(std::move(log)) {}

MessagePoller::~MessagePoller() {
    Stop();
}

void MessagePoller::Start() {
    std::lock_guard lock(mutex_);
    StartLocked();
}

void MessagePoller::StartLocked() {
    if (started_)
        return;
    // The run before has ended (clearing started_ was its last step under the
    // lock); only its thread's exit can be left to wait for.
    if (worker_.joinable())
        worker_.join();
    started_ = true;
    worker_ = std::jthread([this](std::stop_token stop) { Run(std::move(stop)); });
}

void MessagePoller::Register(std::int32_t userId, Handle window) {
    std::deque<XmlNode> kept;
    {
        std::lock_guard lock(mutex_);
        registry_[userId] = window;
        if (auto it = kept_.find(userId); it != kept_.end()) {
            kept = std::move(it->second);
            kept_.erase(it);
        }
        StartLocked();
    }
    // Older than anything the worker can deliver from now on, which reaches
    // this thread only after it returns to its event loop.
    for (const XmlNode& message : kept)
        SendMessage(window, UM_USER_MESSAGE, 0, reinterpret_cast<LPARAM>(&message));
}

void MessagePoller::Unregister(std::int32_t userId) {
    std::lock_guard lock(mutex_);
    registry_.erase(userId);
}

void MessagePoller::Stop() {
    std::jthread worker;
    {
        std::lock_guard lock(mutex_);
        worker = std::move(worker_);
    }
    // Wakes the worker's wait at once and gives up a delivery this thread
    // has not taken yet: this may be the thread it waits for.
    worker.request_stop();
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
        worker.join();
}

bool MessagePoller::Running() const {
    std::lock_guard lock(mutex_);
    return started_;
}

std::size_t MessagePoller::KeptCount(std::int32_t userId) const {
    std::lock_guard lock(mutex_);
    auto it = kept_.find(userId);
    return it == kept_.end() ? 0 : it->second.size();
}

void MessagePoller::Run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, stop, period_, [] { return false; });
        if (stop.stop_requested() || registry_.empty()) {
            started_ = false;
            return;
        }
        lock.unlock();
        Poll(stop);
        lock.lock();
    }
}

void MessagePoller::Poll(const std::stop_token& stop) {
    std::string path;
    std::string failure;
    if (!source_->FetchMessagesFile(path, failure)) {
        if (failure.empty())
            failures_.Succeeded();
        else
            failures_.Failed(failure);
        return;
    }
    failures_.Succeeded();

    // An unreadable file reads as empty and a text that does not parse as
    // an empty node: no messages either way.
    const XmlNode root(ReadWholeFile(path));
    // By the sender's id, then in file order.
    std::map<std::int32_t, std::vector<Delivery>> deliveries;
    std::map<std::int32_t, int> droppedBySender;
    {
        std::lock_guard lock(mutex_);
        for (const XmlNode& child : root.children()) {
            if (child.name() != names::element::kMessage)
                continue;
            const std::int32_t sender =
                TextToNumber(child.Attribute(names::attribute::kFromUserId));
            if (sender <= 0)
                continue; // no user; no dialog can ever be his
            if (auto it = registry_.find(sender); it != registry_.end()) {
                deliveries[sender].push_back({it->second, child});
            } else {
                if (KeepLocked(sender, child))
                    ++droppedBySender[sender];
            }
        }
    }
    for (const auto& [sender, dropped] : droppedBySender)
        if (log_)
            log_(NumberToText(dropped) + " older message(s) from user " + NumberToText(sender) +
                 " dropped: no more than " +
                 NumberToText(static_cast<std::int32_t>(kKeptPerSender)) +
                 " are kept until his dialog opens");
    for (const auto& [sender, messages] : deliveries) {
        for (const Delivery& delivery : messages) {
            if (stop.stop_requested())
                return;
            SendMessage(delivery.window, UM_USER_MESSAGE, 0,
                        reinterpret_cast<LPARAM>(&delivery.message), stop);
        }
    }
}

bool MessagePoller::KeepLocked(std::int32_t userId, const XmlNode& message) {
    std::deque<XmlNode>& kept = kept_[userId];
    bool dropped = false;
    if (kept.size() >= kKeptPerSender) {
        kept.pop_front();
        dropped = true;
    }
    kept.push_back(message);
    return dropped;
}

std::unique_ptr<IMessagePoller> MakeMessagePoller(ServiceClient& client,
                                                  PollFailureLog::Writer log) {
    return std::make_unique<MessagePoller>(std::make_shared<ServiceClientMessages>(client),
                                           std::move(log));
}

} // namespace velmora
