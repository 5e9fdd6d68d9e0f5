#include "left_view.h"
#include "velmora_player_app.h"
#include "velmora_player_view.h"

namespace velmora {

CMainFrame::Panes Cvelmora_playerApp::DefaultPanes() {
    return {[](QWidget* parent) {
                auto* view = new CLeftView(parent);
                view->setAccessibleName("My Media");
                return view;
            },
            [](QWidget* parent) {
                // The library view sets itself up when first shown; the
                // player view starts its queue as soon as it exists.
                auto* view = new Cvelmora_playerView(parent);
                view->OnInitialUpdate();
                return view;
            }};
}

} // namespace velmora
