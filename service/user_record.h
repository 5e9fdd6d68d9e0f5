#pragma once

#include "xml_node.h"

#include <cstdint>
#include <string>

namespace velmora {

// One user as the service describes him in XML: a lookup reply, or one
// "user" element of the public directory.
struct UserRecord {
    std::int32_t id = 0;
    std::string accountId;
    std::string firstName;
    std::string lastName;
    std::string email;
    std::int32_t plus = 0;
    std::int32_t expired = 0;
    // The XML the record was read from: the whole reply, or for a user read
    // out of a list his own element written out.
    std::string xml;

    // Reads the record from the user element itself.
    void Read(const XmlNode& node);
    // Reads the record from a whole reply text whose root is the user.
    void ReadReply(const std::string& text);

    static UserRecord FromNode(const XmlNode& node);
    static UserRecord FromReply(const std::string& text);
};

} // namespace velmora
