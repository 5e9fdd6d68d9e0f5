#pragma once

// Writes the service's XML replies. Text attribute values are
// percent-encoded, numbers and flags plain, element content XML-escaped;
// every element and attribute name comes from wire/xml_names.h.

#include "store.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::server {

class XmlWriter {
public:
    // <?xml version="1.0" encoding="UTF-8"?> and a line break.
    XmlWriter& declaration();
    // Opens an element; its attributes follow, then children or end().
    XmlWriter& start(const char* name);
    XmlWriter& text(const char* name, std::string_view value);
    XmlWriter& number(const char* name, std::int64_t value);
    XmlWriter& flag(const char* name, bool value);
    // Ends the start tag: end() then writes a closing tag even when no child
    // follows.
    XmlWriter& children();
    // An element holding only escaped text: <name>text</name>.
    XmlWriter& content(const char* name, std::string_view value);
    // Closes the innermost open element ("/>" when it has no children).
    XmlWriter& end();
    XmlWriter& newline();

    std::string& str() { return out_; }
    std::string take() { return std::move(out_); }

private:
    void closeTag();

    std::string out_;
    std::vector<const char*> open_;
    bool inTag_ = false;
};

// The elements of the service's rows, as every reply writes them. StartUser
// leaves the element open for more attributes or children.
void StartUser(XmlWriter& w, const UserRow& user);
void WriteUser(XmlWriter& w, const UserRow& user);
void WriteFolder(XmlWriter& w, const FolderRow& folder);
void WriteFile(XmlWriter& w, const FileRow& file);
void WriteAcl(XmlWriter& w, const AclRow& acl);

// A reply made of one element and a line break.
template <typename Row>
std::string ElementReply(void (*write)(XmlWriter&, const Row&), const Row& row) {
    XmlWriter w;
    write(w, row);
    return w.newline().take();
}

} // namespace velmora::server
