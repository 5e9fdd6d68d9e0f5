#include "user_record.h"

#include "text_utils.h"
#include "wire/percent.h"

namespace velmora {

void UserRecord::Read(const XmlNode& node) {
    if (xml.empty())
        xml = node.ToXml();
    id = TextToNumber(node.Attribute("id"));
    accountId = wire::PercentDecode(node.Attribute("accountid"));
    firstName = wire::PercentDecode(node.Attribute("first_name"));
    lastName = wire::PercentDecode(node.Attribute("last_name"));
    email = wire::PercentDecode(node.Attribute("email"));
    plus = TextToNumber(node.Attribute("isplus"));
    expired = TextToNumber(node.Attribute("expired"));
}

void UserRecord::ReadReply(const std::string& text) {
    xml = text;
    Read(XmlNode(text));
}

UserRecord UserRecord::FromNode(const XmlNode& node) {
    UserRecord record;
    record.Read(node);
    return record;
}

UserRecord UserRecord::FromReply(const std::string& text) {
    UserRecord record;
    record.ReadReply(text);
    return record;
}

} // namespace velmora
