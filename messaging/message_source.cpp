#include "message_source.h"

#include "service_client.h"

namespace velmora {

bool ServiceClientMessages::FetchMessagesFile(std::string& path, std::string& failure) {
    failure.clear();
    if (!client_.IsSignedIn()) {
        path.clear();
        failure = kNotSignedIn;
        return false;
    }
    const std::string before = client_.GetLastError();
    if (client_.GetMessagesFile(path))
        return true;
    const std::string after = client_.GetLastError();
    if (after != before)
        failure = after.starts_with(before) ? after.substr(before.size()) : after;
    return false;
}

} // namespace velmora
