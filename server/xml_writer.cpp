#include "xml_writer.h"

#include "text.h"
#include "wire/percent.h"
#include "wire/xml_names.h"

namespace velmora::server {

namespace xml = wire::xml;

XmlWriter& XmlWriter::declaration() {
    out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    return *this;
}

void XmlWriter::closeTag() {
    if (inTag_) {
        out_ += '>';
        inTag_ = false;
    }
}

XmlWriter& XmlWriter::start(const char* name) {
    closeTag();
    out_ += '<';
    out_ += name;
    open_.push_back(name);
    inTag_ = true;
    return *this;
}

XmlWriter& XmlWriter::text(const char* name, std::string_view value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    out_ += wire::PercentEncode(value);
    out_ += '"';
    return *this;
}

XmlWriter& XmlWriter::number(const char* name, std::int64_t value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    out_ += std::to_string(value);
    out_ += '"';
    return *this;
}

XmlWriter& XmlWriter::flag(const char* name, bool value) {
    return number(name, value ? 1 : 0);
}

XmlWriter& XmlWriter::children() {
    closeTag();
    return *this;
}

XmlWriter& XmlWriter::content(const char* name, std::string_view value) {
    closeTag();
    out_ += '<';
    out_ += name;
    out_ += '>';
    out_ += XmlEscape(value);
    out_ += "</";
    out_ += name;
    out_ += '>';
    return *this;
}

XmlWriter& XmlWriter::end() {
    if (open_.empty())
        return *this;
    if (inTag_) {
        out_ += "/>";
        inTag_ = false;
    } else {
        out_ += "</";
        out_ += open_.back();
        out_ += '>';
    }
    open_.pop_back();
    return *this;
}

XmlWriter& XmlWriter::newline() {
    closeTag();
    out_ += '\n';
    return *this;
}

void StartUser(XmlWriter& w, const UserRow& u) {
    namespace a = xml::attribute;
    w.start(xml::element::kUser)
        .number(a::kId, u.id)
        .text(a::kAccountId, u.accountId)
        .text(a::kFirstName, u.firstName)
        .text(a::kLastName, u.lastName)
        .text(a::kEmail, u.email)
        .flag(a::kIsPlus, u.tier != Tier::Free)
        .flag(a::kGold, u.tier == Tier::Gold)
        .flag(a::kPlatinum, u.tier == Tier::Platinum)
        .flag(a::kExpired, u.expired)
        .flag(a::kPublic, u.listed);
}

void WriteUser(XmlWriter& w, const UserRow& user) {
    StartUser(w, user);
    w.end();
}

void WriteFolder(XmlWriter& w, const FolderRow& f) {
    namespace a = xml::attribute;
    w.start(xml::element::kFolder)
        .number(a::kId, f.id)
        .number(a::kParent, f.parent)
        .text(a::kName, f.name)
        .number(a::kAcl, f.acl)
        .end();
}

void WriteFile(XmlWriter& w, const FileRow& f) {
    namespace a = xml::attribute;
    w.start(xml::element::kFile)
        .number(a::kId, f.id)
        .number(a::kFolder, f.folder)
        .text(a::kName, f.name)
        .number(a::kSize, f.size)
        .end();
}

void WriteAcl(XmlWriter& w, const AclRow& acl) {
    namespace a = xml::attribute;
    w.start(xml::element::kAcl).number(a::kId, acl.id).text(a::kName, acl.name).end();
}

} // namespace velmora::server
