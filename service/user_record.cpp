#include "user_record.h"

#include "text_utils.h"
#include "wire/percent.h"
#include "wire/xml_names.h"

namespace velmora {

namespace attribute = wire::xml::attribute;

void UserRecord::Read(const XmlNode& node) {
    if (xml.empty())
        xml = node.ToXml();
    id = TextToNumber(node.Attribute(attribute::kId));
    accountId = wire::PercentDecode(node.Attribute(attribute::kAccountId));
    firstName = wire::PercentDecode(node.Attribute(attribute::kFirstName));
    lastName = wire::PercentDecode(node.Attribute(attribute::kLastName));
    email = wire::PercentDecode(node.Attribute(attribute::kEmail));
    plus = TextToNumber(node.Attribute(attribute::kIsPlus));
    expired = TextToNumber(node.Attribute(attribute::kExpired));
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
