#pragma once

// The element and attribute names of the XML the service writes and the
// proxy and the player read. Attribute values that are texts travel
// percent-encoded (percent.h); numbers and flags ("0"/"1") as they are.

namespace velmora::wire::xml {

namespace element {
// The account model: account > user, library > folder..., sharing > user >
// folder..., acls > acl > user.
inline constexpr char kAccount[] = "account";
inline constexpr char kLibrary[] = "library";
inline constexpr char kSharing[] = "sharing";
inline constexpr char kAcls[] = "acls";
inline constexpr char kAcl[] = "acl";
inline constexpr char kUser[] = "user";
inline constexpr char kFolder[] = "folder";
inline constexpr char kFile[] = "file";
// Replies of single requests.
inline constexpr char kSession[] = "session";
inline constexpr char kSent[] = "sent";
inline constexpr char kMail[] = "mail";
// The public directory: directory > user...
inline constexpr char kDirectory[] = "directory";
// The messages file: messages > message...
inline constexpr char kMessages[] = "messages";
inline constexpr char kMessage[] = "message";
// The application message file: appmessages > appmessage > msg, url.
inline constexpr char kAppMessages[] = "appmessages";
inline constexpr char kAppMessage[] = "appmessage";
inline constexpr char kAppMessageText[] = "msg";
inline constexpr char kAppMessageUrl[] = "url";
} // namespace element

namespace attribute {
inline constexpr char kId[] = "id";
inline constexpr char kName[] = "name";
// account, session
inline constexpr char kUserId[] = "userid";
inline constexpr char kToken[] = "token";
// folder
inline constexpr char kParent[] = "parent";
inline constexpr char kAcl[] = "acl";
inline constexpr char kVisible[] = "visible";
// file
inline constexpr char kFolder[] = "folder";
inline constexpr char kSize[] = "size";
// user
inline constexpr char kAccountId[] = "accountid";
inline constexpr char kFirstName[] = "first_name";
inline constexpr char kLastName[] = "last_name";
inline constexpr char kEmail[] = "email";
inline constexpr char kIsPlus[] = "isplus";
inline constexpr char kGold[] = "gold";
inline constexpr char kPlatinum[] = "platinum";
inline constexpr char kExpired[] = "expired";
inline constexpr char kPublic[] = "public";
// a sharing user: whether any of his shared folders is visible
inline constexpr char kListed[] = "listed";
// message
inline constexpr char kFromUserId[] = "fromUserId";
inline constexpr char kText[] = "text";
inline constexpr char kTime[] = "time";
// appmessage
inline constexpr char kMsgId[] = "MsgId";
// sent
inline constexpr char kCount[] = "count";
} // namespace attribute

} // namespace velmora::wire::xml
