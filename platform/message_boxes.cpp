#include "message_boxes.h"

#include "string_table.h"

#include <cstdio>
#include <mutex>

namespace velmora {
namespace {

class StderrMessageBoxes : public MessageBoxes {
public:
    BoxAnswer exec(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
        return request.buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
    }
};

std::mutex& installMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<MessageBoxes>& installed() {
    static std::shared_ptr<MessageBoxes> boxes = std::make_shared<StderrMessageBoxes>();
    return boxes;
}

BoxAnswer run(int captionId, const std::string& text, BoxButtons buttons, BoxOwner owner) {
    MessageBoxRequest request{LoadString(captionId), text, buttons, owner};
    return CurrentMessageBoxes()->exec(request);
}

} // namespace

std::shared_ptr<MessageBoxes> InstallMessageBoxes(std::shared_ptr<MessageBoxes> boxes) {
    if (!boxes)
        boxes = std::make_shared<StderrMessageBoxes>();
    std::lock_guard lock(installMutex());
    std::swap(installed(), boxes);
    return boxes;
}

std::shared_ptr<MessageBoxes> CurrentMessageBoxes() {
    std::lock_guard lock(installMutex());
    return installed();
}

void ShowMessage(const std::string& text) {
    run(101, text, BoxButtons::Ok, BoxOwner::MainWindow);
}

void ShowMessage(int stringId) {
    ShowMessage(LoadString(stringId));
}

void ShowMessageNumber(int number) {
    ShowMessage(std::to_string(number));
}

bool AskYesNo(const std::string& text) {
    return run(101, text, BoxButtons::YesNo, BoxOwner::ActiveWindow) == BoxAnswer::Yes;
}

bool AskYesNoAppTitle(const std::string& text) {
    return run(AFX_IDS_APP_TITLE, text, BoxButtons::YesNo, BoxOwner::ActiveWindow) ==
           BoxAnswer::Yes;
}

} // namespace velmora
