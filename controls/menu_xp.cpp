#include "menu_xp.h"

#include <QActionEvent>
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>
#include <qdrawutil.h>

#include <utility>
#include <vector>

namespace velmora {

// --- records ----------------------------------------------------------------

std::unique_ptr<MenuItemRecord> MenuItemRecord::Entry(std::uint32_t commandId, QString text,
                                                      QIcon icon, int size) {
    auto record = std::make_unique<MenuItemRecord>();
    record->commandId = commandId;
    record->text = std::move(text);
    record->icon = std::move(icon);
    record->size = size;
    return record;
}

std::unique_ptr<MenuItemRecord> MenuItemRecord::Separator() {
    auto record = std::make_unique<MenuItemRecord>();
    record->separator = true;
    return record;
}

std::unique_ptr<MenuItemRecord> MenuItemRecord::TitleStrip(int width, QString text, QIcon icon,
                                                           std::uint32_t commandId) {
    auto record = Entry(commandId, std::move(text), std::move(icon), width);
    record->titleStrip = true;
    return record;
}

namespace {

// Space between a label and its accelerator text when an entry is measured.
constexpr int kAccelGapChars = 2;

QString LabelPart(const QString& text) {
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? text : text.left(tab);
}

// The style of one CMenuXP: entries that carry a record are measured and
// drawn by the menu, everything else by the application's style.
class MenuXPStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        if (type == CT_MenuItem) {
            const MenuItemRecord* record = nullptr;
            if (const CMenuXP* menu = Owner(option, widget, &record))
                return menu->MeasureItem(*record);
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (element == CE_MenuItem) {
            const MenuItemRecord* record = nullptr;
            if (const CMenuXP* menu = Owner(option, widget, &record)) {
                menu->DrawItem(*painter, *qstyleoption_cast<const QStyleOptionMenuItem*>(option),
                               *record);
                return;
            }
        }
        if (element == CE_MenuEmptyArea && qobject_cast<const CMenuXP*>(widget)) {
            painter->fillRect(option->rect, option->palette.color(QPalette::Window));
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_PanelMenu && qobject_cast<const CMenuXP*>(widget)) {
            painter->fillRect(option->rect, option->palette.color(QPalette::Window));
            qDrawPlainRect(painter, option->rect, option->palette.color(QPalette::Mid));
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    // The menu and record of an entry the menu draws itself: CMenuXP marks
    // the options of such entries with the entry's action.
    static const CMenuXP* Owner(const QStyleOption* option, const QWidget* widget,
                                const MenuItemRecord** record) {
        const auto* menu = qobject_cast<const CMenuXP*>(widget);
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (!menu || !item)
            return nullptr;
        *record = CMenuXP::RecordOf(qobject_cast<const QAction*>(item->styleObject));
        return *record ? menu : nullptr;
    }
};

// One style serves every CMenuXP; the application owns it, so it outlives
// every menu that uses it.
QStyle* SharedMenuStyle() {
    static QPointer<MenuXPStyle> style;
    if (!style) {
        // Over the style the application uses, not just the desktop's.
        style = new MenuXPStyle(QStyleFactory::create(QApplication::style()->name()));
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

CMenuXP::Tracker& TrackerSlot() {
    static CMenuXP::Tracker tracker;
    return tracker;
}

} // namespace

// --- the menu -----------------------------------------------------------------

CMenuXP::CMenuXP(QWidget* parent) : QMenu(parent) {
    setStyle(SharedMenuStyle());
    // A separator right after the title strip is an entry of its own, not a
    // leading separator to hide.
    setSeparatorsCollapsible(false);
}

CMenuXP::~CMenuXP() {
    Clear();
}

void CMenuXP::AddTitleStrip(std::unique_ptr<MenuItemRecord> record) {
    if (!record)
        return;
    record->titleStrip = true;
    titleStrip_ = std::move(record);
    UpdateMargins();
}

QRect CMenuXP::TitleStripRect() const {
    if (!titleStrip_)
        return {};
    QStyleOption option;
    option.initFrom(this);
    const int frame = style()->pixelMetric(QStyle::PM_MenuPanelWidth, &option, this);
    const int hmargin = style()->pixelMetric(QStyle::PM_MenuHMargin, &option, this);
    return QRect(frame + hmargin, frame, titleStrip_->size, height() - 2 * frame);
}

void CMenuXP::UpdateMargins() {
    // The strip's gradient runs 3 pixels past its width; the entries start
    // after it.
    setContentsMargins(titleStrip_ ? titleStrip_->size + 3 : 0, 0, 0, 0);
}

QAction* CMenuXP::AppendEntry(unsigned flags, std::unique_ptr<MenuItemRecord> record,
                              std::optional<CAccelText> accelerator) {
    if (!record)
        return nullptr;
    if (accelerator) {
        const QString accel = accelerator->ToText();
        if (!accel.isEmpty())
            record->text += QLatin1Char('\t') + accel;
    }
    auto* action = new QAction(this);
    action->setSeparator(record->separator);
    addAction(action);
    return AddRecordAction(flags, std::move(record), action);
}

QAction* CMenuXP::AppendSeparator() {
    return AppendEntry(Enabled, MenuItemRecord::Separator());
}

QAction* CMenuXP::AppendPopup(unsigned flags, std::unique_ptr<CMenuXP> subMenu,
                              std::unique_ptr<MenuItemRecord> record) {
    if (!subMenu || !record)
        return nullptr;
    CMenuXP* sub = subMenu.release();
    sub->setParent(this, sub->windowFlags());
    QAction* action = sub->menuAction();
    addAction(action);
    return AddRecordAction(flags, std::move(record), action);
}

QAction* CMenuXP::AddRecordAction(unsigned flags, std::unique_ptr<MenuItemRecord> record,
                                  QAction* action) {
    // The label alone names the action (mnemonics, accessibility); the
    // accelerator text is drawn from the record, so the menu does not widen
    // the entry for it a second time.
    action->setText(LabelPart(record->text));
    action->setEnabled(!(flags & Disabled));
    if (flags & Checked) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    action->setData(QVariant::fromValue(record.release()));
    return action;
}

void CMenuXP::Clear() {
    std::vector<QPointer<CMenuXP>> subMenus;
    for (QAction* action : actions()) {
        auto* sub = qobject_cast<CMenuXP*>(action->menu());
        if (sub && sub->parent() == this)
            subMenus.emplace_back(sub);
    }
    QMenu::clear(); // each removal deletes the entry's record (actionEvent)
    for (const QPointer<CMenuXP>& sub : subMenus)
        delete sub.data();
    titleStrip_.reset();
    UpdateMargins();
}

void CMenuXP::actionEvent(QActionEvent* e) {
    if (e->type() == QEvent::ActionRemoved) {
        if (MenuItemRecord* record = RecordOf(e->action())) {
            e->action()->setData(QVariant());
            delete record;
        }
    }
    QMenu::actionEvent(e);
}

int CMenuXP::Track(const QPoint& globalPos) {
    if (const Tracker& tracker = TrackerSlot())
        return tracker(*this, globalPos);
    return CommandOf(exec(globalPos));
}

MenuItemRecord* CMenuXP::RecordOf(const QAction* action) {
    if (!action)
        return nullptr;
    const QVariant data = action->data();
    if (data.metaType() != QMetaType::fromType<MenuItemRecord*>())
        return nullptr;
    auto* record = data.value<MenuItemRecord*>();
    return record && record->signature == kMenuItemSignature ? record : nullptr;
}

int CMenuXP::CommandOf(const QAction* action) {
    const MenuItemRecord* record = RecordOf(action);
    return record ? static_cast<int>(record->commandId) : 0;
}

CMenuXP::ScopedTracker::ScopedTracker(Tracker tracker)
    : previous_(std::exchange(TrackerSlot(), std::move(tracker))) {}

CMenuXP::ScopedTracker::~ScopedTracker() {
    TrackerSlot() = std::move(previous_);
}

void CMenuXP::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const {
    QMenu::initStyleOption(option, action);
    // Tells the menu's style which entry it is measuring or drawing.
    if (RecordOf(action))
        option->styleObject = const_cast<QAction*>(action);
}

QFont CMenuXP::BoldMenuFont() const {
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    return bold;
}

// --- measuring ----------------------------------------------------------------

QSize CMenuXP::MeasureItem(const MenuItemRecord& record) const {
    if (record.titleStrip)
        return QSize(record.size, 0);
    if (record.separator) {
        QStyleOption option;
        option.initFrom(this);
        // At least one pixel wide: the menu lays out no entry of an empty size.
        return QSize(1, style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this) / 2);
    }
    const QFontMetrics metrics(BoldMenuFont());
    const int height = std::max(metrics.height(), record.size + 4);
    if (record.iconOnly)
        return QSize(height, height);
    const qsizetype tab = record.text.indexOf(QLatin1Char('\t'));
    const int flags = Qt::TextSingleLine | Qt::TextShowMnemonic;
    int textWidth = metrics.boundingRect(QRect(), flags, LabelPart(record.text)).width();
    if (tab >= 0)
        textWidth += kAccelGapChars * metrics.averageCharWidth() +
                     metrics.boundingRect(QRect(), flags, record.text.mid(tab + 1)).width();
    return QSize(2 * record.size + 12 + textWidth, height);
}

// --- drawing ------------------------------------------------------------------

void CMenuXP::paintEvent(QPaintEvent* e) {
    QMenu::paintEvent(e);
    if (!titleStrip_)
        return;
    QPainter painter(this);
    DrawTitleStrip(painter, TitleStripRect(), *titleStrip_);
}

void CMenuXP::DrawItem(QPainter& painter, const QStyleOptionMenuItem& option,
                       const MenuItemRecord& record) const {
    const QRect rect = option.rect;
    if (record.titleStrip)
        return; // painted down the whole side of the menu by paintEvent
    if (record.separator) {
        DrawBackground(painter, rect, false);
        const int middle = rect.center().y();
        qDrawShadeLine(&painter, rect.left(), middle, rect.right(), middle, palette(), true, 1, 0);
        return;
    }
    painter.save();
    const bool selected = option.state & QStyle::State_Selected;
    const bool enabled = option.state & QStyle::State_Enabled;
    const bool checked = option.checkType != QStyleOptionMenuItem::NotCheckable && option.checked;
    DrawBackground(painter, rect, selected);

    const QRect column =
        record.iconOnly ? rect : QRect(rect.topLeft(), QSize(rect.height(), rect.height()));
    if (!record.icon.isNull() || checked)
        DrawIconFrame(painter, column, selected, checked, enabled);
    const QRect inside = column.adjusted(2, 2, -2, -2);
    if (!record.icon.isNull())
        DrawIcon(painter, inside, record.icon, enabled);
    else if (checked)
        DrawCheckMark(painter, inside);

    if (!record.iconOnly) {
        const QRect textRect(QPoint(column.right() + 1 + 2, rect.top()),
                             QPoint(rect.right() - record.size, rect.bottom()));
        const bool bold = option.menuItemType == QStyleOptionMenuItem::DefaultItem;
        DrawLabel(painter, textRect, record.text, bold, selected, enabled);
    }
    if (option.menuItemType == QStyleOptionMenuItem::SubMenu) {
        QStyleOption arrow = option;
        const int side = rect.height() / 2;
        arrow.rect =
            QRect(rect.right() - side - 4, rect.top() + (rect.height() - side) / 2, side, side);
        style()->drawPrimitive(QStyle::PE_IndicatorArrowRight, &arrow, &painter, this);
    }
    DrawStyleExtra(painter, rect, record);
    painter.restore();
}

void CMenuXP::DrawBackground(QPainter& painter, const QRect& rect, bool selected) const {
    painter.fillRect(rect, palette().color(selected ? QPalette::Highlight : QPalette::Window));
}

void CMenuXP::DrawIconFrame(QPainter& painter, const QRect& column, bool selected, bool checked,
                            bool enabled) const {
    const QColor fill =
        checked && !selected ? palette().color(QPalette::Light) : palette().color(QPalette::Window);
    painter.fillRect(column, fill);
    if (!enabled)
        return;
    if (checked)
        qDrawShadePanel(&painter, column, palette(), true, 1);
    else if (selected)
        qDrawShadePanel(&painter, column, palette(), false, 1);
}

void CMenuXP::DrawIcon(QPainter& painter, const QRect& rect, const QIcon& icon,
                       bool enabled) const {
    icon.paint(&painter, rect, Qt::AlignCenter, enabled ? QIcon::Normal : QIcon::Disabled);
}

void CMenuXP::DrawTitleStrip(QPainter& painter, const QRect& rect,
                             const MenuItemRecord& record) const {
    painter.save();
    // 256 steps from the top colour down to the bottom colour: the first row
    // has exactly the one, the last row exactly the other.
    const QRect fill = rect.adjusted(0, 0, 3, 0);
    const QColor top = QColor::fromRgb(kStripTopColour);
    const QColor bottom = QColor::fromRgb(kStripBottomColour);
    const int rows = fill.height();
    for (int y = 0; y < rows; ++y) {
        const int step = rows > 1 ? y * 255 / (rows - 1) : 255;
        const QColor band(top.red() + (bottom.red() - top.red()) * step / 255,
                          top.green() + (bottom.green() - top.green()) * step / 255,
                          top.blue() + (bottom.blue() - top.blue()) * step / 255);
        painter.fillRect(QRect(fill.left(), fill.top() + y, fill.width(), 1), band);
    }
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.setBackgroundMode(Qt::TransparentMode);
    // Reads upwards, from 2 pixels right of the left edge and 4 above the
    // bottom.
    painter.translate(rect.left() + 2, rect.bottom() - 4);
    painter.rotate(-90);
    painter.drawText(QPoint(0, QFontMetrics(font).ascent()), record.text);
    painter.restore();
}

void CMenuXP::DrawLabel(QPainter& painter, const QRect& rect, const QString& text, bool bold,
                        bool selected, bool enabled) const {
    painter.save();
    painter.setFont(bold ? BoldMenuFont() : font());
    painter.setBackgroundMode(Qt::TransparentMode);
    const QColor grey = palette().color(QPalette::Disabled, QPalette::WindowText);
    if (enabled) {
        painter.setPen(
            palette().color(selected ? QPalette::HighlightedText : QPalette::WindowText));
        DrawTextWithAccel(painter, rect, text);
    } else {
        if (!selected) {
            painter.setPen(palette().color(QPalette::HighlightedText));
            DrawTextWithAccel(painter, rect.translated(1, 1), text);
        }
        painter.setPen(grey);
        DrawTextWithAccel(painter, rect, text);
    }
    painter.restore();
}

void CMenuXP::DrawTextWithAccel(QPainter& painter, const QRect& rect, const QString& text) const {
    const int flags = Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::AlignVCenter;
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab < 0) {
        painter.drawText(rect, flags | Qt::AlignLeft, text);
        return;
    }
    painter.drawText(rect, flags | Qt::AlignLeft, text.left(tab));
    painter.drawText(rect, flags | Qt::AlignRight, text.mid(tab + 1));
}

void CMenuXP::DrawCheckMark(QPainter& painter, const QRect& rect) const {
    painter.save();
    painter.setPen(QPen(Qt::black, 1));
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int x = rect.left() + (rect.width() - 8) / 2;
    const int y = rect.top() + (rect.height() - 8) / 2;
    for (int shift = 0; shift < 3; ++shift) {
        const QPoint line[] = {QPoint(x, y + 3 + shift), QPoint(x + 2, y + 5 + shift),
                               QPoint(x + 7, y + shift)};
        painter.drawPolyline(line, 3);
    }
    painter.restore();
}

void CMenuXP::DrawStyleExtra(QPainter&, const QRect&, const MenuItemRecord&) const {}

} // namespace velmora
