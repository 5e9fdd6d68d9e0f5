// Replies of the service as XmlNode trees: any text either parses into a tree
// whose depths are consistent and bounded, or gives an empty node.

#include "fuzz_check.h"
#include "xml_node.h"
#include "xml_parser.h"

#include <vector>

using velmora::XmlNode;
using velmora::XmlParser;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const XmlNode root = XmlParser::instance().Parse(velmora::fuzz::Text(data, size), &error);
    if (!error.empty()) {
        FUZZ_CHECK(root.empty());
        return 0;
    }
    FUZZ_CHECK(root.depth() == 0);
    std::vector<const XmlNode*> pending{&root};
    while (!pending.empty()) {
        const XmlNode* node = pending.back();
        pending.pop_back();
        FUZZ_CHECK(node->depth() <= XmlParser::kMaxDepth);
        for (const auto& [name, value] : node->attributes())
            FUZZ_CHECK(node->Attribute(name) == value);
        for (int i = 0; i < node->ChildCount(); ++i) {
            const XmlNode& child = node->Child(i);
            FUZZ_CHECK(child.depth() == node->depth() + 1);
            FUZZ_CHECK(&node->FindChild(child.name()) <= &child);
            pending.push_back(&child);
        }
    }
    // What is written out again is read by the same parser elsewhere.
    (void)XmlNode(root.ToXml());
    return 0;
}
