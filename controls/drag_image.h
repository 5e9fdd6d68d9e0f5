#pragma once

// CDragImage: the picture that follows the cursor while an owner runs an item
// drag by hand (mouse moves and the button release it receives itself). It is
// a small frameless window that never takes input, so the window under the
// cursor stays the one the drag is over.

#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <memory>

class QTreeWidget;
class QTreeWidgetItem;

namespace velmora {

class CDragImage : public QWidget {
    Q_OBJECT

public:
    explicit CDragImage(QPixmap image);

    // The item's icon and label, as the tree shows them.
    static std::unique_ptr<CDragImage> OfItem(const QTreeWidget& tree, QTreeWidgetItem* item);

    // The image's point that sits under the cursor.
    void BeginDrag(const QPoint& hotSpot) { hotSpot_ = hotSpot; }
    // The drag enters the screen at a screen point: the image shows there.
    void DragEnter(const QPoint& globalPos);
    void DragMove(const QPoint& globalPos);
    // Hides the image for a moment (false) or shows it again (true), while
    // the drag is entered; outside a drag nothing shows.
    void DragShow(bool show);
    // The drag leaves: the image goes.
    void DragLeave();

    bool IsEntered() const { return entered_; }
    const QPixmap& Image() const { return image_; }
    QPoint HotSpot() const { return hotSpot_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QPixmap image_;
    QPoint hotSpot_;
    bool entered_ = false;
};

} // namespace velmora
