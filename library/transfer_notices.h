#pragma once

// What the desktop is told when a transfer ends while the user is at another
// program: a Save that finished or failed, and an upload that failed. The
// message boxes stay as they are; these come on top of them.

#include <string>

namespace velmora {

struct TransferContext;

void NotifySaveEnded(const TransferContext& context, const std::string& error);
void NotifyUploadFailed(const TransferContext& context, const std::string& error);

} // namespace velmora
