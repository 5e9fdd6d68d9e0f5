#include "left_view.h"
#include "velmora_player_app.h"

namespace velmora {

CMainFrame::Panes Cvelmora_playerApp::DefaultPanes() {
    return {[](QWidget* parent) { return new CLeftView(parent); },
            [](QWidget* parent) { return new QWidget(parent); }};
}

} // namespace velmora
