#pragma once

// The library tree's commands as the user reaches them: the owner-drawn
// context menu and the keys that act when released.

#include <QtGlobal>

#include <memory>

class QKeyEvent;
class QWidget;

namespace velmora {

class CMenuXP;

enum LibraryCommand : int {
    ID_LIBRARY_SEARCH = 1001,
    ID_LIBRARY_NEW = 1002,
    ID_LIBRARY_SHARE = 1003,
    ID_LIBRARY_DELETE = 1004,
    ID_LIBRARY_RENAME = 1005,
    ID_LIBRARY_EMAIL_LINK = 1006,
    ID_LIBRARY_REFRESH = 1008,
    ID_LIBRARY_PLAY = 1009,
    ID_LIBRARY_COPY_LINK = 1010,
    ID_LIBRARY_COPY_MEDIA_LINK = 1011,
};

// The context menu, made anew for each opening: the title strip, then Play,
// Search, the three links, New, Share, Delete, Rename and Refresh, every
// entry enabled (each command checks its item itself).
std::unique_ptr<CMenuXP> MakeLibraryMenu(QWidget* parent);

// The command a released key stands for, or 0. Auto-repeated releases of a
// held key stand for nothing. Ctrl counts when it is held at the release or
// was held when the key went down (people let go of Ctrl first as often as
// not).
int LibraryCommandOfKey(const QKeyEvent& release, bool controlAtPress = false);

} // namespace velmora
