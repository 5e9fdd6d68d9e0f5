#include "drag_image.h"

#include <QPainter>
#include <QStyle>
#include <QTreeWidget>

namespace velmora {

CDragImage::CDragImage(QPixmap image)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      image_(std::move(image)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(image_.deviceIndependentSize().toSize());
}

std::unique_ptr<CDragImage> CDragImage::OfItem(const QTreeWidget& tree, QTreeWidgetItem* item) {
    if (!item)
        return nullptr;
    const QIcon icon = item->icon(0);
    const int small = tree.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &tree);
    const QSize iconSize = tree.iconSize().isValid() ? tree.iconSize() : QSize(small, small);
    const QFontMetrics metrics(tree.font());
    const QString text = item->text(0);
    const int iconWidth = icon.isNull() ? 0 : iconSize.width() + 2;
    const QSize size(iconWidth + metrics.horizontalAdvance(text) + 4,
                     std::max(iconSize.height(), metrics.height()));
    QPixmap image(size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (!icon.isNull())
        icon.paint(&painter, QRect(QPoint(0, (size.height() - iconSize.height()) / 2), iconSize));
    painter.setFont(tree.font());
    painter.setPen(tree.palette().color(QPalette::Text));
    painter.setOpacity(0.75);
    painter.drawText(QRect(iconWidth, 0, size.width() - iconWidth, size.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter.end();
    return std::make_unique<CDragImage>(image);
}

void CDragImage::DragEnter(const QPoint& globalPos) {
    entered_ = true;
    DragMove(globalPos);
    show();
}

void CDragImage::DragMove(const QPoint& globalPos) {
    move(globalPos - hotSpot_);
}

void CDragImage::DragShow(bool show) {
    setVisible(show && entered_);
}

void CDragImage::DragLeave() {
    entered_ = false;
    hide();
}

void CDragImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, image_);
}

} // namespace velmora
