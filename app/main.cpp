#include "service_proxy.h"
#include "settings_store.h"
#include "velmora_player_app.h"

int main(int argc, char** argv) {
    // The two outside components the player reaches the service through.
    velmora::RegisterProxyComponent();
    velmora::RegisterSettingsComponent();
    return velmora::Cvelmora_playerApp::Run(argc, argv);
}
