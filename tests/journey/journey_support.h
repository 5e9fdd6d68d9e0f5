#pragma once

// What the journey needs beside the program: pictures of each step, the
// modal dialogs answered in the order they come, the owner-drawn menus
// chosen from, what the items and the player went through, and a browser's
// session on the service.

#include "handle_registry.h"
#include "menu_xp.h"
#include "modal_runner.h"

#include <QString>

#include <httplib.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QDialog;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace velmora::test {

// Saves every visible window as <folder>/NN-step.png (NN-step-K.png for the
// windows beside the main one), numbered in the order taken.
class Screens {
public:
    explicit Screens(const QString& folder);
    void Take(const std::string& step);

private:
    QString folder_;
    int taken_ = 0;
};

// Answers the modal dialogs in the order they are shown, each with the next
// answer queued; the short pause dialog runs for real. A dialog nobody
// expected fails the test and is cancelled.
class ModalAnswers {
public:
    using Answer = std::function<int(QDialog&)>;
    ModalAnswers();
    ~ModalAnswers();
    ModalAnswers(const ModalAnswers&) = delete;
    ModalAnswers& operator=(const ModalAnswers&) = delete;

    // Queues an answer for the next dialog, which must be a T.
    template <class T> void Expect(std::function<int(T&)> answer) {
        answers_.push_back([answer = std::move(answer)](QDialog& d) -> int {
            if (auto* dialog = dynamic_cast<T*>(&d))
                return answer(*dialog);
            return WrongDialog(d);
        });
    }
    bool AllUsed() const { return answers_.empty(); }

private:
    static int WrongDialog(QDialog& d);

    std::deque<Answer> answers_;
    ModalRunner previous_;
};

// Chooses from the next owner-drawn menus by command id, as a click on the
// entry would; fails when the entry is not offered or not enabled.
class MenuChoices {
public:
    MenuChoices();
    void Choose(int commandId) { choices_.push_back(commandId); }
    bool AllUsed() const { return choices_.empty(); }
    // The labels of the entries of each menu shown, in order.
    const std::vector<std::vector<std::string>>& Shown() const { return shown_; }

private:
    std::deque<int> choices_;
    std::vector<std::vector<std::string>> shown_;
    CMenuXP::ScopedTracker tracker_;
};

// Every text and image each item of a tree had, in order, by item handle.
class ItemHistory {
public:
    explicit ItemHistory(QTreeWidget& tree);
    struct State {
        std::string text;
        int image;
    };
    const std::vector<State>& Of(QTreeWidgetItem* item) const;
    bool Had(QTreeWidgetItem* item, const std::function<bool(const State&)>& test) const;

private:
    std::map<Handle, std::vector<State>> states_;
};

// A browser's session on the service: signed in with its own token.
class WebSession {
public:
    WebSession(int port, const std::string& account, const std::string& password);
    bool SignedIn() const { return !token_.empty(); }
    // GETs the path as it stands (a link goes out as the clipboard holds it);
    // the body of a 200 reply, else an empty text.
    std::string Get(const std::string& path) const;

private:
    int port_;
    std::string token_;
};

// The texts of an item's children, in the tree's order.
std::vector<std::string> ChildTexts(QTreeWidgetItem* item);
// The first item at or below parent with this text, or null.
QTreeWidgetItem* FindItem(QTreeWidgetItem* parent, const std::string& text);

} // namespace velmora::test
