#include "velmora_player_app.h"

int main(int argc, char** argv) {
    return velmora::Cvelmora_playerApp::Run(argc, argv);
}
