#pragma once

// The program's artwork in its Qt resource. Icons and bitmaps the program
// addresses by resource number are ":/icons/<number>.svg"; the toolbar's
// buttons go by name.

#include "string_table.h"

#include <QString>

namespace velmora {

// IDR_MAINFRAME (string_table.h) is also the program's icon: the window's and
// the Options dialog's.
enum IconResource : int {
    IDB_ABOUT = 130, // the About box's picture
};

// The icons of the context menus' entries (the library tree's and the access
// lists dialog's).
inline constexpr int kMenuIconResources[] = {144, 179, 180, 181, 182, 183,
                                             185, 189, 201, 253, 260, 261};

// The resource path of an icon by its number.
QString IconPath(int resource);

inline constexpr const char* kToolbarOpenIcon = ":/icons/toolbar-open.svg";
inline constexpr const char* kToolbarCutIcon = ":/icons/toolbar-cut.svg";
inline constexpr const char* kToolbarCopyIcon = ":/icons/toolbar-copy.svg";
inline constexpr const char* kToolbarPasteIcon = ":/icons/toolbar-paste.svg";
inline constexpr const char* kToolbarAboutIcon = ":/icons/toolbar-about.svg";

} // namespace velmora
