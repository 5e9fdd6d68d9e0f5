#pragma once

// "Velmora Player - Shared Access Lists": the user's access lists and their
// members as one tree. Lists are made, renamed and deleted here, members are
// added by lookup or by dragging a member onto another list, and removed.
// In sharing mode the dialog also picks the list a folder is shared with.
//
// The dialog keeps no list data of its own: every change goes to the service
// and the tree is read again from the account object afterwards.

#include "window_messages.h"

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <map>
#include <string>

class QContextMenuEvent;
class QPushButton;
class QTreeWidgetItem;

namespace velmora {

class CCustomTreeCtrl;

class CAclsDialog : public QDialog {
    Q_OBJECT

public:
    enum {
        IDD = 198,
        IDC_TREE = 1008,
        IDC_CANCEL = 1011,
        ID_NEW_ACCESS_LIST = 32777,
        ID_RENAME = 32779,
        ID_NEW_USER = 32780,
        ID_DELETE = 32781,
        ID_COMMUNICATE = 2003,
        ID_STOP_SHARING = 2004,
    };
    enum Mode : std::int32_t { Management = 1, Sharing = 2 };
    // The images of the tree's items, by index.
    enum Image { ListImage = 0, RootImage = 1, FirstMemberImage = 2, LastMemberImage = 5 };
    static constexpr const char* kCaption = "Velmora Player - Shared Access Lists";
    static constexpr const char* kRootLabel = "access lists";

    explicit CAclsDialog(QWidget* parent = nullptr);
    ~CAclsDialog() override;

    // Set by the opener before the run.
    QPointer<QObject> viewWindow;
    std::int32_t mode = Management;
    // In: the list to preselect. Out, in sharing mode after OK: the chosen
    // list, 0 to stop sharing.
    std::int32_t listId = 0;

    // Commands, each on the current item.
    void OnCommand(int id);
    void OnNewList();
    void OnNewUser();
    void OnRename();
    void OnDelete();
    void OnCommunicate();
    void OnStopSharing();
    void OnOK();
    void OnMemberDoubleClick();
    // The context menu at a screen point; (-1, -1) for one asked for from
    // the keyboard.
    void OnContextMenu(QPoint globalPos);

    // Reads the whole tree again from the account object.
    void FillTree();

    CCustomTreeCtrl* tree() const { return tree_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QTreeWidgetItem* rootItem() const { return root_; }
    // The item the commands act on.
    QTreeWidgetItem* CurrentItem() const;
    // The item's image index (Image).
    static int ImageOf(const QTreeWidgetItem* item);
    // Whether the item is lit as the target of a member drag.
    static bool IsDropHighlighted(const QTreeWidgetItem* item);

protected:
    bool event(QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void showEvent(QShowEvent* e) override;
    // A modal run blocks only the window of the opener (or of the view
    // window), so the user dialogs opened from here take input at once.
    void setVisible(bool visible) override;

private:
    void OnInitDialog();
    bool IsList(const QTreeWidgetItem* item) const;
    bool IsMember(const QTreeWidgetItem* item) const;
    // The list the sharing buttons act on, or null once the user has been told why none is.
    QTreeWidgetItem* ChosenList();
    // Whether no list is called `name` yet; false once the user has been told otherwise.
    bool NameIsFree(const std::string& name);
    bool IsValidDropTarget(const QTreeWidgetItem* item) const;
    void OnBeginDrag(QTreeWidgetItem* item, QPoint point);
    void OnDragMove(const QPoint& point);
    void OnDrop();
    void SetDropHighlight(QTreeWidgetItem* item, bool on);
    // Adds the user to the list unless he is on it already; the tree is read
    // again after a change.
    void AddMember(std::int32_t listId, std::int32_t userId);
    // Shows the last error text, or fills the tree again after a change.
    void Finish(bool succeeded);
    QTreeWidgetItem* Insert(QTreeWidgetItem* parent, const QString& label, int image);

    CCustomTreeCtrl* tree_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QTreeWidgetItem* root_ = nullptr;
    QTreeWidgetItem* preselected_ = nullptr;
    std::map<const QTreeWidgetItem*, std::int32_t> listByItem_;
    std::map<const QTreeWidgetItem*, std::int32_t> userByItem_;
    // Right after a fill the preselected list is the current item, until
    // the user clicks into the tree.
    bool hitSinceFill_ = false;
    // The user moved through the tree with the keyboard since the last click
    // or fill: the commands then act on the item the keyboard reached.
    bool keyedSinceHit_ = false;
    bool initialised_ = false;
};

} // namespace velmora
