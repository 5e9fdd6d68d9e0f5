#include "acls_dialog.h"

#include "add_user_dialog.h"
#include "app_context.h"
#include "communicate_acl_dialog.h"
#include "custom_tree_ctrl.h"
#include "dialog_units.h"
#include "icons.h"
#include "menu_xp.h"
#include "message_boxes.h"
#include "modal_runner.h"
#include "model_user.h"
#include "string_table.h"
#include "text_prompt.h"
#include "user_record.h"
#include "window_modality.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace velmora {

namespace {

constexpr int kImageRole = Qt::UserRole;
constexpr int kDropHighlightRole = Qt::UserRole + 1;
// The icon resources of the tree's images, by image index.
constexpr int kImageIcons[] = {201, 192, 143, 144, 145, 146, 142};

ServiceClient& Client() {
    return AppContext::Instance().GetServiceClient();
}

// New and Rename ask for the name with the program's prompt; an empty answer
// is a cancel.
std::string AskName(int promptId, const std::string& initial) {
    return AskText(LoadString(promptId), initial);
}

// The member images take turns for the whole run of the program, so members
// shown side by side look apart, also after the tree is read again.
int NextMemberImage() {
    static int counter = 1;
    if (++counter >= 6)
        counter = CAclsDialog::FirstMemberImage;
    return counter;
}

QIcon ImageIcon(int image) {
    return QIcon(IconPath(kImageIcons[image]));
}

// Keys with which the tree moves its current item (arrows, paging, typing
// the start of a label).
bool MovesTheCurrentItem(LPARAM key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return key > Qt::Key_Space && key <= Qt::Key_AsciiTilde;
    }
}

QString MemberLabel(IUserProfile& member) {
    return QString::fromStdString(member.AccountId() + "(" + member.FirstName() + " " +
                                  member.LastName() + ")");
}

} // namespace

CAclsDialog::CAclsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kCaption);
    setFixedSize(DialogRect(0, 0, 371, 230).size());

    tree_ = new CCustomTreeCtrl(this);
    tree_->setObjectName(QString::number(IDC_TREE));
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setIconSize(QSize(32, 32));
    tree_->setAccessibleName("Access lists");
    PlaceControl(tree_, 7, 7, 299, 216);
    okButton_ = new QPushButton("Ok", this);
    okButton_->setObjectName("1");
    okButton_->setDefault(true);
    PlaceControl(okButton_, 314, 7, 50, 14);
    cancelButton_ = new QPushButton("Cancel", this);
    cancelButton_->setObjectName(QString::number(IDC_CANCEL));
    cancelButton_->setAutoDefault(false);
    PlaceControl(cancelButton_, 314, 25, 50, 14);
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(IconPath(182)).pixmap(32, 32));
    icon->move(DialogRect(332, 126, 0, 0).topLeft());
    icon->adjustSize();

    connect(okButton_, &QPushButton::clicked, this, &CAclsDialog::OnOK);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(tree_, &CCustomTreeCtrl::beginDrag, this, &CAclsDialog::OnBeginDrag);
    // The context menu from the keyboard, where the window system has no menu
    // key of its own to deliver.
    auto* menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] { OnContextMenu(QPoint(-1, -1)); });
}

CAclsDialog::~CAclsDialog() = default;

void CAclsDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
}

void CAclsDialog::setVisible(bool visible) {
    if (visible && !isVisible() && testAttribute(Qt::WA_ShowModal)) {
        QWidget* opener =
            parentWidget() ? parentWidget() : qobject_cast<QWidget*>(viewWindow.data());
        MakeModalToWindowOf(*this, opener);
    }
    QDialog::setVisible(visible);
}

void CAclsDialog::OnInitDialog() {
    if (mode == Management) {
        cancelButton_->hide();
        okButton_->setText("Close");
    } else {
        okButton_->setText("Share");
    }
    QPalette palette = tree_->palette();
    palette.setColor(QPalette::Base, QColor(248, 248, 255));
    tree_->setPalette(palette);
    tree_->SetTarget(this);
    FillTree();
}

int CAclsDialog::ImageOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kImageRole).toInt() : -1;
}

bool CAclsDialog::IsDropHighlighted(const QTreeWidgetItem* item) {
    return item && item->data(0, kDropHighlightRole).toBool();
}

// The root is told by the item itself, not by its label: a list may well be
// called "access lists" too.
bool CAclsDialog::IsList(const QTreeWidgetItem* item) const {
    return item && item != root_ && listByItem_.count(item) != 0;
}

bool CAclsDialog::IsMember(const QTreeWidgetItem* item) const {
    return item && userByItem_.count(item) != 0;
}

bool CAclsDialog::IsValidDropTarget(const QTreeWidgetItem* item) const {
    return IsList(item);
}

QTreeWidgetItem* CAclsDialog::CurrentItem() const {
    if (keyedSinceHit_)
        return tree_->currentItem();
    return hitSinceFill_ ? tree_->HitItem() : preselected_;
}

QTreeWidgetItem* CAclsDialog::Insert(QTreeWidgetItem* parent, const QString& label, int image) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, label);
    item->setIcon(0, ImageIcon(image));
    item->setData(0, kImageRole, image);
    return item;
}

void CAclsDialog::FillTree() {
    listByItem_.clear();
    userByItem_.clear();
    preselected_ = nullptr;
    hitSinceFill_ = false;
    keyedSinceHit_ = false;
    tree_->clear();
    root_ = Insert(nullptr, kRootLabel, RootImage);
    listByItem_[root_] = 0;
    try {
        std::shared_ptr<IAccount> account = Client().GetAccount();
        const std::int32_t count = account ? account->AccessListCount() : 0;
        for (std::int32_t i = 0; i < count; ++i) {
            auto list = QueryInterface<IAccessList>(account->AccessList(i));
            if (!list)
                continue;
            QTreeWidgetItem* listItem =
                Insert(root_, QString::fromStdString(list->Name()), ListImage);
            listByItem_[listItem] = list->Id();
            const std::int32_t members = list->MemberCount();
            for (std::int32_t m = 0; m < members; ++m) {
                auto member = QueryInterface<IUserProfile>(list->Member(m));
                if (!member)
                    continue;
                QTreeWidgetItem* memberItem =
                    Insert(listItem, MemberLabel(*member), NextMemberImage());
                userByItem_[memberItem] = member->UserId();
            }
            if (listId != 0 && list->Id() == listId)
                preselected_ = listItem;
            listItem->setExpanded(true);
        }
    } catch (const ComError& error) {
        // What was read so far stays, and the dialog stays usable.
        ShowMessage(error.message());
    }
    root_->setExpanded(true);
    if (preselected_) {
        tree_->scrollToItem(preselected_);
        tree_->setCurrentItem(preselected_);
    }
}

void CAclsDialog::Finish(bool succeeded) {
    if (succeeded)
        FillTree();
    else
        ShowMessage(Client().GetLastError());
}

void CAclsDialog::OnCommand(int id) {
    switch (id) {
    case ID_NEW_ACCESS_LIST:
        OnNewList();
        break;
    case ID_NEW_USER:
        OnNewUser();
        break;
    case ID_RENAME:
        OnRename();
        break;
    case ID_DELETE:
        OnDelete();
        break;
    case ID_COMMUNICATE:
        OnCommunicate();
        break;
    case ID_STOP_SHARING:
        OnStopSharing();
        break;
    default:
        break;
    }
}

bool CAclsDialog::NameIsFree(const std::string& name) {
    try {
        std::shared_ptr<IAccount> account = Client().GetAccount();
        if (account && account->AccessListNameExists(name) != 0) {
            ShowMessage(111);
            return false;
        }
    } catch (const ComError& error) {
        ShowMessage(error.message());
        return false;
    }
    return true;
}

void CAclsDialog::OnNewList() {
    const std::string name = AskName(112, "Access List 1");
    if (name.empty())
        return;
    if (!NameIsFree(name))
        return;
    Finish(Client().CreateAccessList(name));
}

void CAclsDialog::OnRename() {
    QTreeWidgetItem* item = CurrentItem();
    if (item == root_)
        return;
    if (!IsList(item)) {
        ShowMessage(109);
        return;
    }
    const std::string name = AskName(113, item->text(0).toStdString());
    if (name.empty())
        return;
    if (!NameIsFree(name))
        return;
    Finish(Client().RenameAccessList(listByItem_.at(item), name));
}

void CAclsDialog::OnDelete() {
    QTreeWidgetItem* item = CurrentItem();
    if (item == root_)
        return;
    if (IsMember(item) && IsList(item->parent()))
        Finish(Client().RemoveUserFromAccessList(listByItem_.at(item->parent()),
                                                 userByItem_.at(item)));
    else if (IsList(item))
        Finish(Client().DeleteAccessList(listByItem_.at(item)));
    else
        ShowMessage(109);
}

void CAclsDialog::OnNewUser() {
    QTreeWidgetItem* item = CurrentItem();
    if (item == root_)
        return;
    QTreeWidgetItem* listItem = IsList(item) ? item : IsMember(item) ? item->parent() : nullptr;
    if (!IsList(listItem)) {
        ShowMessage(109);
        return;
    }
    const std::int32_t id = listByItem_.at(listItem);
    std::string name = listItem->text(0).toStdString();
    try {
        if (std::shared_ptr<IAccessList> list = Client().GetAccessList(id))
            name = list->Name();
    } catch (const ComError& error) {
        ShowMessage(error.message());
        return;
    }
    CAddUserToAclDialog dialog(this);
    dialog.listName = name;
    dialog.viewWindow = viewWindow;
    if (RunModal(dialog) != QDialog::Accepted || dialog.foundUserId <= 0)
        return;
    AddMember(id, dialog.foundUserId);
}

void CAclsDialog::AddMember(std::int32_t list, std::int32_t userId) {
    try {
        std::shared_ptr<IAccessList> acl = Client().GetAccessList(list);
        if (acl && acl->IsMember(userId) == VARIANT_TRUE) {
            ShowMessage(114);
            return;
        }
    } catch (const ComError& error) {
        ShowMessage(error.message());
        return;
    }
    Finish(Client().AddUserToAccessList(list, userId));
}

void CAclsDialog::OnCommunicate() {
    QTreeWidgetItem* item = CurrentItem();
    if (!IsList(item)) {
        ShowMessage(109);
        return;
    }
    if (!Client().IsPlusAccount()) {
        ShowMessage(129);
        return;
    }
    CCommunicateAclDialog dialog(this);
    dialog.listId = listByItem_.at(item);
    RunModal(dialog);
}

QTreeWidgetItem* CAclsDialog::ChosenList() {
    QTreeWidgetItem* item = CurrentItem();
    if (!item) {
        ShowMessage(116);
        return nullptr;
    }
    if (!IsList(item)) {
        ShowMessage(117);
        return nullptr;
    }
    return item;
}

void CAclsDialog::OnStopSharing() {
    if (mode != Sharing) {
        accept();
        return;
    }
    QTreeWidgetItem* item = ChosenList();
    if (!item)
        return;
    if (listByItem_.at(item) == 0) {
        ShowMessage(116);
        return;
    }
    listId = 0;
    accept();
}

void CAclsDialog::OnOK() {
    if (mode != Sharing) {
        accept();
        return;
    }
    QTreeWidgetItem* item = ChosenList();
    if (!item)
        return;
    listId = listByItem_.at(item);
    accept();
}

void CAclsDialog::OnMemberDoubleClick() {
    QTreeWidgetItem* item = CurrentItem();
    if (!item || IsList(item))
        return;
    auto found = userByItem_.find(item);
    const std::int32_t userId = found == userByItem_.end() ? 0 : found->second;
    std::optional<UserRecord> record;
    try {
        record = ModelUserRecord(Client(), userId);
    } catch (const ComError& error) {
        ShowMessage(error.message());
        return;
    }
    if (!record)
        return;
    if (!viewWindow)
        return;
    const auto dialog = static_cast<Handle>(SendMessage(viewWindow.data(), UM_OPEN_USER_DIALOG,
                                                        static_cast<WPARAM>(userId),
                                                        reinterpret_cast<LPARAM>(&*record)));
    if (dialog)
        PostMessage(dialog, UM_FOCUS_USER_DIALOG, 0, 0);
}

void CAclsDialog::OnContextMenu(QPoint globalPos) {
    if (globalPos == QPoint(-1, -1))
        globalPos = mapToGlobal(QPoint(5, 5));
    CMenuXP menu(this);
    menu.AddTitleStrip(MenuItemRecord::TitleStrip(24, "ACLs"));
    auto newMenu = std::make_unique<CMenuXP>();
    newMenu->AppendEntry(CMenuXP::Enabled,
                         MenuItemRecord::Entry(ID_NEW_USER, "User...", QIcon(IconPath(144)), 32));
    newMenu->AppendEntry(
        CMenuXP::Enabled,
        MenuItemRecord::Entry(ID_NEW_ACCESS_LIST, "Access List...", QIcon(IconPath(201)), 32));
    menu.AppendPopup(CMenuXP::Enabled, std::move(newMenu), MenuItemRecord::Entry(0, "New", {}, 32));
    menu.AppendSeparator();
    menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(ID_COMMUNICATE, "Communicate...",
                                                             QIcon(IconPath(179)), 32));
    menu.AppendSeparator();
    if (mode == Sharing)
        menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(ID_STOP_SHARING, "Stop Sharing...",
                                                                 QIcon(IconPath(253)), 32));
    menu.AppendEntry(CMenuXP::Enabled, MenuItemRecord::Entry(ID_RENAME, "Rename...\tF2", {}, 32));
    menu.AppendEntry(CMenuXP::Enabled,
                     MenuItemRecord::Entry(ID_DELETE, "Delete\tDel", QIcon(IconPath(180)), 32));
    if (const int command = menu.Track(globalPos))
        OnCommand(command);
}

void CAclsDialog::contextMenuEvent(QContextMenuEvent* e) {
    // A right click in the tree reaches here once, as the tree leaves the
    // event to its parent; the menu opens for it once.
    OnContextMenu(e->reason() == QContextMenuEvent::Keyboard ? QPoint(-1, -1) : e->globalPos());
    e->accept();
}

void CAclsDialog::OnBeginDrag(QTreeWidgetItem* item, QPoint point) {
    if (mode != Management || !item)
        return;
    tree_->SetDragItem(item);
    tree_->SetDropTarget(nullptr);
    tree_->SetLastWindow(tree_);
    tree_->SetDragImage(nullptr);
    tree_->SetDragImage(CDragImage::OfItem(*tree_, item));
    tree_->DragImage()->BeginDrag(QPoint(8, 8));
    tree_->DragImage()->DragEnter(tree_->viewport()->mapToGlobal(point));
    tree_->SetDragging(true);
}

void CAclsDialog::SetDropHighlight(QTreeWidgetItem* item, bool on) {
    if (!item)
        return;
    item->setData(0, kDropHighlightRole, on);
    item->setBackground(0, on ? palette().brush(QPalette::Highlight) : QBrush());
    item->setForeground(0, on ? palette().brush(QPalette::HighlightedText) : QBrush());
}

void CAclsDialog::OnDragMove(const QPoint& point) {
    if (!tree_->IsDragging())
        return;
    const QPoint global = tree_->viewport()->mapToGlobal(point);
    CDragImage* image = tree_->DragImage();
    if (image) {
        image->DragMove(global);
        image->DragShow(false);
    }
    QWidget* under = QApplication::widgetAt(global);
    if (!under && tree_->viewport()->rect().contains(point))
        under = tree_->viewport();
    CCustomTreeCtrl* overTree = nullptr;
    for (QWidget* w = under; w && !overTree; w = w->parentWidget())
        overTree = qobject_cast<CCustomTreeCtrl*>(w);
    QWidget* window = overTree ? overTree : under;
    if (window != tree_->LastWindow() && tree_->DropTarget()) {
        SetDropHighlight(tree_->DropTarget(), false);
        tree_->SetDropTarget(nullptr);
    }
    tree_->SetLastWindow(window);
    if (overTree) {
        QTreeWidgetItem* target = tree_->itemAt(tree_->viewport()->mapFromGlobal(global));
        // Only a valid target keeps the highlight, so what is lit is where a
        // drop would land.
        if (target != tree_->DropTarget())
            SetDropHighlight(tree_->DropTarget(), false);
        tree_->SetDropTarget(target);
        if (IsValidDropTarget(target))
            SetDropHighlight(target, true);
    }
    if (image)
        image->DragShow(true);
}

void CAclsDialog::OnDrop() {
    if (!tree_->IsDragging())
        return;
    tree_->SetDragging(false);
    if (CDragImage* image = tree_->DragImage())
        image->DragLeave();
    tree_->SetDragImage(nullptr);
    QTreeWidgetItem* target = tree_->DropTarget();
    QTreeWidgetItem* dragged = tree_->DragItem();
    SetDropHighlight(target, false);
    tree_->SetDropTarget(nullptr);
    tree_->SetDragItem(nullptr);
    if (!target || target == dragged)
        return;
    // Only a member can be added to a list: a list or the root dragged onto
    // a list has no user to add.
    if (!IsValidDropTarget(target) || !IsMember(dragged)) {
        ShowMessage(115);
        return;
    }
    AddMember(listByItem_.at(target), userByItem_.at(dragged));
}

bool CAclsDialog::event(QEvent* e) {
    if (!WindowMessage::isWindowMessage(e))
        return QDialog::event(e);
    auto* message = static_cast<WindowMessage*>(e);
    switch (message->message()) {
    case UM_TREE_LBUTTONDOWN:
        hitSinceFill_ = true;
        keyedSinceHit_ = false;
        if (QTreeWidgetItem* hit = tree_->HitItem())
            tree_->setCurrentItem(hit);
        break;
    case UM_TREE_RBUTTONDOWN:
        hitSinceFill_ = true;
        keyedSinceHit_ = false;
        break;
    case UM_TREE_MOUSEMOVE:
        OnDragMove(CCustomTreeCtrl::PointParam(message->lParam()));
        break;
    case UM_TREE_LBUTTONUP:
        hitSinceFill_ = true;
        keyedSinceHit_ = false;
        OnDrop();
        break;
    case UM_TREE_LBUTTONDBLCLK:
        hitSinceFill_ = true;
        keyedSinceHit_ = false;
        OnMemberDoubleClick();
        break;
    case UM_TREE_KEYDOWN:
        if (MovesTheCurrentItem(message->lParam()))
            keyedSinceHit_ = true;
        if (message->lParam() == Qt::Key_Delete)
            OnDelete();
        else if (message->lParam() == Qt::Key_F2)
            OnRename();
        break;
    default:
        return QDialog::event(e);
    }
    message->setResult(0);
    message->accept();
    return true;
}

} // namespace velmora
