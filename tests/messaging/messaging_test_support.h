#pragma once

// What the messaging tests share: a window that records the messages handed
// to it, and the messages file the service writes.

#include "event_pump.h"
#include "window_messages.h"
#include "wire/percent.h"
#include "xml_node.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

namespace velmora::test {

// Records the decoded "text" of every UM_USER_MESSAGE it receives; a hook
// runs after each.
class MessageWindow : public QObject {
public:
    std::vector<std::string> texts;
    std::function<void()> onMessage;

protected:
    bool event(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return QObject::event(e);
        auto* message = static_cast<WindowMessage*>(e);
        if (message->message() == UM_USER_MESSAGE) {
            const auto* node = reinterpret_cast<const XmlNode*>(message->lParam());
            texts.push_back(wire::PercentDecode(node->Attribute("text")));
            if (onMessage)
                onMessage();
        }
        message->accept();
        return true;
    }
};

// A messages file as the service writes it: one element per (sender, text).
inline std::string MessagesXml(const std::vector<std::pair<std::string, std::string>>& messages,
                               const std::string& element = "message") {
    std::string xml = "<messages>";
    for (const auto& [from, text] : messages)
        xml += "<" + element + " fromUserId=\"" + from + "\" text=\"" + wire::PercentEncode(text) +
               "\"/>";
    return xml + "</messages>";
}

} // namespace velmora::test
