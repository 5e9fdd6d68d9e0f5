#pragma once

#include <map>
#include <string>
#include <vector>

namespace velmora {

// The short texts the service supplies for free accounts, each with an
// optional link, shown one after the other in the message bar. Used under
// the application's store lock.
class AppMessageStore {
public:
    // Replaces the whole store with the "appmessage" entries of the text;
    // true when at least one "msg" element was met.
    bool Parse(const std::string& text);
    // Advances cyclically and returns the text whose turn it is (empty when
    // the store is empty).
    std::string NextText();
    // The link of the message shown now, or "none".
    std::string CurrentLink() const;
    // The MsgId of the message shown now, or "0".
    std::string CurrentId() const;

    int Count() const { return static_cast<int>(order_.size()); }

private:
    std::map<std::string, std::string> texts_;
    std::map<std::string, std::string> links_;
    std::vector<std::string> order_;
    int current_ = -1;
};

} // namespace velmora
