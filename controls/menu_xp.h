#pragma once

// CMenuXP: the program's owner-drawn context menu. A vertical title strip runs
// down its left side; each entry has a square icon column, the default entry
// is bold, accelerator texts stand right-aligned and disabled texts are
// embossed. Colours come from the menu's palette.
//
// Use:
//     CMenuXP menu(owner);
//     menu.AddTitleStrip(MenuItemRecord::TitleStrip(24, "Velmora Media Player"));
//     menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1009, "Play\tP", icon, 32));
//     menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(1005, "Rename..."),
//                      CAccelText(CAccelText::VirtualKey, Qt::Key_F2));
//     menu.AppendSeparator();
//     auto sub = std::make_unique<CMenuXP>();
//     ... fill sub ...
//     menu.AppendPopup(CMenuXP::Enabled, std::move(sub), MenuItemRecord::Entry(0, "New"));
//     int command = menu.Track(globalPos); // 0 when nothing was chosen

#include "accel_text.h"

#include <QIcon>
#include <QMenu>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QStyleOptionMenuItem;

namespace velmora {

inline constexpr std::uint32_t kMenuItemSignature = 0x0505A0A0;

// The item data of every owner-drawn entry. The menu owns the records
// appended to it; it measures, draws and deletes only records that carry the
// signature, so data that some other code hung on an entry is left alone.
struct MenuItemRecord {
    std::uint32_t signature = kMenuItemSignature;
    std::uint32_t commandId = 0;
    bool separator = false;
    bool titleStrip = false;
    bool iconOnly = false;
    QString text; // the label, optionally a tab and an accelerator text
    QIcon icon;
    int size = 16; // the icon's size; the strip's width for a title strip

    static std::unique_ptr<MenuItemRecord> Entry(std::uint32_t commandId, QString text,
                                                 QIcon icon = {}, int size = 16);
    static std::unique_ptr<MenuItemRecord> Separator();
    static std::unique_ptr<MenuItemRecord> TitleStrip(int width, QString text, QIcon icon = {},
                                                      std::uint32_t commandId = 0);
};

class CMenuXP : public QMenu {
    Q_OBJECT

public:
    enum EntryFlag : unsigned { Enabled = 0x0, Disabled = 0x1, Checked = 0x2 };

    explicit CMenuXP(QWidget* parent = nullptr);
    ~CMenuXP() override;

    // The title strip stands alone in the menu's first column, beside all
    // the entries, however many there are and whatever the first one is. A
    // menu has one strip; adding another replaces it.
    void AddTitleStrip(std::unique_ptr<MenuItemRecord> record);
    const MenuItemRecord* TitleStripRecord() const { return titleStrip_.get(); }
    // Where the strip is painted, in the menu's coordinates; empty without one.
    QRect TitleStripRect() const;

    // Appends an entry chosen by its record's command id. A non-empty
    // accelerator text is added to the label after a tab. A record with its
    // separator flag set makes a separator line.
    QAction* AppendEntry(unsigned flags, std::unique_ptr<MenuItemRecord> record,
                         std::optional<CAccelText> accelerator = std::nullopt);
    QAction* AppendSeparator();
    // Appends an entry that opens the sub-menu, which this menu then owns.
    QAction* AppendPopup(unsigned flags, std::unique_ptr<CMenuXP> subMenu,
                         std::unique_ptr<MenuItemRecord> record);

    // Removes every entry, deleting the records that carry the signature and
    // the sub-menus that are CMenuXPs, and the title strip.
    void Clear();

    // Opens the menu at a screen point until the user chooses or dismisses
    // it; the answer is the chosen entry's command id, or 0. Any mouse button
    // chooses.
    int Track(const QPoint& globalPos);

    // The record of an entry, only when it carries the signature.
    static MenuItemRecord* RecordOf(const QAction* action);
    static int CommandOf(const QAction* action);

    // The size an entry takes, from its record alone.
    QSize MeasureItem(const MenuItemRecord& record) const;
    // Draws one entry (not the title strip) in option.rect.
    void DrawItem(QPainter& painter, const QStyleOptionMenuItem& option,
                  const MenuItemRecord& record) const;

    // Tests choose from a menu instead of a person: while one is installed,
    // Track asks it for the command id and opens nothing.
    using Tracker = std::function<int(CMenuXP& menu, const QPoint& globalPos)>;
    class ScopedTracker {
    public:
        explicit ScopedTracker(Tracker tracker);
        ~ScopedTracker();
        ScopedTracker(const ScopedTracker&) = delete;
        ScopedTracker& operator=(const ScopedTracker&) = delete;

    private:
        Tracker previous_;
    };

    static constexpr QRgb kStripBottomColour = 0xFF0000C0; // RGB(0, 0, 192)
    static constexpr QRgb kStripTopColour = 0xFF000000;    // RGB(0, 0, 0)

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
    void paintEvent(QPaintEvent* e) override;
    void actionEvent(QActionEvent* e) override;

    // The steps of drawing, one per element.
    virtual void DrawBackground(QPainter& painter, const QRect& rect, bool selected) const;
    virtual void DrawIconFrame(QPainter& painter, const QRect& column, bool selected, bool checked,
                               bool enabled) const;
    virtual void DrawIcon(QPainter& painter, const QRect& rect, const QIcon& icon,
                          bool enabled) const;
    virtual void DrawTitleStrip(QPainter& painter, const QRect& rect,
                                const MenuItemRecord& record) const;
    virtual void DrawLabel(QPainter& painter, const QRect& rect, const QString& text, bool bold,
                           bool selected, bool enabled) const;
    virtual void DrawCheckMark(QPainter& painter, const QRect& rect) const;
    virtual void DrawTextWithAccel(QPainter& painter, const QRect& rect, const QString& text) const;
    // A place for styles other than the one the program uses; draws nothing.
    virtual void DrawStyleExtra(QPainter& painter, const QRect& rect,
                                const MenuItemRecord& record) const;

private:
    QAction* AddRecordAction(unsigned flags, std::unique_ptr<MenuItemRecord> record,
                             QAction* action);
    void UpdateMargins();
    QFont BoldMenuFont() const;

    std::unique_ptr<MenuItemRecord> titleStrip_;
};

} // namespace velmora

Q_DECLARE_METATYPE(velmora::MenuItemRecord*)
