#pragma once

#include "message_boxes.h"

#include <deque>
#include <memory>
#include <vector>

namespace velmora::test {

// Message boxes for tests: records every box shown and answers questions
// from a script (No when the script has run out).
class ScriptedMessageBoxes : public MessageBoxes {
public:
    BoxAnswer exec(const MessageBoxRequest& request) override;

    void answerNext(bool yes) { answers_.push_back(yes); }
    const std::vector<MessageBoxRequest>& shown() const { return shown_; }
    std::vector<std::string> texts() const;
    void clear() { shown_.clear(); }

private:
    std::vector<MessageBoxRequest> shown_;
    std::deque<bool> answers_;
};

// Installs scripted boxes for the lifetime of the guard.
class ScopedScriptedBoxes {
public:
    ScopedScriptedBoxes();
    ~ScopedScriptedBoxes();
    ScriptedMessageBoxes& operator*() { return *boxes_; }
    ScriptedMessageBoxes* operator->() { return boxes_.get(); }

private:
    std::shared_ptr<ScriptedMessageBoxes> boxes_;
    std::shared_ptr<MessageBoxes> previous_;
};

} // namespace velmora::test
