#include "acls_dialog.h"
#include "add_user_dialog.h"
#include "custom_tree_ctrl.h"
#include "dialog_test_support.h"
#include "left_view.h"
#include "menu_xp.h"
#include "modal_runner.h"
#include "text_prompt.h"
#include "user_dialog.h"
#include "user_dialogs.h"

#include <QApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

// An access list that holds members.
class MemberList : public test::ScriptedAccessList {
public:
    using ScriptedAccessList::ScriptedAccessList;
    std::int32_t MemberCount() override {
        if (failMembers)
            throw ComError(E_FAIL, IAccessList::iid);
        return static_cast<std::int32_t>(members.size());
    }
    ComPtr Member(std::int32_t index) override { return members.at(index); }
    VariantBool IsMember(std::int32_t userId) override {
        for (auto& m : members)
            if (m->userId == userId)
                return VARIANT_TRUE;
        return VARIANT_FALSE;
    }
    std::vector<std::shared_ptr<test::ScriptedProfile>> members;
    bool failMembers = false;
};

// The service's side of the lists, kept in the account object itself: every
// change the client sends lands in the model it reads back.
class AclAccount : public test::ScriptedAccount {
public:
    void SetAccessLists(const std::string&) override {}
    VariantBool AccessListNameExists(const std::string& name) override {
        if (failNameLookup)
            throw ComError(E_FAIL, IAccount::iid);
        return ScriptedAccount::AccessListNameExists(name);
    }
    bool failNameLookup = false;
    ComPtr UserById(std::int32_t id) override {
        for (auto& user : known)
            if (user->userId == id)
                return user;
        return nullptr;
    }
    MemberList& list(std::int32_t id) {
        for (auto& l : lists)
            if (l->id_ == id)
                return static_cast<MemberList&>(*l);
        throw std::out_of_range("no list");
    }
    std::vector<std::shared_ptr<test::ScriptedProfile>> known;
};

class AclProxy : public test::ScriptedProxy {
public:
    AclProxy() { account = aclAccount; }
    std::shared_ptr<AclAccount> aclAccount = std::make_shared<AclAccount>();
    std::int32_t nextId = 30;

    void CreateAccessList(const std::string& name) override {
        ScriptedProxy::CreateAccessList(name);
        account->lists.push_back(std::make_shared<MemberList>(nextId++, name));
    }
    void RenameAccessList(std::int32_t id, const std::string& name) override {
        ScriptedProxy::RenameAccessList(id, name);
        aclAccount->list(id).name_ = name;
    }
    void DeleteAccessList(std::int32_t id) override {
        ScriptedProxy::DeleteAccessList(id);
        std::erase_if(account->lists, [id](auto& l) { return l->id_ == id; });
    }
    void AddUserToAccessList(std::int32_t id, std::int32_t userId) override {
        ScriptedProxy::AddUserToAccessList(id, userId);
        for (auto& user : aclAccount->known)
            if (user->userId == userId)
                aclAccount->list(id).members.push_back(user);
    }
    void RemoveUserFromAccessList(std::int32_t id, std::int32_t userId) override {
        ScriptedProxy::RemoveUserFromAccessList(id, userId);
        std::erase_if(aclAccount->list(id).members,
                      [userId](auto& m) { return m->userId == userId; });
    }
};

// Records the user dialogs it is asked for and answers with a stand-in
// dialog window, which records being brought to the front.
class FocusRecorder : public QObject {
public:
    int focused = 0;

protected:
    bool event(QEvent* e) override {
        if (WindowMessage::isWindowMessage(e) &&
            static_cast<WindowMessage*>(e)->message() == UM_FOCUS_USER_DIALOG) {
            ++focused;
            return true;
        }
        return QObject::event(e);
    }
};

class ViewWindow : public QObject {
public:
    std::vector<WPARAM> opened;
    FocusRecorder dialog;

protected:
    bool event(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return QObject::event(e);
        auto* message = static_cast<WindowMessage*>(e);
        if (message->message() == UM_OPEN_USER_DIALOG) {
            opened.push_back(message->wParam());
            message->setResult(static_cast<LRESULT>(HandleOf(&dialog)));
        }
        message->accept();
        return true;
    }
};

enum class Pick { Nothing, Root, Friends, Ben, Family, NamedLikeRoot, Empty };

class AclsDialogTest : public test::SignedInTest {
protected:
    std::shared_ptr<AclProxy> aclProxy = std::make_shared<AclProxy>();
    std::shared_ptr<test::ScriptedProfile> ben =
        std::make_shared<test::ScriptedProfile>(23, "ben", "Ben", "Brook");
    std::shared_ptr<test::ScriptedProfile> carla =
        std::make_shared<test::ScriptedProfile>(31, "carla", "Carla", "Cole");
    std::vector<std::pair<std::string, std::string>> prompts;
    std::string answer;
    ScopedTextPrompter prompter{[this](const std::string& prompt, const std::string& initial) {
        prompts.emplace_back(prompt, initial);
        return answer;
    }};
    std::unique_ptr<CAclsDialog> dialog;

    void SetUp() override {
        proxy = aclProxy;
        AclAccount& account = *aclProxy->aclAccount;
        account.known = {ben, carla};
        auto friends = std::make_shared<MemberList>(10, "Friends");
        friends->members = {ben, carla};
        auto family = std::make_shared<MemberList>(11, "Family");
        auto likeRoot = std::make_shared<MemberList>(12, "access lists");
        account.lists = {friends, family, likeRoot};
        SignIn();
    }
    void Open(std::int32_t mode = CAclsDialog::Management, std::int32_t listId = 0) {
        dialog = std::make_unique<CAclsDialog>();
        dialog->mode = mode;
        dialog->listId = listId;
        dialog->show();
    }
    QTreeWidgetItem* ItemOf(Pick pick) {
        QTreeWidgetItem* root = dialog->rootItem();
        switch (pick) {
        case Pick::Root:
            return root;
        case Pick::Friends:
            return root->child(0);
        case Pick::Ben:
            return root->child(0)->child(0);
        case Pick::Family:
            return root->child(1);
        case Pick::NamedLikeRoot:
            return root->child(2);
        default:
            return nullptr;
        }
    }
    QPoint PointOf(Pick pick) {
        if (QTreeWidgetItem* item = ItemOf(pick))
            return dialog->tree()->visualItemRect(item).center();
        return QPoint(5, dialog->tree()->viewport()->height() - 5);
    }
    void Mouse(QEvent::Type type, Qt::MouseButton button, const QPoint& at) {
        QWidget* viewport = dialog->tree()->viewport();
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent e(type, at, viewport->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(viewport, &e);
    }
    // Real mouse input on the tree: press on the item, move past the drag
    // distance, move onto the target, release there.
    void DragWithMouse(const QPoint& from, const QPoint& onto) {
        Mouse(QEvent::MouseButtonPress, Qt::LeftButton, from);
        Mouse(QEvent::MouseMove, Qt::LeftButton, from + QPoint(3, 0));
        Mouse(QEvent::MouseMove, Qt::LeftButton,
              from + QPoint(0, QApplication::startDragDistance() + 4));
        Mouse(QEvent::MouseMove, Qt::LeftButton, onto);
        Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, onto);
    }
    void Click(Pick pick) {
        if (pick == Pick::Nothing)
            return;
        Mouse(QEvent::MouseButtonPress, Qt::LeftButton, PointOf(pick));
        Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, PointOf(pick));
    }
    std::vector<std::string> Labels(QTreeWidgetItem* parent) {
        std::vector<std::string> out;
        for (int i = 0; i < parent->childCount(); ++i)
            out.push_back(parent->child(i)->text(0).toStdString());
        return out;
    }
    std::vector<std::string> Changes() const {
        std::vector<std::string> out;
        for (const std::string& call : proxy->calls)
            if (call.find("AccessList(") != std::string::npos)
                out.push_back(call);
        return out;
    }
};

TEST_F(AclsDialogTest, FillsListsAndMembersAndPreselectsTheSharedList) {
    Open(CAclsDialog::Sharing, 11);
    EXPECT_EQ(dialog->windowTitle(), "Velmora Player - Shared Access Lists");
    EXPECT_EQ(dialog->okButton()->text(), "Share");
    EXPECT_FALSE(dialog->cancelButton()->isHidden());
    QTreeWidgetItem* root = dialog->rootItem();
    EXPECT_EQ(root->text(0), "access lists");
    EXPECT_EQ(CAclsDialog::ImageOf(root), CAclsDialog::RootImage);
    EXPECT_EQ(Labels(root), (std::vector<std::string>{"Friends", "Family", "access lists"}));
    EXPECT_EQ(Labels(root->child(0)),
              (std::vector<std::string>{"ben(Ben Brook)", "carla(Carla Cole)"}));
    EXPECT_EQ(CAclsDialog::ImageOf(root->child(2)), CAclsDialog::ListImage);
    EXPECT_TRUE(root->child(0)->isExpanded());
    EXPECT_EQ(dialog->CurrentItem(), root->child(1));
    EXPECT_EQ(dialog->tree()->currentItem(), root->child(1));
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->listId, 11);

    Open(CAclsDialog::Management, 0);
    EXPECT_EQ(dialog->okButton()->text(), "Close");
    EXPECT_TRUE(dialog->cancelButton()->isHidden());
    EXPECT_EQ(dialog->CurrentItem(), nullptr);
}

TEST_F(AclsDialogTest, MemberImagesGoOnTurningAcrossFills) {
    Open();
    std::vector<int> images;
    for (int fill = 0; fill < 3; ++fill) {
        for (QTreeWidgetItem* list = dialog->rootItem()->child(0);
             QTreeWidgetItem * m : {list->child(0), list->child(1)})
            images.push_back(CAclsDialog::ImageOf(m));
        dialog->FillTree();
    }
    // Each member takes the image after the one before, 2 to 5 round.
    for (std::size_t i = 1; i < images.size(); ++i) {
        EXPECT_GE(images[i], CAclsDialog::FirstMemberImage);
        EXPECT_LE(images[i], CAclsDialog::LastMemberImage);
        EXPECT_EQ(images[i], images[i - 1] == 5 ? 2 : images[i - 1] + 1) << "at " << i;
    }
}

struct CommandCase {
    const char* name;
    std::int32_t mode;
    Pick pick;
    int command;
    std::string answer;
    std::vector<std::string> changes;
    std::vector<std::string> texts;
    bool accepted = false;
    std::int32_t listId = -1; // after the run; -1: not looked at
};

void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

class AclsCommandTest : public AclsDialogTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(AclsCommandTest, ActsOnTheCurrentItem) {
    const CommandCase& c = GetParam();
    answer = c.answer;
    Open(c.mode, 0);
    Click(c.pick);
    if (c.command == 1)
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    else
        dialog->OnCommand(c.command);
    EXPECT_EQ(Changes(), c.changes);
    EXPECT_EQ(boxes->texts(), c.texts);
    EXPECT_EQ(dialog->result() == QDialog::Accepted, c.accepted);
    if (c.listId != -1) {
        EXPECT_EQ(dialog->listId, c.listId);
    }
}

const int kNew = CAclsDialog::ID_NEW_ACCESS_LIST, kRename = CAclsDialog::ID_RENAME,
          kDelete = CAclsDialog::ID_DELETE, kCommunicate = CAclsDialog::ID_COMMUNICATE,
          kStop = CAclsDialog::ID_STOP_SHARING;
const std::int32_t kManage = CAclsDialog::Management, kShare = CAclsDialog::Sharing;

INSTANTIATE_TEST_SUITE_P(
    Commands, AclsCommandTest,
    ::testing::Values(
        CommandCase{"NewListCancelled", kManage, Pick::Nothing, kNew, "", {}, {}},
        CommandCase{"NewListNameInUse",
                    kManage,
                    Pick::Nothing,
                    kNew,
                    "Family",
                    {},
                    {"Access list with the same name already exists"}},
        CommandCase{
            "NewList", kManage, Pick::Nothing, kNew, "Work", {"CreateAccessList(Work)"}, {}},
        CommandCase{"RenameRoot", kManage, Pick::Root, kRename, "X", {}, {}},
        CommandCase{"RenameMember", kManage, Pick::Ben, kRename, "X", {}, {"Invalid selection"}},
        CommandCase{"RenameToItsOwnName",
                    kManage,
                    Pick::Friends,
                    kRename,
                    "Friends",
                    {},
                    {"Access list with the same name already exists"}},
        CommandCase{
            "Rename", kManage, Pick::Friends, kRename, "Pals", {"RenameAccessList(10,Pals)"}, {}},
        CommandCase{"RenameListNamedLikeTheRoot",
                    kManage,
                    Pick::NamedLikeRoot,
                    kRename,
                    "Club",
                    {"RenameAccessList(12,Club)"},
                    {}},
        CommandCase{"DeleteRoot", kManage, Pick::Root, kDelete, "", {}, {}},
        CommandCase{"DeleteMember",
                    kManage,
                    Pick::Ben,
                    kDelete,
                    "",
                    {"RemoveUserFromAccessList(10,23)"},
                    {}},
        CommandCase{"DeleteList", kManage, Pick::Family, kDelete, "", {"DeleteAccessList(11)"}, {}},
        CommandCase{"DeleteListNamedLikeTheRoot",
                    kManage,
                    Pick::NamedLikeRoot,
                    kDelete,
                    "",
                    {"DeleteAccessList(12)"},
                    {}},
        CommandCase{
            "CommunicateOnRoot", kManage, Pick::Root, kCommunicate, "", {}, {"Invalid selection"}},
        CommandCase{"CommunicateFreeAccount",
                    kManage,
                    Pick::Friends,
                    kCommunicate,
                    "",
                    {},
                    {"This feature is not available to free accounts"}},
        CommandCase{"StopSharingOnList", kShare, Pick::Family, kStop, "", {}, {}, true, 0},
        CommandCase{
            "StopSharingOnMember", kShare, Pick::Ben, kStop, "", {}, {"Select Access List"}},
        CommandCase{"StopSharingNothingChosen",
                    kShare,
                    Pick::Nothing,
                    kStop,
                    "",
                    {},
                    {"No access list selected"}},
        CommandCase{
            "StopSharingInManagementCloses", kManage, Pick::Nothing, kStop, "", {}, {}, true},
        CommandCase{
            "ShareNothingChosen", kShare, Pick::Nothing, 1, "", {}, {"No access list selected"}},
        CommandCase{"ShareOnMember", kShare, Pick::Ben, 1, "", {}, {"Select Access List"}},
        CommandCase{"ShareOnRoot", kShare, Pick::Root, 1, "", {}, {"Select Access List"}},
        CommandCase{"ShareOnList", kShare, Pick::Family, 1, "", {}, {}, true, 11},
        CommandCase{"CloseInManagement", kManage, Pick::Ben, 1, "", {}, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AclsDialogTest, PromptsCarryTheirTextsAndAChangeIsReadBack) {
    Open();
    answer = "Work";
    dialog->OnCommand(CAclsDialog::ID_NEW_ACCESS_LIST);
    Click(Pick::Family);
    answer = "Kin";
    dialog->OnCommand(CAclsDialog::ID_RENAME);
    EXPECT_EQ(prompts, (std::vector<std::pair<std::string, std::string>>{
                           {"Enter name of the access list", "Access List 1"},
                           {"Rename the acess list", "Family"}}));
    EXPECT_EQ(Labels(dialog->rootItem()),
              (std::vector<std::string>{"Friends", "Kin", "access lists", "Work"}));
}

TEST_F(AclsDialogTest, AFailedChangeShowsTheErrorAndLeavesTheTree) {
    proxy->failOn("DeleteAccessList", "List is in use");
    Open();
    Click(Pick::Family);
    QTreeWidgetItem* family = dialog->rootItem()->child(1);
    QTest::keyClick(dialog->tree(), Qt::Key_Delete);
    EXPECT_EQ(boxes->texts(), std::vector<std::string>{client().GetLastError()});
    EXPECT_NE(client().GetLastError().find("List is in use"), std::string::npos);
    EXPECT_EQ(dialog->rootItem()->child(1), family);
}

TEST_F(AclsDialogTest, CommandsActOnTheItemTheKeysReachedUntilTheNextClick) {
    Open();
    Click(Pick::Family);
    QTest::keyClick(dialog->tree(), Qt::Key_Up); // onto carla, Friends' last member
    QTest::keyClick(dialog->tree(), Qt::Key_Delete);
    QTest::keyClick(dialog->tree(), Qt::Key_Down);
    Click(Pick::Ben);
    QTest::keyClick(dialog->tree(), Qt::Key_Delete);
    EXPECT_EQ(Changes(), (std::vector<std::string>{"RemoveUserFromAccessList(10,31)",
                                                   "RemoveUserFromAccessList(10,23)"}));
    EXPECT_TRUE(boxes->texts().empty());
}

TEST_F(AclsDialogTest, AFailingObjectWhileFillingIsShownAndTheDialogStaysUsable) {
    aclProxy->aclAccount->list(11).failMembers = true;
    Open();
    ASSERT_EQ(boxes->texts().size(), 1u);
    EXPECT_EQ(Labels(dialog->rootItem()), (std::vector<std::string>{"Friends", "Family"}));
    aclProxy->aclAccount->list(11).failMembers = false;
    Click(Pick::Ben);
    dialog->OnCommand(CAclsDialog::ID_DELETE);
    EXPECT_EQ(Changes(), std::vector<std::string>{"RemoveUserFromAccessList(10,23)"});
    EXPECT_EQ(Labels(dialog->rootItem()->child(0)), std::vector<std::string>{"carla(Carla Cole)"});
}

TEST_F(AclsDialogTest, AFailingLookupIsShownAndNothingIsSent) {
    Open();
    aclProxy->aclAccount->failNameLookup = true;
    answer = "Work";
    dialog->OnCommand(CAclsDialog::ID_NEW_ACCESS_LIST);
    aclProxy->aclAccount->failAccessListById = true;
    DragWithMouse(PointOf(Pick::Ben), PointOf(Pick::Family));
    EXPECT_EQ(boxes->texts().size(), 2u);
    EXPECT_TRUE(Changes().empty());
    EXPECT_EQ(Labels(dialog->rootItem()).size(), 3u);
}

struct AddUserCase {
    const char* name;
    Pick pick;
    std::int32_t found; // 0: the add user dialog is cancelled
    std::vector<std::string> changes;
    std::vector<std::string> texts;
    std::string title; // of the add user dialog; empty when none opens
};

void PrintTo(const AddUserCase& c, std::ostream* os) {
    *os << c.name;
}

class AclsAddUserTest : public AclsDialogTest, public ::testing::WithParamInterface<AddUserCase> {};

TEST_P(AclsAddUserTest, AddsTheFoundUserToTheChosenList) {
    const AddUserCase& c = GetParam();
    std::string title;
    ModalRunner previous = InstallModalRunner([&](QDialog& d) {
        auto& add = dynamic_cast<CAddUserToAclDialog&>(d);
        title = add.listName;
        add.foundUserId = c.found;
        return c.found ? QDialog::Accepted : QDialog::Rejected;
    });
    Open();
    Click(c.pick);
    dialog->OnCommand(CAclsDialog::ID_NEW_USER);
    InstallModalRunner(previous);
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(Changes(), c.changes);
    EXPECT_EQ(boxes->texts(), c.texts);
}

INSTANTIATE_TEST_SUITE_P(
    AddUser, AclsAddUserTest,
    ::testing::Values(
        AddUserCase{"OnTheRoot", Pick::Root, 31, {}, {}, ""},
        AddUserCase{"WithNothingChosen", Pick::Empty, 31, {}, {"Invalid selection"}, ""},
        AddUserCase{"ToAList", Pick::Family, 31, {"AddUserToAccessList(11,31)"}, {}, "Family"},
        AddUserCase{"ToTheListOfAMember",
                    Pick::Ben,
                    23,
                    {},
                    {"This user is already part of this access list"},
                    "Friends"},
        AddUserCase{"ToAListNamedLikeTheRoot",
                    Pick::NamedLikeRoot,
                    23,
                    {"AddUserToAccessList(12,23)"},
                    {},
                    "access lists"},
        AddUserCase{"Cancelled", Pick::Family, 0, {}, {}, "Family"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DragCase {
    const char* name;
    Pick from;
    Pick onto;
    std::vector<std::string> changes;
    std::vector<std::string> texts;
};

void PrintTo(const DragCase& c, std::ostream* os) {
    *os << c.name;
}

class AclsDragTest : public AclsDialogTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(AclsDragTest, DroppingAMemberOnAListCopiesIt) {
    const DragCase& c = GetParam();
    Open();
    CCustomTreeCtrl* tree = dialog->tree();
    // What the tree carries just before the drop.
    const QPoint from = PointOf(c.from), onto = PointOf(c.onto);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, from);
    Mouse(QEvent::MouseMove, Qt::LeftButton, from + QPoint(3, 0));
    Mouse(QEvent::MouseMove, Qt::LeftButton,
          from + QPoint(0, QApplication::startDragDistance() + 4));
    Mouse(QEvent::MouseMove, Qt::LeftButton, onto);
    const bool dragging = tree->IsDragging();
    const bool imageShown = tree->DragImage() && tree->DragImage()->IsEntered();
    const bool targetIsTheItemUnderTheCursor = tree->DropTarget() == ItemOf(c.onto);
    // Only a list is lit, and only while the cursor is over it.
    const bool onAList =
        c.onto == Pick::Friends || c.onto == Pick::Family || c.onto == Pick::NamedLikeRoot;
    EXPECT_EQ(CAclsDialog::IsDropHighlighted(tree->DropTarget()), onAList);
    QTreeWidgetItem* lit = tree->DropTarget();
    if (lit && lit != ItemOf(c.from)) {
        Mouse(QEvent::MouseMove, Qt::LeftButton, PointOf(c.from));
        EXPECT_FALSE(CAclsDialog::IsDropHighlighted(lit)) << "the light stays behind";
        Mouse(QEvent::MouseMove, Qt::LeftButton, onto);
    }
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, onto);
    EXPECT_TRUE(dragging);
    EXPECT_TRUE(imageShown);
    EXPECT_TRUE(targetIsTheItemUnderTheCursor);
    EXPECT_FALSE(tree->IsDragging());
    EXPECT_EQ(tree->DragImage(), nullptr);
    EXPECT_EQ(Changes(), c.changes);
    EXPECT_EQ(boxes->texts(), c.texts);
}

INSTANTIATE_TEST_SUITE_P(
    Drag, AclsDragTest,
    ::testing::Values(
        DragCase{
            "MemberOntoAnotherList", Pick::Ben, Pick::Family, {"AddUserToAccessList(11,23)"}, {}},
        DragCase{"MemberOntoItsOwnList",
                 Pick::Ben,
                 Pick::Friends,
                 {},
                 {"This user is already part of this access list"}},
        DragCase{"OntoTheRoot", Pick::Ben, Pick::Root, {}, {"Invalid drop target"}},
        DragCase{"OntoAMember", Pick::Family, Pick::Ben, {}, {"Invalid drop target"}},
        DragCase{"OntoEmptySpace", Pick::Ben, Pick::Empty, {}, {}},
        DragCase{"AListOntoAList", Pick::Family, Pick::NamedLikeRoot, {}, {"Invalid drop target"}},
        DragCase{"TheRootOntoAList", Pick::Root, Pick::Family, {}, {"Invalid drop target"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AclsDialogTest, SharingModeDragsNothing) {
    Open(CAclsDialog::Sharing);
    DragWithMouse(PointOf(Pick::Ben), PointOf(Pick::Family));
    EXPECT_TRUE(Changes().empty());
    EXPECT_TRUE(boxes->texts().empty());
}

TEST_F(AclsDialogTest, OneRightClickOpensTheMenuOnceAndItsChoiceRuns) {
    for (std::int32_t mode : {kManage, kShare}) {
        Open(mode);
        std::vector<QStringList> menus;
        CMenuXP::ScopedTracker tracker([&](CMenuXP& menu, const QPoint&) {
            QStringList entries;
            for (QAction* action : menu.actions())
                entries << (action->isSeparator()       ? QString("-")
                            : CMenuXP::RecordOf(action) ? CMenuXP::RecordOf(action)->text
                                                        : action->text());
            menus.push_back(entries);
            return CAclsDialog::ID_DELETE;
        });
        // Through the window, as the platform delivers it, so that the
        // press and the context menu event that follows both arrive.
        QWidget* viewport = dialog->tree()->viewport();
        const QPoint at = viewport->mapTo(dialog.get(), PointOf(Pick::Ben));
        QTest::mouseClick(dialog->windowHandle(), Qt::RightButton, {}, at);
        ASSERT_EQ(menus.size(), 1u);
        QStringList expected = {"New", "-", "Communicate...", "-"};
        if (mode == kShare)
            expected << "Stop Sharing...";
        expected << "Rename...\tF2"
                 << "Delete\tDel";
        EXPECT_EQ(menus[0], expected);
        EXPECT_EQ(Labels(dialog->rootItem()->child(0)).size(), 1u) << "Delete ran on the member";
        aclProxy->aclAccount->list(10).members = {ben, carla};
    }
}

TEST_F(AclsDialogTest, DoubleClickOnAMemberOpensAndFocusesHisUserDialog) {
    ViewWindow view;
    Open();
    dialog->viewWindow = &view;
    QTest::mouseDClick(dialog->tree()->viewport(), Qt::LeftButton, {}, PointOf(Pick::Family));
    EXPECT_TRUE(view.opened.empty());
    QTest::mouseDClick(dialog->tree()->viewport(), Qt::LeftButton, {}, PointOf(Pick::Ben));
    EXPECT_EQ(view.opened, std::vector<WPARAM>{23});
    QCoreApplication::processEvents();
    EXPECT_EQ(view.dialog.focused, 1);
}

// Whether Qt holds the window's input back for a modal dialog, as it tells
// the window itself.
class BlockedProbe : public QObject {
public:
    explicit BlockedProbe(QWidget* window) { window->installEventFilter(this); }
    bool blocked = false;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::WindowBlocked)
            blocked = true;
        else if (e->type() == QEvent::WindowUnblocked)
            blocked = false;
        return false;
    }
};

// Keys typed at the window as the window system delivers them, once the
// focus requests have arrived: a window a modal dialog blocks drops them.
void Type(CUserDialog* user, const std::string& text) {
    QCoreApplication::processEvents();
    for (char c : text)
        QTest::keyClick(user->windowHandle(), c);
}

struct ModalCase {
    const char* name;
    std::int32_t mode;
    // Opened by "Show..." in the add user dialog running inside, not by a
    // double click on the member.
    bool fromAddUser;
    std::int32_t userId;
};

void PrintTo(const ModalCase& c, std::ostream* os) {
    *os << c.name;
}

class AclsModalTest : public AclsDialogTest, public ::testing::WithParamInterface<ModalCase> {};

TEST_P(AclsModalTest, AUserDialogOpenedFromTheRunningDialogTakesInputAndOutlivesIt) {
    const ModalCase& c = GetParam();
    QMainWindow frame;
    auto* view = new CLeftView;
    frame.setCentralWidget(view);
    frame.show();
    BlockedProbe frameInput(&frame);
    dialog = std::make_unique<CAclsDialog>();
    dialog->mode = c.mode;
    dialog->viewWindow = view;

    CUserDialog* user = nullptr;
    auto useWhileModal = [&] {
        user = view->GetUserDialogs().Find(c.userId);
        ASSERT_NE(user, nullptr);
        EXPECT_TRUE(frameInput.blocked) << "the main window waits for the dialog";
        Type(user, "hi");
        EXPECT_EQ(user->messageEdit()->toPlainText(), "hi");
    };
    QTimer::singleShot(0, [&] {
        if (c.fromAddUser) {
            QTimer::singleShot(0, [&] {
                auto* add = dialog->findChild<CAddUserToAclDialog*>();
                ASSERT_NE(add, nullptr);
                ASSERT_TRUE(add->isVisible());
                add->foundUserId = c.userId;
                add->foundUser.id = c.userId;
                add->foundUser.accountId = "carla";
                QTest::mouseClick(add->showButton(), Qt::LeftButton);
                useWhileModal();
                add->reject();
            });
            Click(Pick::Family);
            dialog->OnCommand(CAclsDialog::ID_NEW_USER);
        } else {
            QTest::mouseDClick(dialog->tree()->viewport(), Qt::LeftButton, {}, PointOf(Pick::Ben));
            useWhileModal();
        }
        dialog->reject();
    });
    dialog->exec();
    ASSERT_NE(user, nullptr);
    EXPECT_FALSE(frameInput.blocked);
    ASSERT_TRUE(user->isVisible());
    Type(user, "!");
    EXPECT_EQ(user->messageEdit()->toPlainText(), "hi!");
    QTest::keyClick(user->windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(user->created) << "the view heard of the closing";
}

INSTANTIATE_TEST_SUITE_P(Acls, AclsModalTest,
                         ::testing::Values(ModalCase{"Management", CAclsDialog::Management, false,
                                                     23},
                                           ModalCase{"Sharing", CAclsDialog::Sharing, false, 23},
                                           ModalCase{"AddUser", CAclsDialog::Management, true, 31}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
