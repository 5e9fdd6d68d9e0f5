#include "scripted_message_boxes.h"

namespace velmora::test {

BoxAnswer ScriptedMessageBoxes::exec(const MessageBoxRequest& request) {
    shown_.push_back(request);
    if (request.buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    bool yes = false;
    if (!answers_.empty()) {
        yes = answers_.front();
        answers_.pop_front();
    }
    return yes ? BoxAnswer::Yes : BoxAnswer::No;
}

std::vector<std::string> ScriptedMessageBoxes::texts() const {
    std::vector<std::string> result;
    for (const auto& r : shown_)
        result.push_back(r.text);
    return result;
}

ScopedScriptedBoxes::ScopedScriptedBoxes()
    : boxes_(std::make_shared<ScriptedMessageBoxes>()), previous_(InstallMessageBoxes(boxes_)) {}

ScopedScriptedBoxes::~ScopedScriptedBoxes() {
    InstallMessageBoxes(previous_);
}

} // namespace velmora::test
