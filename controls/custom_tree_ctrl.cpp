#include "custom_tree_ctrl.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QWheelEvent>

namespace velmora {

CCustomTreeCtrl::CCustomTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    // A drag of an item is the owner's: the tree reports its beginning and
    // starts nothing itself.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setAcceptDrops(false);
    // Every move is reported, with or without a button held.
    viewport()->setMouseTracking(true);
}

CCustomTreeCtrl::~CCustomTreeCtrl() = default;

QTreeWidgetItem* CCustomTreeCtrl::ItemOf(const QPersistentModelIndex& index) const {
    return index.isValid() ? itemFromIndex(index) : nullptr;
}

QPersistentModelIndex CCustomTreeCtrl::IndexOf(QTreeWidgetItem* item) const {
    if (!item || item->treeWidget() != this)
        return {};
    return QPersistentModelIndex(indexFromItem(item));
}

void CCustomTreeCtrl::RecordHit(const QPoint& point) {
    hitItem_ = IndexOf(itemAt(point));
}

void CCustomTreeCtrl::Forward(int message, LPARAM lParam) {
    if (target_)
        SendMessage(target_.data(), message, tag_, lParam);
}

void CCustomTreeCtrl::mousePressEvent(QMouseEvent* e) {
    QPoint point = e->position().toPoint();
    switch (e->button()) {
    case Qt::LeftButton:
        RecordHit(point);
        Forward(UM_TREE_LBUTTONDOWN, 0);
        break;
    case Qt::MiddleButton:
        Forward(UM_TREE_MBUTTONDOWN, reinterpret_cast<LPARAM>(&point));
        break;
    case Qt::RightButton:
        RecordHit(point);
        Forward(UM_TREE_RBUTTONDOWN, reinterpret_cast<LPARAM>(&point));
        break;
    default:
        break;
    }
    QTreeWidget::mousePressEvent(e);
}

void CCustomTreeCtrl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        RecordHit(e->position().toPoint());
        Forward(UM_TREE_LBUTTONUP, 0);
    }
    QTreeWidget::mouseReleaseEvent(e);
}

void CCustomTreeCtrl::mouseMoveEvent(QMouseEvent* e) {
    QPoint point = e->position().toPoint();
    lastMovePoint_ = point;
    Forward(UM_TREE_MOUSEMOVE, reinterpret_cast<LPARAM>(&point));
    // While the owner drags, the button is its own: the tree neither selects
    // nor starts a drag under the moving cursor.
    if (dragging_) {
        e->accept();
        return;
    }
    QTreeWidget::mouseMoveEvent(e);
}

void CCustomTreeCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        QPoint point = e->position().toPoint();
        RecordHit(point);
        Forward(UM_TREE_LBUTTONDBLCLK, reinterpret_cast<LPARAM>(&point));
    }
    QTreeWidget::mouseDoubleClickEvent(e);
}

void CCustomTreeCtrl::wheelEvent(QWheelEvent* e) {
    QPoint point = e->globalPosition().toPoint();
    Forward(UM_TREE_MOUSEWHEEL, reinterpret_cast<LPARAM>(&point));
    // The owner may have ended the drag or replaced the image meanwhile.
    CDragImage* image = dragging_ ? dragImage_.get() : nullptr;
    if (image)
        image->DragShow(false);
    QTreeWidget::wheelEvent(e);
    if (image && image == dragImage_.get())
        image->DragShow(true);
}

void CCustomTreeCtrl::keyPressEvent(QKeyEvent* e) {
    Forward(UM_TREE_KEYDOWN, e->key());
    QTreeWidget::keyPressEvent(e);
}

void CCustomTreeCtrl::keyReleaseEvent(QKeyEvent* e) {
    Forward(UM_TREE_KEYUP, e->key());
    QTreeWidget::keyReleaseEvent(e);
}

void CCustomTreeCtrl::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData() && e->mimeData()->hasUrls()) {
        e->acceptProposedAction();
        return;
    }
    QTreeWidget::dragEnterEvent(e);
}

void CCustomTreeCtrl::dragMoveEvent(QDragMoveEvent* e) {
    if (e->mimeData() && e->mimeData()->hasUrls()) {
        e->acceptProposedAction();
        return;
    }
    QTreeWidget::dragMoveEvent(e);
}

void CCustomTreeCtrl::dropEvent(QDropEvent* e) {
    if (e->mimeData() && e->mimeData()->hasUrls()) {
        Forward(UM_TREE_DROPFILES, reinterpret_cast<LPARAM>(e->mimeData()));
        e->acceptProposedAction();
        return;
    }
    QTreeWidget::dropEvent(e);
}

void CCustomTreeCtrl::startDrag(Qt::DropActions) {
    if (QTreeWidgetItem* item = HitItem())
        emit beginDrag(item, lastMovePoint_);
}

} // namespace velmora
