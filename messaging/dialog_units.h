#pragma once

#include <QRect>
#include <QWidget>

namespace velmora {

// Dialog layouts are given in dialog units; one is about two pixels here.
inline constexpr int kPixelsPerDialogUnit = 2;

inline QRect DialogRect(int x, int y, int width, int height) {
    return QRect(x * kPixelsPerDialogUnit, y * kPixelsPerDialogUnit, width * kPixelsPerDialogUnit,
                 height * kPixelsPerDialogUnit);
}

inline void PlaceControl(QWidget* control, int x, int y, int width, int height) {
    control->setGeometry(DialogRect(x, y, width, height));
}

} // namespace velmora
