#pragma once

// The parsed form of every XML text the service sends: an element with its
// name, its first text, its attributes and its child elements.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velmora {

class XmlNode {
public:
    XmlNode() = default;
    // Parses the text with the process's XmlParser; a text that does not parse
    // gives an empty node.
    explicit XmlNode(const std::string& text);

    const std::string& name() const { return name_; }
    const std::string& text() const { return text_; }
    const std::vector<XmlNode>& children() const { return children_; }
    const std::map<std::string, std::string>& attributes() const { return attributes_; }
    std::int32_t depth() const { return depth_; }

    void setName(const std::string& name) { name_ = name; }
    void setText(const std::string& text) { text_ = text; }

    int ChildCount() const { return static_cast<int>(children_.size()); }
    // The position must lie below ChildCount().
    const XmlNode& Child(int position) const {
        return children_[static_cast<std::size_t>(position)];
    }

    // The first child of that name, or a shared empty node when there is none.
    const XmlNode& FindChild(const std::string& name) const;

    // An absent attribute reads as empty text.
    std::string Attribute(const std::string& name) const;
    void SetAttribute(const std::string& name, const std::string& value);

    // Appends a copy of child one level below this node; the depths of the
    // whole copied subtree follow from it.
    void AddChild(const XmlNode& child);

    // The node as indented XML text, one tab per level of depth.
    std::string ToXml() const;

    bool empty() const { return name_.empty() && text_.empty() && children_.empty(); }

private:
    friend struct XmlNodeBuilder;

    void WriteTo(std::string& out) const;

    std::string name_;
    std::string text_;
    std::vector<XmlNode> children_;
    std::map<std::string, std::string> attributes_;
    std::int32_t depth_ = 0;
};

} // namespace velmora
