#pragma once

// The client side as the program runs it against a real velmora-service: the
// proxy component registered and the settings pointed at the service on
// loopback.

#include "service_process.h"
#include "temp_settings.h"

namespace velmora::test {

// Registers the proxy, starts the service and stores its host and port in
// the settings. False when the service did not come up.
bool ServeThroughProxy(ServiceProcess& service, const TempSettings& settings);

} // namespace velmora::test
