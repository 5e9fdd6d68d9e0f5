#include "play_queue.h"

#include "text_utils.h"
#include "window_messages.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

namespace velmora {

namespace {

constexpr char kPathSeparator = '|';

std::string EscapePath(const std::string& path) {
    return EscapeSeparator(path, kPathSeparator);
}

std::string UnescapePath(const std::string& text) {
    return UnescapeSeparator(text, kPathSeparator);
}

// The window handle named by the leading digits of a field. Handles are
// positive; a negative or out-of-range number names no window.
Handle LeadingHandle(const std::string& field) {
    std::size_t i = 0;
    while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i])))
        ++i;
    if (i < field.size() && field[i] == '+')
        ++i;
    Handle value = 0;
    auto [end, ec] = std::from_chars(field.data() + i, field.data() + field.size(), value);
    (void)end;
    return ec == std::errc() ? value : 0;
}

} // namespace

std::string MakeEntry(const std::string& path, const std::string& tail) {
    return EscapePath(path) + kPathSeparator + tail;
}

EntryFields ParseEntry(const std::string& entry) {
    std::vector<std::string> fields;
    Split(entry, kPathSeparator, fields);
    EntryFields parsed;
    parsed.path = UnescapePath(fields[0]);
    if (fields.size() > 1)
        parsed.notifyWindow = LeadingHandle(fields[1]);
    if (fields.size() > 2)
        parsed.itemId = TextToNumber(fields[2]);
    return parsed;
}

PlayQueue::PlayQueue(std::chrono::milliseconds period) : period_(period) {}

PlayQueue::~PlayQueue() {
    Stop();
}

void PlayQueue::SetOwner(Handle owner) {
    std::lock_guard lock(mutex_);
    owner_ = owner;
}

void PlayQueue::Start() {
    std::lock_guard lock(mutex_);
    if (started_ || stop_)
        return;
    started_ = true;
    worker_ = std::jthread([this](std::stop_token stop) { Run(std::move(stop)); });
}

bool PlayQueue::Running() const {
    std::lock_guard lock(mutex_);
    return started_ && !stop_;
}

bool PlayQueue::Add(const std::string& path, const std::string& tail) {
    if (path.empty())
        return false;
    std::string entry = MakeEntry(path, tail);
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
    // An idle player need not wait for the next poll to start the file.
    added_ = true;
    wake_.notify_one();
    return true;
}

void PlayQueue::Wake() {
    std::lock_guard lock(mutex_);
    added_ = true;
    wake_.notify_one();
}

void PlayQueue::SetRepeat(bool repeat) {
    std::lock_guard lock(mutex_);
    repeat_ = repeat;
}

bool PlayQueue::Repeat() const {
    std::lock_guard lock(mutex_);
    return repeat_;
}

std::size_t PlayQueue::Size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void PlayQueue::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        entries_.clear();
    }
    // Wakes the worker's wait at once and abandons a send that the owner's
    // thread has not taken yet: that thread may be the one waiting here.
    worker_.request_stop();
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

void PlayQueue::Run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, stop, period_, [this] { return stop_ || added_; });
        if (stop_ || stop.stop_requested())
            return;
        added_ = false;
        const Handle owner = owner_;
        lock.unlock();
        // A missing owner would answer 0 like an idle player; entries must
        // not be taken off for nobody.
        const bool idle =
            WindowFromHandle(owner) && SendMessage(owner, UM_PLAYER_BUSY, 0, 0, stop) == 0;
        lock.lock();
        if (stop_ || stop.stop_requested())
            return;
        if (!idle || entries_.empty())
            continue;
        std::string entry = std::move(entries_.front());
        entries_.pop_front();
        const bool repeated = repeat_;
        if (repeated)
            entries_.push_back(entry);
        lock.unlock();
        // The text lives on this stack for the whole send.
        const LRESULT answer = SendMessage(owner, UM_PLAY_ENTRY, 0, textParam(entry), stop);
        lock.lock();
        if (answer == kEntryUnplayable && repeated) {
            const auto copy = std::find(entries_.rbegin(), entries_.rend(), entry);
            if (copy != entries_.rend())
                entries_.erase(std::next(copy).base());
        }
    }
}

} // namespace velmora
