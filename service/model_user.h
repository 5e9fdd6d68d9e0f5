#pragma once

// One user of the signed-in account's object model as a user record: what a
// user dialog opened from the library or from an access list shows.

#include "user_record.h"

#include <cstdint>
#include <optional>

namespace velmora {

class ServiceClient;

// The record of a user the model holds (one who shares folders, or a member
// of one of the lists); nothing when it holds none by that id. Component
// errors come out as ComError.
std::optional<UserRecord> ModelUserRecord(ServiceClient& client, std::int32_t userId);

} // namespace velmora
