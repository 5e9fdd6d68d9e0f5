#pragma once

// The last error text of the proxy and its objects. Each thread has its own,
// so a failed poll on the message thread never replaces the text the
// user-interface thread is about to read after its own failure.

#include "com.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace velmora::proxy {

class ErrorStore {
public:
    void set(std::string text) {
        std::lock_guard lock(mutex_);
        texts_[std::this_thread::get_id()] = std::move(text);
    }
    std::string get() const {
        std::lock_guard lock(mutex_);
        auto it = texts_.find(std::this_thread::get_id());
        return it == texts_.end() ? std::string() : it->second;
    }
    // Records the text and throws the COM error the caller sees.
    [[noreturn]] void fail(HRESULT hr, const Guid& iid, std::string text) {
        set(std::move(text));
        throw ComError(hr, iid);
    }

private:
    mutable std::mutex mutex_;
    std::map<std::thread::id, std::string> texts_;
};

} // namespace velmora::proxy
