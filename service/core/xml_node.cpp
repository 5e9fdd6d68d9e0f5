#include "xml_node.h"

#include "xml_parser.h"

#include <utility>

namespace velmora {

namespace {

void AppendEscaped(std::string& out, const std::string& value, bool inAttribute) {
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '"':
            if (inAttribute)
                out += "&quot;";
            else
                out += c;
            break;
        default:
            out += c;
        }
    }
}

} // namespace

XmlNode::XmlNode(const std::string& text) : XmlNode(XmlParser::instance().Parse(text)) {}

const XmlNode& XmlNode::FindChild(const std::string& name) const {
    static const XmlNode kEmpty;
    for (const XmlNode& child : children_)
        if (child.name_ == name)
            return child;
    return kEmpty;
}

std::string XmlNode::Attribute(const std::string& name) const {
    auto it = attributes_.find(name);
    return it == attributes_.end() ? std::string() : it->second;
}

void XmlNode::SetAttribute(const std::string& name, const std::string& value) {
    attributes_[name] = value;
}

void XmlNode::AddChild(const XmlNode& child) {
    children_.push_back(child);
    // Walked with an explicit stack: the copy may be deep, and its own
    // descendants carry depths relative to wherever it came from.
    std::vector<std::pair<XmlNode*, std::int32_t>> pending{{&children_.back(), depth_ + 1}};
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        node->depth_ = depth;
        for (XmlNode& grandChild : node->children_)
            pending.emplace_back(&grandChild, depth + 1);
    }
}

std::string XmlNode::ToXml() const {
    std::string out;
    WriteTo(out);
    return out;
}

void XmlNode::WriteTo(std::string& out) const {
    const std::string indent(depth_ > 0 ? static_cast<std::size_t>(depth_) : 0, '\t');
    out += indent;
    out += '<';
    out += name_;
    for (const auto& [name, value] : attributes_) {
        out += ' ';
        out += name;
        out += "=\"";
        AppendEscaped(out, value, true);
        out += '"';
    }
    out += '>';
    if (text_.empty()) {
        out += '\n';
        out += indent;
    } else {
        AppendEscaped(out, text_, false);
    }
    for (const XmlNode& child : children_)
        child.WriteTo(out);
    if (!children_.empty())
        out += indent;
    out += "</";
    out += name_;
    out += ">\n";
}

} // namespace velmora
