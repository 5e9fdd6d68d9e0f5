#pragma once

// CLeftView: the left pane of the main frame, the "My Media" tree of the
// signed-in user's remote library and of the users who share folders with
// him. The tree is the program's only picture of the library: every item
// carries its node key (node_key.h), and every library command starts from
// the hit item's key.

#include "command_target.h"
#include "folder_operations.h"
#include "folder_sharing.h"
#include "handle_registry.h"
#include "item_animations.h"
#include "library_images.h"
#include "library_item.h"
#include "library_play.h"
#include "library_transfers.h"
#include "transfer_progress_display.h"
#include "user_dialogs.h"
#include "wire/node_key.h"

#include <QPointer>
#include <QString>
#include <QTreeWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class WindowMessage;
class CFindDialog;
class LibrarySearch;
class LibraryLinks;

// The order siblings stand in: alphabetical, letters compared without regard
// to case. Items whose texts compare equal keep the order they came in.
bool TreeTextLess(const QString& a, const QString& b);

class CLeftView : public QTreeWidget, public CommandTarget {
    Q_OBJECT

public:
    static constexpr const char* kRootText = "My Media";
    static constexpr const char* kWelcomeText = "Welcome to Velmora Media Player!";
    enum { ID_FILE_SAVE = 57603 };

    explicit CLeftView(QWidget* parent = nullptr);
    ~CLeftView() override;

    // The first-show set-up: the welcome text to the message bar, the image
    // list, file drops, the background colour and the root item. Runs once;
    // showing the view runs it when nobody has.
    void OnInitialUpdate();
    bool IsInitialised() const { return initialised_; }

    // Fills the tree from the proxy's object model (UM_POPULATE_LIBRARY), and
    // shows the error text when the model could not be read to its end.
    void OnPopulateLibrary();

    // Images.
    const std::vector<QIcon>& ImageList() const { return images_; }
    static int ImageForName(const std::string& fileName) { return velmora::ImageForName(fileName); }
    void SetItemImage(QTreeWidgetItem* item, int image);
    // -1 for an item that is not one of the library's.
    int GetItemImage(QTreeWidgetItem* item) const;

    // Items. Handles are the ones of the registry; resolving gives null for an
    // item that is gone or that belongs to another tree.
    LibraryItem* RootItem() const { return ItemFromHandle(rootItem_); }
    LibraryItem* ItemFromHandle(Handle handle) const;
    static Handle HandleOfItem(QTreeWidgetItem* item);
    // Inserts under parent (top level when null) at the sorted position.
    LibraryItem* InsertItem(QTreeWidgetItem* parent, const std::string& text, int image);
    // An item that is in no tree yet, so a whole subtree can be built before
    // it joins; PlaceSorted then puts it under parent (top level when null)
    // at its sorted position.
    LibraryItem* NewItem(const std::string& text, int image);
    void PlaceSorted(QTreeWidgetItem* parent, QTreeWidgetItem* item);
    // Sorts one level: the children of parent (top level when null).
    void SortChildren(QTreeWidgetItem* parent);
    static std::string ItemText(const QTreeWidgetItem* item);
    // Removes the item and everything below it, keys and handles included.
    void DeleteItem(QTreeWidgetItem* item);

    // The hit item: the item under the last button press, the target of every
    // command (not the selection).
    LibraryItem* HitItem() const { return ItemFromHandle(hitItem_); }
    void SetHitItem(QTreeWidgetItem* item) { hitItem_ = HandleOfItem(item); }

    // The item's node key; empty for an item that was never given one and
    // for anything that is not a library item.
    static std::string GetNodeKey(QTreeWidgetItem* item);
    static void SetNodeKey(QTreeWidgetItem* item, std::string key);

    // Transfers. Every caller animates with frames 9 to 16 every 150 ms; all
    // items share one timer, so the interval passed is not read.
    void StartItemAnimation(QTreeWidgetItem* item, bool stop, int firstImage, int lastImage,
                            int interval, bool recurse, bool force);
    void StopItemAnimation(QTreeWidgetItem* item);
    bool IsItemBusy(QTreeWidgetItem* item) const;
    static bool IsMediaFileName(const std::string& name);
    ItemAnimations& Animations() { return *animations_; }
    LibraryTransfers& Transfers() { return *transfers_; }
    LibraryPlay& Play() { return *play_; }
    // File > Save on the hit item.
    void OnFileSave();

    // The message bar of the main frame the view stands in.
    void SendBarText(const std::string& text);

    // Runs a command of the context menu or of a key (library_menu.h) on the
    // hit item; false for an id that is not one of them.
    bool RunLibraryCommand(int id);

    // Commands of the main frame's menus that the view handles.
    bool OnCommand(int id) override;
    bool HandlesCommand(int id) const override { return id == ID_FILE_SAVE; }

    // The view that plays downloaded files: the one set, else the player
    // view of the window the tree stands in.
    QObject* PlayerView() const;
    void SetPlayerView(QObject* player) { playerView_ = player; }
    // The item marked as the target of a drag of files under way, or null.
    LibraryItem* DropHighlight() const { return ItemFromHandle(dropHighlight_); }

    // The dialogs of other users (UM_OPEN_USER_DIALOG, UM_USER_DIALOG_CLOSED).
    UserDialogs& GetUserDialogs() { return userDialogs_; }
    // Search (library_search.h, item_search.h). A drop that finds an item
    // counts it as reported in the running pass.
    QTreeWidgetItem* FindItemByText(QTreeWidgetItem* start, const QString& text, bool matchCase,
                                    bool wholeWord);
    void NoteItemFound(QTreeWidgetItem* item);
    CFindDialog* FindDialog() const;
    QString LastSearchText() const;

    // Folder and file commands (folder_operations.h) leave busy items alone;
    // this tells them which items are.
    void SetItemBusyTest(FolderOperations::BusyTest test);
    bool LabelEditActive() const { return folderOperations_->LabelEditActive(); }
    using QTreeWidget::edit;

public slots:
    void OnSearch();
    void OnNewFolder();
    void OnRename();
    void OnDelete();
    void OnShare();
    void OnPlay();
    // Empties the tree to "My Media", signs out and runs the sign-in loop,
    // which fills the tree anew after a sign-in.
    void OnRefresh();
    void OnCopyLink();
    void OnCopyMediaLink();
    void OnEmailLink();

protected:
    // A label edit begins where an editor is about to open, and ends where
    // it closes; the typed text is held until then and never written by the
    // view itself.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;

private:
    LibraryItem* InsertRoot();
    // UM_SET_ITEM_IMAGE, the transfer ends and UM_MEDIA_FILE; false for any
    // other message.
    bool OnTransferMessage(WindowMessage& message);
    // Marks the item under a drag of files as the drop target, apart from
    // the selection; null clears the mark.
    void SetDropHighlight(QTreeWidgetItem* item);
    // Opens the context menu at a screen point and runs what is chosen.
    void OpenContextMenu(const QPoint& globalPos);

    std::vector<QIcon> images_;
    std::unique_ptr<ItemAnimations> animations_;
    std::unique_ptr<LibraryTransfers> transfers_;
    std::unique_ptr<LibraryPlay> play_;
    QPointer<QObject> playerView_;
    Handle dropHighlight_ = 0;
    std::unique_ptr<LibrarySearch> search_;
    std::unique_ptr<FolderOperations> folderOperations_;
    std::optional<QString> typedLabel_;
    bool initialised_ = false;
    Handle hitItem_ = 0;
    // The last key that went down with Ctrl held, until it comes up.
    int keyPressedWithControl_ = 0;
    Handle rootItem_ = 0;
    UserDialogs userDialogs_{*this};
    FolderSharing folderSharing_{*this};
    TransferProgressDisplay progressDisplay_{*this};
    std::unique_ptr<LibraryLinks> links_;
};

} // namespace velmora
