#include "left_view.h"

#include "app_context.h"
#include "component_interfaces.h"
#include "message_boxes.h"
#include "window_messages.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include <algorithm>

namespace velmora {

bool TreeTextLess(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

CLeftView::CLeftView(QWidget* parent) : QTreeWidget(parent), images_(LoadLibraryImages()) {
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    // Siblings are placed by InsertItem; the view's own sorting would re-sort
    // and lay out the whole tree on every turn of the event loop.
    setSortingEnabled(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Labels are edited by clicking the selected item's label, as a rename;
    // items never move by dragging.
    setEditTriggers(QAbstractItemView::SelectedClicked);
    setDragEnabled(false);
}

CLeftView::~CLeftView() {
    userDialogs_.clear();
    delete findDialog_.data();
}

void CLeftView::OnInitialUpdate() {
    if (initialised_)
        return;
    initialised_ = true;
    SendBarText(kWelcomeText);
    if (!imagesAttached_) {
        setIconSize(QSize(kImageSize, kImageSize));
        imagesAttached_ = true;
    }
    setAcceptDrops(true);
    QPalette p = palette();
    p.setColor(QPalette::Base, QColor(240, 248, 255));
    setPalette(p);
    LibraryItem* root = InsertItem(nullptr, kRootText, kImageRoot);
    rootItem_ = root->handle();
    SetNodeKey(root, kRootKey);
}

void CLeftView::SendBarText(const std::string& text) {
    // The message bar belongs to the main frame, the view's top-level window;
    // a view standing alone has no bar to write to.
    QWidget* frame = window();
    if (frame && frame != this)
        SendMessage(frame, UM_SET_BAR_TEXT, 0, textParam(text));
}

void CLeftView::showEvent(QShowEvent* e) {
    QTreeWidget::showEvent(e);
    OnInitialUpdate();
}

bool CLeftView::event(QEvent* e) {
    if (WindowMessage::isWindowMessage(e)) {
        auto* message = static_cast<WindowMessage*>(e);
        if (message->message() == UM_POPULATE_LIBRARY) {
            OnPopulateLibrary();
            message->setResult(0);
            message->accept();
            return true;
        }
    }
    return QTreeWidget::event(e);
}

// --- items ----------------------------------------------------------------

LibraryItem* CLeftView::ItemFromHandle(Handle handle) const {
    LibraryItem* item = HandleRegistry::instance().itemAs<LibraryItem>(handle);
    return item && item->treeWidget() == this ? item : nullptr;
}

Handle CLeftView::HandleOfItem(QTreeWidgetItem* item) {
    LibraryItem* libraryItem = LibraryItem::from(item);
    return libraryItem ? libraryItem->handle() : 0;
}

std::string CLeftView::ItemText(const QTreeWidgetItem* item) {
    return item ? item->text(0).toStdString() : std::string();
}

void CLeftView::SetItemImage(QTreeWidgetItem* item, int image) {
    LibraryItem* libraryItem = LibraryItem::from(item);
    if (!libraryItem || image < 0 || image >= static_cast<int>(images_.size()))
        return;
    libraryItem->setImage(image, images_[static_cast<std::size_t>(image)]);
}

int CLeftView::GetItemImage(QTreeWidgetItem* item) const {
    LibraryItem* libraryItem = LibraryItem::from(item);
    return libraryItem ? libraryItem->image() : -1;
}

LibraryItem* CLeftView::NewItem(const std::string& text, int image) {
    auto* item = new LibraryItem();
    item->setText(0, QString::fromStdString(text));
    SetItemImage(item, image);
    return item;
}

LibraryItem* CLeftView::InsertItem(QTreeWidgetItem* parent, const std::string& text, int image) {
    LibraryItem* item = NewItem(text, image);
    PlaceSorted(parent, item);
    return item;
}

void CLeftView::PlaceSorted(QTreeWidgetItem* parent, QTreeWidgetItem* item) {
    // After the last sibling that does not sort above it, so equal texts
    // stand in the order they were inserted.
    const QString text = item->text(0);
    int low = 0;
    int high = parent ? parent->childCount() : topLevelItemCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        QTreeWidgetItem* sibling = parent ? parent->child(middle) : topLevelItem(middle);
        if (TreeTextLess(text, sibling->text(0)))
            high = middle;
        else
            low = middle + 1;
    }
    if (parent)
        parent->insertChild(low, item);
    else
        insertTopLevelItem(low, item);
}

void CLeftView::SortChildren(QTreeWidgetItem* parent) {
    const int count = parent ? parent->childCount() : topLevelItemCount();
    auto at = [&](int i) { return parent ? parent->child(i) : topLevelItem(i); };
    bool sorted = true;
    for (int i = 1; i < count && sorted; ++i)
        sorted = !TreeTextLess(at(i)->text(0), at(i - 1)->text(0));
    if (sorted)
        return;
    // Taking the items out and back keeps them, their handles and their
    // subtrees; only their places change.
    QList<QTreeWidgetItem*> items = parent ? parent->takeChildren() : QList<QTreeWidgetItem*>();
    if (!parent) {
        for (int i = count - 1; i >= 0; --i)
            items.prepend(takeTopLevelItem(i));
    }
    std::stable_sort(items.begin(), items.end(), [](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return TreeTextLess(a->text(0), b->text(0));
    });
    if (parent)
        parent->addChildren(items);
    else
        addTopLevelItems(items);
}

void CLeftView::DeleteItem(QTreeWidgetItem* item) {
    if (!item)
        return;
    RemoveKeys(item);
    delete item;
}

// --- node keys ------------------------------------------------------------

std::string CLeftView::GetNodeKey(QTreeWidgetItem* item) {
    const Handle handle = HandleOfItem(item);
    if (!handle)
        return {};
    return nodeKeys_[handle];
}

void CLeftView::SetNodeKey(QTreeWidgetItem* item, std::string key) {
    const Handle handle = HandleOfItem(item);
    if (handle)
        nodeKeys_[handle] = std::move(key);
}

void CLeftView::RemoveKeys(QTreeWidgetItem* item) {
    if (!item)
        return;
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* current = pending.back();
        pending.pop_back();
        nodeKeys_.erase(HandleOfItem(current));
        for (int i = 0; i < current->childCount(); ++i)
            pending.push_back(current->child(i));
    }
}

// --- hit item -------------------------------------------------------------

void CLeftView::mousePressEvent(QMouseEvent* e) {
    QTreeWidgetItem* item = itemAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton) {
        SetHitItem(item);
        if (item)
            setCurrentItem(item);
    } else if (e->button() == Qt::RightButton) {
        // A right press marks the target of the context menu but leaves the
        // selection where it is, so the view's own press handling is skipped.
        SetHitItem(item);
        setFocus(Qt::MouseFocusReason);
        e->accept();
        return;
    }
    QTreeWidget::mousePressEvent(e);
}

void CLeftView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        e->accept();
        return;
    }
    QTreeWidget::mouseReleaseEvent(e);
    // The click: the hit item is selected again, whatever the release did.
    if (e->button() == Qt::LeftButton) {
        if (LibraryItem* hit = HitItem())
            setCurrentItem(hit);
    }
}

void CLeftView::keyReleaseEvent(QKeyEvent* e) {
    SetHitItem(currentItem());
    QTreeWidget::keyReleaseEvent(e);
}

// Only files dropped from the shell are meant for this tree, and no drop is
// taken yet; in particular items dragged out of another tree must never
// land here without a node key.
void CLeftView::dragEnterEvent(QDragEnterEvent* e) {
    e->ignore();
}

void CLeftView::dragMoveEvent(QDragMoveEvent* e) {
    e->ignore();
}

void CLeftView::dropEvent(QDropEvent* e) {
    e->ignore();
}

// --- population -----------------------------------------------------------

LibraryItem* CLeftView::AddFolder(std::int32_t ownerId, IFolder& folder, QTreeWidgetItem* parent) {
    const std::string name = folder.Name();
    const int image = FolderImage(folder.AccessListId());
    const std::int32_t folderId = folder.FolderId();

    // The folder's subtree is built before it joins the tree, so the view
    // takes it in as one row instead of one change per item. The result is
    // the same tree: the folder's place among its siblings depends on its
    // text alone.
    LibraryItem* item = NewItem(name, image);
    SetNodeKey(item, FolderNodeKey(ownerId, folderId));
    try {
        const std::int32_t fileCount = folder.FileCount();
        for (std::int32_t i = 0; i < fileCount; ++i) {
            auto file = QueryInterface<IMediaFile>(folder.File(i));
            if (!file)
                continue;
            const std::string fileName = file->Name();
            LibraryItem* fileItem = InsertItem(item, fileName, velmora::ImageForName(fileName));
            SetNodeKey(fileItem, FileNodeKey(ownerId, folderId, file->FileId()));
        }
        const std::int32_t subfolderCount = folder.SubfolderCount();
        for (std::int32_t i = 0; i < subfolderCount; ++i) {
            if (auto subfolder = QueryInterface<IFolder>(folder.Subfolder(i)))
                AddFolder(ownerId, *subfolder, item);
        }
        SortChildren(item);
    } catch (...) {
        // What was read so far stays in the tree, keys and all.
        PlaceSorted(parent, item);
        throw;
    }
    PlaceSorted(parent, item);
    return item;
}

void CLeftView::OnPopulateLibrary() {
    if (!RootItem()) {
        if (initialised_) {
            // The root was deleted from outside; a new one takes its place.
            LibraryItem* root = InsertItem(nullptr, kRootText, kImageRoot);
            rootItem_ = root->handle();
            SetNodeKey(root, kRootKey);
        } else {
            OnInitialUpdate();
        }
    }
    LibraryItem* root = RootItem();
    // Filling normally finds the root alone (after start-up or Refresh). A
    // second fill without Refresh would show every item twice, so whatever
    // an earlier fill left goes first, keys and all.
    while (root->childCount() > 0)
        DeleteItem(root->child(root->childCount() - 1));
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    const std::int32_t userId = client.GetUserId();

    bool failed = false;
    std::string failure;
    try {
        if (std::shared_ptr<IFolder> library = client.GetLibrary()) {
            const std::int32_t subfolderCount = library->SubfolderCount();
            for (std::int32_t i = 0; i < subfolderCount; ++i) {
                if (auto subfolder = QueryInterface<IFolder>(library->Subfolder(i)))
                    AddFolder(userId, *subfolder, root);
            }
            const std::int32_t rootFolderId = library->FolderId();
            const std::int32_t fileCount = library->FileCount();
            for (std::int32_t i = 0; i < fileCount; ++i) {
                auto file = QueryInterface<IMediaFile>(library->File(i));
                if (!file)
                    continue;
                const std::string name = file->Name();
                LibraryItem* item = InsertItem(root, name, velmora::ImageForName(name));
                SetNodeKey(item, FileNodeKey(userId, rootFolderId, file->FileId()));
            }
            if (subfolderCount > 0)
                root->setExpanded(true);

            if (std::shared_ptr<IAccount> account = client.GetAccount()) {
                const std::int32_t userCount = account->SharingUserCount();
                for (std::int32_t i = 0; i < userCount; ++i) {
                    auto user = QueryInterface<IUserProfile>(account->SharingUser(i));
                    if (!user || user->Listed() == 0)
                        continue;
                    const int image = NextUserNodeImage();
                    const std::string text =
                        user->AccountId() + "(" + user->FirstName() + " " + user->LastName() + ")";
                    const std::int32_t sharingUserId = user->UserId();
                    LibraryItem* userItem = InsertItem(root, text, image);
                    SetNodeKey(userItem, UserNodeKey(sharingUserId));
                    const std::int32_t folderCount = user->SharedFolderCount();
                    for (std::int32_t j = 0; j < folderCount; ++j) {
                        auto folder = QueryInterface<IFolder>(user->SharedFolder(j));
                        if (!folder || folder->Visible() == 0)
                            continue;
                        AddFolder(sharingUserId, *folder, userItem);
                    }
                }
            }
            SortChildren(root);
        }
    } catch (const ComError& e) {
        // A broken object model must not take the program down: the items
        // read so far stay, and the user learns that the tree is incomplete.
        failed = true;
        failure = e.message();
    }
    root->setExpanded(true);
    client.SetNotifyWindow(HandleOf(this));
    if (failed)
        ShowMessage(failure);
}

} // namespace velmora
