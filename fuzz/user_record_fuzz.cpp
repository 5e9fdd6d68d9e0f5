// A lookup reply or directory entry read as a user record: any reply reads
// without failing, and a record read from a user element reads the same
// again from the XML it keeps.

#include "fuzz_check.h"
#include "user_record.h"

using velmora::UserRecord;
using velmora::XmlNode;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = velmora::fuzz::Text(data, size);
    const UserRecord reply = UserRecord::FromReply(text);
    FUZZ_CHECK(text.empty() || reply.xml == text);

    // The same text as a directory: each user of the list read on its own.
    const XmlNode root(text);
    for (const XmlNode& child : root.children()) {
        const UserRecord user = UserRecord::FromNode(child);
        (void)UserRecord::FromReply(user.xml);
    }
    return 0;
}
