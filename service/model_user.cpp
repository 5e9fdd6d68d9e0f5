#include "model_user.h"

#include "component_interfaces.h"
#include "service_client.h"

namespace velmora {

std::optional<UserRecord> ModelUserRecord(ServiceClient& client, std::int32_t userId) {
    const std::shared_ptr<IAccount> account = client.GetAccount();
    const auto profile =
        account ? QueryInterface<IUserProfile>(account->UserById(userId)) : nullptr;
    if (!profile)
        return std::nullopt;
    return UserRecord::FromReply(profile->RecordXml());
}

} // namespace velmora
