#include "app_message_store.h"

#include "wire/xml_names.h"
#include "xml_node.h"

#include <QString>

namespace velmora {

namespace {
std::string trimmed(const std::string& text) {
    return QString::fromStdString(text).trimmed().toStdString();
}
} // namespace

bool AppMessageStore::Parse(const std::string& text) {
    texts_.clear();
    links_.clear();
    order_.clear();
    current_ = -1;

    XmlNode root(text);
    bool metMessage = false;
    for (int i = 0; i < root.ChildCount(); ++i) {
        const XmlNode& entry = root.Child(i);
        if (entry.name() != wire::xml::element::kAppMessage)
            continue;
        std::string id = entry.Attribute(wire::xml::attribute::kMsgId);
        std::string message, link;
        for (int k = 0; k < entry.ChildCount(); ++k) {
            const XmlNode& part = entry.Child(k);
            if (part.name() == wire::xml::element::kAppMessageText) {
                message = part.text();
                metMessage = true;
            } else if (part.name() == wire::xml::element::kAppMessageUrl) {
                link = trimmed(part.text());
            }
        }
        order_.push_back(id);
        texts_[id] = message;
        links_[id] = link;
    }
    return metMessage;
}

std::string AppMessageStore::NextText() {
    ++current_;
    if (order_.empty() || current_ >= Count())
        current_ = 0;
    if (order_.empty())
        return {};
    return texts_[order_[static_cast<std::size_t>(current_)]];
}

std::string AppMessageStore::CurrentLink() const {
    if (order_.empty() || links_.empty() || current_ < 0)
        return "none";
    return links_.at(order_[static_cast<std::size_t>(current_)]);
}

std::string AppMessageStore::CurrentId() const {
    if (order_.empty() || current_ < 0)
        return "0";
    return order_[static_cast<std::size_t>(current_)];
}

} // namespace velmora
