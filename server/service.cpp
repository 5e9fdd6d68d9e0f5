#include "service.h"

#include "http_backend.h"
#include "router.h"
#include "routes.h"
#include "wire/link.h"

#include <cstdlib>

namespace velmora::server {

namespace fs = std::filesystem;

fs::path DefaultDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg)
        return fs::path(xdg) / "velmora-service";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".local" / "share" / "velmora-service";
}

Service::Service(Options options) : options_(std::move(options)) {
    if (options_.dataDir.empty())
        options_.dataDir = DefaultDataDir();
    store_ =
        std::make_unique<Store>(options_.dataDir, options_.database, options_.databaseConnections);
    store_->setLimits(options_.libraryLimits);
    hasher_ = std::make_unique<PasswordHasher>(options_.hashCost, options_.hashParallel);
    sessions_ = std::make_unique<Sessions>(*store_);
    throttle_ = std::make_unique<SignInThrottle>(*store_);
    gate_ = std::make_unique<SignInGate>(options_.signInsInFlight, options_.signInsPerMinute);
    router_ = std::make_unique<Router>(*sessions_);
    AddSessionRoutes(*router_, *this);
    AddLibraryRoutes(*router_, *this);
    AddTransferRoutes(*router_, *this);
    AddSharingRoutes(*router_, *this);
    AddMessageRoutes(*router_, *this);
    AddPageRoutes(*router_, *this);
}

Service::~Service() {
    stop();
}

std::string Service::publicUrl() const {
    if (!options_.publicUrl.empty())
        return options_.publicUrl;
    return DefaultPublicUrl(options_, port_.load());
}

std::string DefaultPublicUrl(const Options& options, int port) {
    return wire::link::WebOrigin(
        options.tlsCert.empty() ? options.listen : "https://" + options.listen, port);
}

std::int64_t Service::addUser(const NewUser& user, const std::string& password) {
    return store_->addUser(user, hasher_->hash(password));
}

int Service::start() {
    store_->sweep();
    http_ = std::make_unique<HttpBackend>(*router_, options_);
    port_ = http_->start();
    return port_;
}

void Service::stop() {
    if (http_)
        http_->stop();
}

void Service::wait() {
    if (http_)
        http_->wait();
}

} // namespace velmora::server
