#pragma once

// The outbox's messages as RFC 5322 text.

#include "store.h"

#include <cstdint>
#include <string>

namespace velmora::server {

// The whole .eml text of a mail with this id, dated now (Unix seconds).
std::string FormatMail(const MailRow& mail, std::int64_t id, std::int64_t now);

} // namespace velmora::server
