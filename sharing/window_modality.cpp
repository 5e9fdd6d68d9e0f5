#include "window_modality.h"

#include <QDialog>
#include <QWindow>

namespace velmora {

void MakeModalToWindowOf(QDialog& dialog, QWidget* over) {
    QWindow* blocked = over ? over->window()->windowHandle() : nullptr;
    if (!blocked) {
        dialog.setWindowModality(Qt::ApplicationModal);
        return;
    }
    dialog.setWindowModality(Qt::WindowModal);
    // A child dialog already stands on its parent's window; one without a
    // parent is stood on the window given, which its modality then blocks.
    if (dialog.parentWidget())
        return;
    dialog.winId();
    dialog.windowHandle()->setTransientParent(blocked);
}

} // namespace velmora
