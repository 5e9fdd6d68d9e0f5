#include "add_user_dialog.h"
#include "dialog_test_support.h"
#include "icons.h"
#include "public_directory_list.h"
#include "string_table.h"
#include "temp_folder.h"
#include "window_messages.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmora;
using Edits = std::pair<std::string, std::string>;

namespace {

const char* kBen = R"(<user id="23" accountid="ben" first_name="Ben" last_name="Brook" )"
                   R"(email="ben@example.org"/>)";
const char* kCarla = R"(<user id="31" accountid="carla" email="carla@example.org"/>)";

// Knows ben and carla by account id, carla by address, the signed-in ada
// (17) and a "ghost" whose reply carries no id; looking up "down" fails.
class LookupProxy : public test::ScriptedProxy {
public:
    std::string FindUserById(const std::string& accountId) override {
        if (accountId == "down")
            failOn("FindUserById", "Service unreachable");
        ScriptedProxy::FindUserById(accountId);
        const std::map<std::string, std::string> known = {
            {"ben", kBen},
            {"carla", kCarla},
            {"ada", R"(<user id="17" accountid="ada"/>)"},
            {"ghost", R"(<user accountid="ghost"/>)"}};
        auto it = known.find(accountId);
        return it == known.end() ? std::string() : it->second;
    }
    std::string FindUserByEmail(const std::string& email) override {
        ScriptedProxy::FindUserByEmail(email);
        return email == "carla@example.org" ? kCarla : "";
    }
};

// Records the user dialogs it is asked to open.
class ViewWindow : public QObject {
public:
    std::vector<std::pair<WPARAM, std::string>> opened;

protected:
    bool event(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return QObject::event(e);
        auto* message = static_cast<WindowMessage*>(e);
        if (message->message() == UM_OPEN_USER_DIALOG)
            opened.emplace_back(message->wParam(),
                                reinterpret_cast<const UserRecord*>(message->lParam())->email);
        message->accept();
        return true;
    }
};

class AddUserTest : public test::SignedInTest {
protected:
    std::shared_ptr<LookupProxy> lookupProxy = std::make_shared<LookupProxy>();
    test::ScopedTempFolder temp;
    std::unique_ptr<CAddUserToAclDialog> dialog;

    void SetUp() override {
        ASSERT_TRUE(temp.valid());
        proxy = lookupProxy;
        test::ScopedTempFolder::WriteDirectoryCache(std::string("<directory>") + kBen +
                                                    "<note id=\"5\"/>" + kCarla + "</directory>");
        dialog = std::make_unique<CAddUserToAclDialog>();
        dialog->listName = "Friends";
        dialog->show();
    }
    void type(const char* accountId, const char* email) {
        dialog->accountIdEdit()->setText(accountId);
        dialog->emailEdit()->setText(email);
    }
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void clickRow(int row) {
        CPublicDirectoryList* list = dialog->directoryList();
        const QPoint at = row < list->rowCount()
                              ? list->visualRect(list->model()->index(row, 1)).center()
                              : QPoint(5, list->viewport()->height() - 5);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    Edits edits() const {
        return {dialog->accountIdEdit()->text().toStdString(),
                dialog->emailEdit()->text().toStdString()};
    }
    std::vector<std::string> lookups() const {
        std::vector<std::string> out = callsOf("FindUserById");
        for (const std::string& call : callsOf("FindUserByEmail"))
            out.push_back(call);
        return out;
    }
};

TEST_F(AddUserTest, OpensWithTheListsNameAndTheCachedDirectory) {
    EXPECT_EQ(dialog->windowTitle(),
              "Velmora explorer - Add new user to the Access List 'Friends'");
    EXPECT_EQ(dialog->focusWidget(), dialog->accountIdEdit());
    EXPECT_TRUE(dialog->addButton()->isDefault());
    CPublicDirectoryList* list = dialog->directoryList();
    EXPECT_EQ(list->horizontalHeaderItem(3)->text(), "Email Address                 ");
    ASSERT_EQ(list->rowCount(), 2); // the "note" is no user
    EXPECT_EQ(list->item(0, 2)->text(), "Brook");
    EXPECT_EQ(list->item(1, 3)->text(), "carla@example.org");
    EXPECT_EQ(dialog->directory.at(1).id, 31);
    QFile::remove(QString::fromStdString(temp.DirectoryCachePath()));
    CAddUserToAclDialog uncached;
    uncached.show();
    EXPECT_EQ(uncached.directoryList()->rowCount(), 0);
    EXPECT_TRUE(boxes->texts().empty());
}

// Find! or Add on a typed form, from a dialog whose earlier lookup found 99.
struct LookupCase {
    const char* name;
    bool add;
    const char* accountId;
    const char* email;
    const char* lookup; // the one lookup made, or ""
    int box;            // the string shown: 0 none, -1 the client's last error
    std::int32_t foundId;
    bool filled; // the edits show the found user
};

void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << c.name;
}

class LookupTest : public AddUserTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(LookupTest, FindOrAdd) {
    const LookupCase& c = GetParam();
    SignIn();
    dialog->foundUserId = c.add ? -1 : 99;
    type(c.accountId, c.email);
    click(c.add ? dialog->addButton() : dialog->findButton());
    EXPECT_EQ(lookups(),
              *c.lookup ? std::vector<std::string>{c.lookup} : std::vector<std::string>{});
    const std::string box = c.box < 0 ? client().GetLastError() : LoadString(c.box);
    EXPECT_EQ(boxes->texts(), c.box ? std::vector{box} : std::vector<std::string>{});
    EXPECT_EQ(dialog->foundUserId, c.foundId);
    EXPECT_EQ(dialog->result() == QDialog::Accepted, c.add && c.foundId > 0);
    const Edits found{dialog->foundUser.accountId, dialog->foundUser.email};
    EXPECT_EQ(edits(), (c.filled ? found : Edits{c.accountId, c.email}));
}

INSTANTIATE_TEST_SUITE_P(
    AddUser, LookupTest,
    ::testing::Values(
        LookupCase{"BothEmpty", false, "", " \t", "", 108, 99, false},
        LookupCase{"BothFilled", false, "ben", "ben@example.org", "", 108, 99, false},
        LookupCase{"AccountIdTrimmed", false, "  ben ", "", "FindUserById(ben)", 0, 23, true},
        LookupCase{"AddressTrimmed", false, "", " carla@example.org\t",
                   "FindUserByEmail(carla@example.org)", 0, 31, true},
        LookupCase{"Oneself", false, "ada", "", "FindUserById(ada)", 118, -1, false},
        LookupCase{"Unknown", false, "nobody", "", "FindUserById(nobody)", 119, -1, false},
        LookupCase{"ReplyWithoutId", false, "ghost", "", "FindUserById(ghost)", 107, 0, false},
        LookupCase{"LookupFails", false, "down", "", "FindUserById(down)", -1, -1, false},
        LookupCase{"AddEmptyForm", true, "", "", "", 108, -1, false},
        LookupCase{"AddOneself", true, "ada", "", "FindUserById(ada)", 118, -1, false},
        LookupCase{"AddLooksUpFirst", true, "carla", "", "FindUserById(carla)", 0, 31, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AddUserTest, AfterASuccessFindAsksForOneFieldAndAddTakesTheUserFoundBefore) {
    SignIn();
    type("ben", "");
    click(dialog->findButton());
    click(dialog->findButton());
    EXPECT_EQ(boxes->texts(), std::vector{LoadString(108)});
    type("carla", "");
    click(dialog->addButton());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->foundUserId, 23);
    EXPECT_EQ(lookups().size(), 1u);
}

TEST_F(AddUserTest, AfterAFailedLookupTheDialogGoesOn) {
    SignIn();
    type("down", "");
    click(dialog->addButton());
    ASSERT_EQ(boxes->texts().size(), 1u);
    EXPECT_NE(boxes->texts()[0].find("Service unreachable"), std::string::npos);
    type("", "carla@example.org");
    click(dialog->addButton());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->foundUserId, 31);
}

TEST_F(AddUserTest, ARowClickFindsItsUserWithoutALookup) {
    SignIn();
    type("", "typed@example.org"); // not taken from the edit yet
    clickRow(1);
    EXPECT_EQ(edits(), (Edits{"carla", ""}));
    EXPECT_EQ(dialog->foundUser.email, "carla@example.org");
    clickRow(5); // below the rows
    EXPECT_EQ(dialog->foundUserId, 0);
    EXPECT_EQ(edits(), (Edits{"", ""}));
    clickRow(0);
    click(dialog->addButton());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->foundUserId, 23);
    EXPECT_TRUE(lookups().empty());
}

TEST_F(AddUserTest, ShowOpensTheFoundUsersDialogThroughTheView) {
    SignIn();
    ViewWindow view;
    click(dialog->showButton()); // nobody found yet
    dialog->viewWindow = &view;
    click(dialog->showButton());
    clickRow(0);
    click(dialog->showButton());
    EXPECT_EQ(view.opened, (std::vector<std::pair<WPARAM, std::string>>{{23, "ben@example.org"}}));
    EXPECT_EQ(boxes->texts(), (std::vector{LoadString(107), LoadString(107)}));
}

// The image index of each row, told by its picture.
std::vector<int> RowImages(const CPublicDirectoryList& list) {
    std::vector<int> images;
    for (int row = 0; row < list.rowCount(); ++row) {
        const QImage shown = list.item(row, 0)->icon().pixmap(16).toImage();
        int index = -1;
        for (int k = 0; k < 5; ++k)
            if (QIcon(IconPath(CPublicDirectoryList::kImageResources[k])).pixmap(16).toImage() ==
                shown)
                index = k;
        images.push_back(index);
    }
    return images;
}

TEST_F(AddUserTest, RowImagesRotateAcrossFillingsAndColumnsFitTheirContents) {
    CPublicDirectoryList* list = dialog->directoryList();
    const int emailWidth = list->columnWidth(3);
    const std::string longAddress(80, 'm');
    dialog->FillDirectory("<d><user id=\"40\" email=\"" + longAddress + "\"/></d>");
    EXPECT_GT(list->columnWidth(3), emailWidth);
    CAddUserToAclDialog other;
    other.show();
    std::vector<int> images = RowImages(*list);
    for (int image : RowImages(*other.directoryList()))
        images.push_back(image);
    ASSERT_EQ(images.size(), 5u); // 2 + 1 in one dialog, then 2
    for (std::size_t i = 1; i < images.size(); ++i)
        EXPECT_EQ(images[i], (images[i - 1] + 1) % 4) << i;
}

struct ReloadCase {
    const char* name;
    bool signedIn;
    bool fetchFails;
    int rows;
    bool errorShown;
};

void PrintTo(const ReloadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReloadTest : public AddUserTest, public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(ReloadTest, Reload) {
    const ReloadCase& c = GetParam();
    if (c.signedIn)
        SignIn();
    if (c.fetchFails)
        proxy->failOn("PublicDirectoryFile", "Directory unavailable");
    const std::string fetched = temp.DirectoryCachePath() + ".fetched";
    proxy->publicDirectoryPath = fetched;
    QFile file(QString::fromStdString(fetched));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<directory><user id="50" accountid="dora"/></directory>)");
    file.close();
    const std::string cached = temp.ReadFile(temp.DirectoryCachePath());
    click(dialog->reloadButton());
    EXPECT_EQ(dialog->directoryList()->rowCount(), c.rows);
    EXPECT_EQ(dialog->directory.size(), static_cast<std::size_t>(c.rows));
    const std::vector<std::string> shown = boxes->texts();
    EXPECT_EQ(shown,
              c.errorShown ? std::vector{client().GetLastError()} : std::vector<std::string>{});
    EXPECT_EQ(client().GetLastError().find("Directory unavailable") != std::string::npos,
              c.errorShown);
    EXPECT_EQ(temp.ReadFile(temp.DirectoryCachePath()), cached);
}

INSTANTIATE_TEST_SUITE_P(AddUser, ReloadTest,
                         ::testing::Values(ReloadCase{"Fetched", true, false, 1, false},
                                           ReloadCase{"NotSignedIn", false, false, 0, false},
                                           ReloadCase{"FetchFails", true, true, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
