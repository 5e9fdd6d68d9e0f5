#pragma once

// CCustomTreeCtrl: a tree that tells an owner about the user's mouse and key
// input before it handles the input itself, remembers the item under the
// last click, and carries the state of an item drag its owner runs.
//
// Messages go to the target by synchronous send (window_messages.h), wParam
// the tag, in this order: the hit item is recorded (left down and up, right
// down, left double click), the target gets the message, the tree does what
// it always does. lParam of each:
//   UM_TREE_LBUTTONUP, UM_TREE_LBUTTONDOWN      0
//   UM_TREE_MOUSEMOVE, UM_TREE_MBUTTONDOWN,
//   UM_TREE_RBUTTONDOWN, UM_TREE_LBUTTONDBLCLK  address of the point, viewport coordinates
//   UM_TREE_MOUSEWHEEL                          address of the point, screen coordinates
//   UM_TREE_KEYUP, UM_TREE_KEYDOWN              the Qt::Key
//   UM_TREE_DROPFILES                           address of the dropped QMimeData
// Addresses are valid only while the message is handled (PointParam reads
// one).
//
// A drag: when the user drags an item the tree emits beginDrag instead of
// starting a drag of its own. The owner then fills the drag fields, shows a
// CDragImage, and follows the UM_TREE_MOUSEMOVE and UM_TREE_LBUTTONUP that
// come back while the button is held. While dragging is set, mouse moves do
// not move the tree's selection, and a wheel turn hides the drag image while
// the tree scrolls.

#include "drag_image.h"
#include "window_messages.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeWidget>

#include <cstdint>
#include <memory>

namespace velmora {

class CCustomTreeCtrl : public QTreeWidget {
    Q_OBJECT

public:
    explicit CCustomTreeCtrl(QWidget* parent = nullptr);
    ~CCustomTreeCtrl() override;

    void SetTarget(QObject* target) { target_ = target; }
    QObject* Target() const { return target_; }
    void SetTag(std::uint32_t tag) { tag_ = tag; }
    std::uint32_t Tag() const { return tag_; }

    // The item under the cursor at the last left button down or up, right
    // button down or left double click; null when that was empty space or
    // when the item is gone.
    QTreeWidgetItem* HitItem() const { return ItemOf(hitItem_); }

    // The drag, written by the owner. Items that are gone read as null.
    QTreeWidgetItem* DragItem() const { return ItemOf(dragItem_); }
    void SetDragItem(QTreeWidgetItem* item) { dragItem_ = IndexOf(item); }
    QTreeWidgetItem* DropTarget() const { return ItemOf(dropTarget_); }
    void SetDropTarget(QTreeWidgetItem* item) { dropTarget_ = IndexOf(item); }
    bool IsDragging() const { return dragging_; }
    void SetDragging(bool dragging) { dragging_ = dragging; }
    QWidget* LastWindow() const { return lastWindow_; }
    void SetLastWindow(QWidget* window) { lastWindow_ = window; }
    // The tree owns the image; setting one deletes the one before.
    CDragImage* DragImage() const { return dragImage_.get(); }
    void SetDragImage(std::unique_ptr<CDragImage> image) { dragImage_ = std::move(image); }

    static const QPoint& PointParam(LPARAM lParam) {
        return *reinterpret_cast<const QPoint*>(lParam);
    }

signals:
    // The user began to drag item (the one pressed); point in viewport
    // coordinates.
    void beginDrag(QTreeWidgetItem* item, QPoint point);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    // Files from outside are taken while acceptDrops is on.
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    QTreeWidgetItem* ItemOf(const QPersistentModelIndex& index) const;
    QPersistentModelIndex IndexOf(QTreeWidgetItem* item) const;
    void RecordHit(const QPoint& point);
    void Forward(int message, LPARAM lParam);

    QPointer<QObject> target_;
    std::uint32_t tag_ = 0;
    QPersistentModelIndex hitItem_;
    QPersistentModelIndex dragItem_;
    QPersistentModelIndex dropTarget_;
    bool dragging_ = false;
    std::unique_ptr<CDragImage> dragImage_;
    QPointer<QWidget> lastWindow_;
    QPoint lastMovePoint_;
};

} // namespace velmora
