#include "library_menu.h"

#include "icons.h"
#include "menu_xp.h"

#include <QKeyEvent>

namespace velmora {

namespace {

constexpr int kIconSize = 32;
constexpr int kTitleStripWidth = 24;
constexpr int kNoIcon = 0;

struct MenuEntry {
    int command; // 0: a separator
    const char* text;
    int icon;
};

// The labels carry their keys after a tab, as the menu shows them.
constexpr MenuEntry kEntries[] = {
    {ID_LIBRARY_PLAY, "Play\tP", 185},
    {ID_LIBRARY_SEARCH, "Search...\tCtrl+F", 183},
    {0, nullptr, kNoIcon},
    {ID_LIBRARY_EMAIL_LINK, "Email Link\tF6", 179},
    {ID_LIBRARY_COPY_LINK, "Copy Link\tf7", 260},
    {ID_LIBRARY_COPY_MEDIA_LINK, "Copy Media Link", 261},
    {0, nullptr, kNoIcon},
    {ID_LIBRARY_NEW, "New...", 181},
    {ID_LIBRARY_SHARE, "Share...", 182},
    {ID_LIBRARY_DELETE, "Delete\tDel", 180},
    {ID_LIBRARY_RENAME, "Rename...\tF2", kNoIcon},
    {0, nullptr, kNoIcon},
    {ID_LIBRARY_REFRESH, "Refresh\tF5", 189},
};

} // namespace

std::unique_ptr<CMenuXP> MakeLibraryMenu(QWidget* parent) {
    auto menu = std::make_unique<CMenuXP>(parent);
    menu->AddTitleStrip(MenuItemRecord::TitleStrip(kTitleStripWidth, "Velmora Media Player"));
    for (const MenuEntry& entry : kEntries) {
        if (!entry.command) {
            menu->AppendSeparator();
            continue;
        }
        const QIcon icon = entry.icon == kNoIcon ? QIcon() : QIcon(IconPath(entry.icon));
        menu->AppendEntry(CMenuXP::Enabled,
                          MenuItemRecord::Entry(static_cast<std::uint32_t>(entry.command),
                                                entry.text, icon, kIconSize));
    }
    return menu;
}

int LibraryCommandOfKey(const QKeyEvent& release, bool controlAtPress) {
    if (release.isAutoRepeat())
        return 0;
    const bool control = controlAtPress || release.modifiers().testFlag(Qt::ControlModifier);
    switch (release.key()) {
    case Qt::Key_Delete:
        return ID_LIBRARY_DELETE;
    case Qt::Key_F2:
        return ID_LIBRARY_RENAME;
    case Qt::Key_F5:
        return ID_LIBRARY_REFRESH;
    case Qt::Key_F6:
        return ID_LIBRARY_EMAIL_LINK;
    case Qt::Key_F7:
        return ID_LIBRARY_COPY_LINK;
    case Qt::Key_F:
        return control ? ID_LIBRARY_SEARCH : 0;
    case Qt::Key_P:
        return ID_LIBRARY_PLAY;
    default:
        return 0;
    }
}

} // namespace velmora
