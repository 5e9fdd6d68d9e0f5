#include "left_view.h"

#include "app_context.h"
#include "find_dialog.h"
#include "library_links.h"
#include "library_menu.h"
#include "library_populator.h"
#include "library_search.h"
#include "menu_xp.h"
#include "message_boxes.h"
#include "wait_cursor.h"
#include "window_messages.h"
#include "wire/media_types.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>

#include <algorithm>
#include <optional>
#include <utility>

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
    animations_ = std::make_unique<ItemAnimations>(*this);
    transfers_ = std::make_unique<LibraryTransfers>(*this);
    play_ = std::make_unique<LibraryPlay>(*this);
    // File > Open may now offer to store the opened file in the library.
    setProperty("acceptsMediaUploads", true);
    search_ = std::make_unique<LibrarySearch>(*this);
    folderOperations_ = std::make_unique<FolderOperations>(*this);
    // An item under transfer is not renamed, deleted or given a new folder.
    folderOperations_->SetBusyTest([this](QTreeWidgetItem* item) { return IsItemBusy(item); });
    links_ = std::make_unique<LibraryLinks>(*this);
}

CLeftView::~CLeftView() = default;

void CLeftView::OnInitialUpdate() {
    if (initialised_)
        return;
    initialised_ = true;
    SendBarText(kWelcomeText);
    setIconSize(QSize(kImageSize, kImageSize));
    setAcceptDrops(true);
    QPalette p = palette();
    p.setColor(QPalette::Base, QColor(240, 248, 255));
    setPalette(p);
    InsertRoot();
}

LibraryItem* CLeftView::InsertRoot() {
    LibraryItem* root = InsertItem(nullptr, kRootText, kImageRoot);
    root->setNodeKey(wire::kRootKey);
    rootItem_ = root->handle();
    return root;
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
    // F6 is the main window's Next Pane elsewhere; in the tree it is Email
    // Link, as the tree's menu says, so the tree keeps the key.
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_F6 && key->modifiers() == Qt::NoModifier &&
            state() != EditingState) {
            e->accept();
            return true;
        }
    }
    if (WindowMessage::isWindowMessage(e)) {
        auto* message = static_cast<WindowMessage*>(e);
        if (message->message() == UM_POPULATE_LIBRARY) {
            OnPopulateLibrary();
            message->setResult(0);
            message->accept();
            return true;
        }
        if (message->message() == UM_OPEN_USER_DIALOG) {
            // The answer is the dialog's window handle.
            CUserDialog* dialog =
                userDialogs_.Open(static_cast<std::int32_t>(message->wParam()),
                                  reinterpret_cast<const UserRecord*>(message->lParam()), true);
            message->setResult(static_cast<LRESULT>(HandleOf(dialog)));
            message->accept();
            return true;
        }
        if (message->message() == UM_USER_DIALOG_CLOSED) {
            userDialogs_.Closed(static_cast<std::int32_t>(message->wParam()));
            message->setResult(0);
            message->accept();
            return true;
        }
        if (OnTransferMessage(*message)) {
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
    // Each item holds its own key and leaves the handle registry as it
    // goes, so nothing of the subtree is left behind anywhere.
    delete item;
}

// --- node keys ------------------------------------------------------------

std::string CLeftView::GetNodeKey(QTreeWidgetItem* item) {
    const LibraryItem* libraryItem = LibraryItem::from(item);
    return libraryItem ? libraryItem->nodeKey() : std::string();
}

void CLeftView::SetNodeKey(QTreeWidgetItem* item, std::string key) {
    if (LibraryItem* libraryItem = LibraryItem::from(item))
        libraryItem->setNodeKey(std::move(key));
}

// --- hit item -------------------------------------------------------------

void CLeftView::mousePressEvent(QMouseEvent* e) {
    QTreeWidgetItem* item = itemAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton) {
        SetHitItem(item);
        // The view selects the item itself: selected beforehand, the press
        // would read as a click on the selected label, which renames.
        QTreeWidget::mousePressEvent(e);
        if (item && currentItem() != item)
            setCurrentItem(item);
        return;
    }
    if (e->button() == Qt::RightButton) {
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

void CLeftView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        SetHitItem(itemAt(e->position().toPoint()));
        OnPlay();
    }
    // The tree's own handling follows: a folder opens or closes as well.
    QTreeWidget::mouseDoubleClickEvent(e);
}

void CLeftView::keyPressEvent(QKeyEvent* e) {
    // Ctrl may be let go before the key it went with.
    if (!e->isAutoRepeat() && e->key() != Qt::Key_Control)
        keyPressedWithControl_ = e->modifiers().testFlag(Qt::ControlModifier) ? e->key() : 0;
    const bool shift = e->modifiers().testFlag(Qt::ShiftModifier);
    if (e->key() == Qt::Key_Menu || (e->key() == Qt::Key_F10 && shift)) {
        SetHitItem(currentItem());
        OpenContextMenu(QPoint(-1, -1));
        e->accept();
        return;
    }
    // P plays the selected item when released; typing it must not first
    // move the selection to an item whose name starts with "p".
    if (e->key() == Qt::Key_P && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        e->accept();
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

void CLeftView::keyReleaseEvent(QKeyEvent* e) {
    // Keys typed into a label's editor come here too when the editor leaves
    // them: they are text, never commands.
    if (state() == EditingState || LabelEditActive()) {
        QTreeWidget::keyReleaseEvent(e);
        return;
    }
    SetHitItem(currentItem());
    const bool controlAtPress = e->key() == keyPressedWithControl_;
    if (controlAtPress)
        keyPressedWithControl_ = 0;
    if (const int command = LibraryCommandOfKey(*e, controlAtPress))
        RunLibraryCommand(command);
    QTreeWidget::keyReleaseEvent(e);
}

void CLeftView::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
    if (e->reason() == QContextMenuEvent::Keyboard) {
        SetHitItem(currentItem());
        OpenContextMenu(QPoint(-1, -1));
        return;
    }
    // The right press chose the item; the menu's command is for it.
    if (LibraryItem* hit = HitItem())
        setCurrentItem(hit);
    OpenContextMenu(e->globalPos());
}

void CLeftView::OpenContextMenu(const QPoint& globalPos) {
    const QPoint at =
        globalPos == QPoint(-1, -1) ? viewport()->mapToGlobal(QPoint(5, 5)) : globalPos;
    const std::unique_ptr<CMenuXP> menu = MakeLibraryMenu(this);
    if (const int command = menu->Track(at))
        RunLibraryCommand(command);
}

bool CLeftView::RunLibraryCommand(int id) {
    switch (id) {
    case ID_LIBRARY_PLAY:
        OnPlay();
        return true;
    case ID_LIBRARY_SEARCH:
        OnSearch();
        return true;
    case ID_LIBRARY_EMAIL_LINK:
        OnEmailLink();
        return true;
    case ID_LIBRARY_COPY_LINK:
        OnCopyLink();
        return true;
    case ID_LIBRARY_COPY_MEDIA_LINK:
        OnCopyMediaLink();
        return true;
    case ID_LIBRARY_NEW:
        OnNewFolder();
        return true;
    case ID_LIBRARY_SHARE:
        OnShare();
        return true;
    case ID_LIBRARY_DELETE:
        OnDelete();
        return true;
    case ID_LIBRARY_RENAME:
        OnRename();
        return true;
    case ID_LIBRARY_REFRESH:
        OnRefresh();
        return true;
    default:
        return false;
    }
}

// Only local files are meant for this tree; in particular items dragged out
// of another tree must never land here without a node key.
static bool HoldsLocalFiles(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void CLeftView::dragEnterEvent(QDragEnterEvent* e) {
    if (!HoldsLocalFiles(e->mimeData())) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void CLeftView::dragMoveEvent(QDragMoveEvent* e) {
    if (!HoldsLocalFiles(e->mimeData())) {
        e->ignore();
        return;
    }
    SetDropHighlight(itemAt(e->position().toPoint()));
    e->setDropAction(Qt::CopyAction);
    e->accept();
}

void CLeftView::dragLeaveEvent(QDragLeaveEvent* e) {
    SetDropHighlight(nullptr);
    QTreeWidget::dragLeaveEvent(e);
}

void CLeftView::SetDropHighlight(QTreeWidgetItem* item) {
    LibraryItem* previous = DropHighlight();
    if (previous == item)
        return;
    if (previous) {
        previous->setData(0, Qt::BackgroundRole, QVariant());
        previous->setData(0, Qt::ForegroundRole, QVariant());
    }
    LibraryItem* target = LibraryItem::from(item);
    dropHighlight_ = target ? target->handle() : 0;
    if (target) {
        target->setBackground(0, palette().brush(QPalette::Highlight));
        target->setForeground(0, palette().brush(QPalette::HighlightedText));
    }
}

void CLeftView::dropEvent(QDropEvent* e) {
    if (!HoldsLocalFiles(e->mimeData())) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    SetDropHighlight(nullptr);
    transfers_->Drop(itemAt(e->position().toPoint()), e->mimeData()->urls());
}

// --- search ---------------------------------------------------------------

void CLeftView::OnSearch() {
    search_->OpenSearch();
}

QTreeWidgetItem* CLeftView::FindItemByText(QTreeWidgetItem* start, const QString& text,
                                           bool matchCase, bool wholeWord) {
    return search_->Items().FindItemByText(start, text, matchCase, wholeWord);
}

void CLeftView::NoteItemFound(QTreeWidgetItem* item) {
    search_->Items().NoteReported(item);
}

CFindDialog* CLeftView::FindDialog() const {
    return search_->Dialog();
}

QString CLeftView::LastSearchText() const {
    return search_->LastSearchText();
}

// --- folder and file commands ---------------------------------------------

void CLeftView::SetItemBusyTest(FolderOperations::BusyTest test) {
    folderOperations_->SetBusyTest(std::move(test));
}

void CLeftView::OnNewFolder() {
    folderOperations_->NewFolder();
}

void CLeftView::OnRename() {
    folderOperations_->Rename();
}

void CLeftView::OnDelete() {
    folderOperations_->Delete();
}

void CLeftView::OnShare() {
    folderSharing_.Share();
}

void CLeftView::OnPlay() {
    play_->Play(HitItem());
}

void CLeftView::OnRefresh() {
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    {
        WaitCursor wait;
        // Every item goes with the root, and with the items their keys.
        if (LibraryItem* root = RootItem())
            DeleteItem(root);
        InsertRoot();
        client.Logout();
    }
    // A sign-in fills the tree anew; a cancelled one leaves "My Media" alone.
    AppContext::Instance().RunSignInLoop();
}

void CLeftView::OnCopyLink() {
    links_->CopyLink();
}

void CLeftView::OnCopyMediaLink() {
    links_->CopyMediaLink();
}

void CLeftView::OnEmailLink() {
    links_->EmailLink();
}

bool CLeftView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // Only an explicit edit opens an editor at once (a click on the selected
    // item's label comes back as one after the double-click interval).
    if (trigger != AllEditTriggers || state() == EditingState || !index.isValid())
        return QTreeWidget::edit(index, trigger, event);
    const QPersistentModelIndex edited(index);
    if (!folderOperations_->BeginLabelEdit(itemFromIndex(index)))
        return false;
    typedLabel_.reset();
    if (edited.isValid() && QTreeWidget::edit(edited, trigger, event))
        return true;
    folderOperations_->EndLabelEdit(std::nullopt);
    return false;
}

void CLeftView::commitData(QWidget* editor) {
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        typedLabel_ = line->text();
}

void CLeftView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    // Tab would open the next item's editor before this edit has ended.
    if (hint == QAbstractItemDelegate::EditNextItem ||
        hint == QAbstractItemDelegate::EditPreviousItem)
        hint = QAbstractItemDelegate::SubmitModelCache;
    std::optional<QString> typed = std::exchange(typedLabel_, std::nullopt);
    QTreeWidget::closeEditor(editor, hint);
    folderOperations_->EndLabelEdit(typed);
}

// --- population -----------------------------------------------------------

void CLeftView::OnPopulateLibrary() {
    if (!RootItem()) {
        // Before the first show there is no root yet; after it, a root that
        // was deleted from outside gets a new one in its place.
        if (initialised_)
            InsertRoot();
        else
            OnInitialUpdate();
    }
    LibraryItem* root = RootItem();
    // Filling normally finds the root alone (after start-up or Refresh). A
    // second fill without Refresh would show every item twice, so whatever
    // an earlier fill left goes first.
    while (root->childCount() > 0)
        DeleteItem(root->child(root->childCount() - 1));
    LibraryPopulator populator(*this, AppContext::Instance().GetServiceClient());
    if (const std::optional<std::string> failure = populator.Populate(*root))
        ShowMessage(*failure);
}

// --- transfers ------------------------------------------------------------

bool CLeftView::OnTransferMessage(WindowMessage& message) {
    switch (message.message()) {
    case UM_SET_ITEM_IMAGE:
        SetItemImage(ItemFromHandle(static_cast<Handle>(message.lParam())),
                     static_cast<int>(message.wParam()));
        break;
    case UM_TRANSFER_PROGRESS:
        progressDisplay_.OnMessage(message);
        break;
    case UM_DOWNLOAD_DONE:
    case UM_UPLOAD_DONE: {
        progressDisplay_.OnMessage(message);
        const auto text = [](std::intptr_t param) {
            return std::string(param ? paramText(param) : "");
        };
        const std::string error = text(static_cast<std::intptr_t>(message.wParam()));
        const std::string context = text(message.lParam());
        if (message.message() == UM_DOWNLOAD_DONE)
            transfers_->OnDownloadDone(error, context);
        else
            transfers_->OnUploadDone(error, context);
        break;
    }
    case UM_MEDIA_FILE:
        if (message.lParam())
            transfers_->UploadToRoot(paramText(message.lParam()));
        break;
    case UM_NOW_PLAYING:
        play_->OnNowPlaying(static_cast<Handle>(message.wParam()),
                            message.lParam() ? paramText(message.lParam()) : "");
        break;
    case UM_PLAYING_ENDED:
        play_->OnPlayingEnded(static_cast<Handle>(message.wParam()));
        break;
    default:
        return false;
    }
    message.setResult(0);
    return true;
}

void CLeftView::StartItemAnimation(QTreeWidgetItem* item, bool stop, int firstImage, int lastImage,
                                   int /*interval*/, bool recurse, bool force) {
    animations_->Start(item, stop, firstImage, lastImage, recurse, force);
}

void CLeftView::StopItemAnimation(QTreeWidgetItem* item) {
    animations_->Stop(item);
}

bool CLeftView::IsItemBusy(QTreeWidgetItem* item) const {
    return animations_->IsBusy(item);
}

bool CLeftView::IsMediaFileName(const std::string& name) {
    return wire::IsMediaFileName(name);
}

void CLeftView::OnFileSave() {
    transfers_->Save(HitItem());
}

bool CLeftView::OnCommand(int id) {
    if (id != ID_FILE_SAVE)
        return false;
    OnFileSave();
    return true;
}

QObject* CLeftView::PlayerView() const {
    if (playerView_)
        return playerView_;
    QWidget* frame = window();
    if (!frame || frame == this)
        return nullptr;
    const QList<QWidget*> widgets = frame->findChildren<QWidget*>();
    for (QWidget* widget : widgets)
        if (qstrcmp(widget->metaObject()->className(), "velmora::Cvelmora_playerView") == 0)
            return widget;
    return nullptr;
}

} // namespace velmora
