#include "proxied_service.h"

#include "service_proxy.h"

namespace velmora::test {

bool ServeThroughProxy(ServiceProcess& service, const TempSettings& settings) {
    RegisterProxyComponent();
    if (!service.start())
        return false;
    auto store = settings.store();
    store->SetHost("127.0.0.1");
    store->SetPort(service.port());
    return true;
}

} // namespace velmora::test
