#include "wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace velmora {

WaitCursor::WaitCursor() : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (active_)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor() {
    if (active_ && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::restoreOverrideCursor();
}

} // namespace velmora
