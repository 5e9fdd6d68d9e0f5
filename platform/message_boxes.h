#pragma once

// Message boxes go through one replaceable service, so that tests can read
// what the program showed and answer its questions.

#include <memory>
#include <string>

namespace velmora {

enum class BoxButtons { Ok, YesNo };
enum class BoxOwner { MainWindow, ActiveWindow };
enum class BoxAnswer { Ok, Yes, No };

struct MessageBoxRequest {
    std::string caption;
    std::string text;
    BoxButtons buttons = BoxButtons::Ok;
    BoxOwner owner = BoxOwner::MainWindow;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box modally and returns the button pressed.
    virtual BoxAnswer exec(const MessageBoxRequest& request) = 0;
};

// Installs the service and returns the one it replaces. With none installed
// boxes are written to stderr and questions are answered No.
std::shared_ptr<MessageBoxes> InstallMessageBoxes(std::shared_ptr<MessageBoxes> boxes);
std::shared_ptr<MessageBoxes> CurrentMessageBoxes();

// The program's boxes: caption string 101, OK only, owned by the main window.
void ShowMessage(const std::string& text);
void ShowMessage(int stringId);
void ShowMessageNumber(int number);
// Caption string 101, Yes and No, owned by the active window; true for Yes.
bool AskYesNo(const std::string& text);
// The same question with caption string 57344, as the search asks it.
bool AskYesNoAppTitle(const std::string& text);

} // namespace velmora
