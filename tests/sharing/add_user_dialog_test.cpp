#include "add_user_dialog.h"
#include "dialog_test_support.h"
#include "icons.h"
#include "public_directory_list.h"
#include "temp_folder.h"
#include "window_messages.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

const char* kBen = R"(<user id="23" accountid="ben" first_name="Ben" last_name="Brook" )"
                   R"(email="ben@example.org"/>)";
const char* kCarla = R"(<user id="31" accountid="carla" email="carla@example.org"/>)";

// Knows ben and carla by account id, carla by address, the signed-in ada
// (17) and a "ghost" whose reply carries no id.
class LookupProxy : public test::ScriptedProxy {
public:
    std::string FindUserById(const std::string& accountId) override {
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
    std::pair<std::string, std::string> edits() const {
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

struct FindCase {
    const char* name;
    const char* accountId;
    const char* email;
    std::vector<std::string> lookups;
    const char* box; // "" for none; "last error" for the client's last error text
    std::int32_t foundId;
    std::pair<std::string, std::string> editsAfter;
    bool lookupFails = false;
};

void PrintTo(const FindCase& c, std::ostream* os) {
    *os << c.name;
}

class FindTest : public AddUserTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindTest, Find) {
    const FindCase& c = GetParam();
    SignIn();
    if (c.lookupFails)
        proxy->failOn("FindUserById", "Service unreachable");
    dialog->foundUserId = 99; // from an earlier lookup
    type(c.accountId, c.email);
    click(dialog->findButton());
    EXPECT_EQ(lookups(), c.lookups);
    const std::string box =
        std::string(c.box) == "last error" ? client().GetLastError() : std::string(c.box);
    EXPECT_EQ(boxes->texts(), box.empty() ? std::vector<std::string>{} : std::vector{box});
    EXPECT_EQ(dialog->foundUserId, c.foundId);
    EXPECT_EQ(edits(), c.editsAfter);
}

const std::string kEither = "Enter either accountid or email address";
INSTANTIATE_TEST_SUITE_P(
    AddUser, FindTest,
    ::testing::Values(
        FindCase{"BothEmpty", "", " \t", {}, kEither.c_str(), 99, {"", " \t"}},
        FindCase{"BothFilled",
                 "ben",
                 "ben@example.org",
                 {},
                 kEither.c_str(),
                 99,
                 {"ben", "ben@example.org"}},
        FindCase{"AccountIdTrimmed",
                 "  ben ",
                 "",
                 {"FindUserById(ben)"},
                 "",
                 23,
                 {"ben", "ben@example.org"}},
        FindCase{"AddressTrimmed",
                 "",
                 " carla@example.org\t",
                 {"FindUserByEmail(carla@example.org)"},
                 "",
                 31,
                 {"carla", "carla@example.org"}},
        FindCase{"Oneself",
                 "ada",
                 "",
                 {"FindUserById(ada)"},
                 "Can't share with yourself",
                 -1,
                 {"ada", ""}},
        FindCase{"Unknown",
                 "nobody",
                 "",
                 {"FindUserById(nobody)"},
                 "This accountid is not in velmora database",
                 -1,
                 {"nobody", ""}},
        FindCase{"ReplyWithoutId",
                 "ghost",
                 "",
                 {"FindUserById(ghost)"},
                 "No user information found for this accountid or email address",
                 0,
                 {"ghost", ""}},
        FindCase{
            "LookupFails", "ben", "", {"FindUserById(ben)"}, "last error", -1, {"ben", ""}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AddUserTest, AFailedLookupShowsWhyAndTheDialogGoesOn) {
    SignIn();
    proxy->failOn("FindUserById", "Service unreachable");
    type("ben", "");
    click(dialog->addButton());
    ASSERT_EQ(boxes->texts().size(), 1u);
    EXPECT_NE(boxes->texts()[0].find("Service unreachable"), std::string::npos);
    EXPECT_TRUE(dialog->isVisible());
    type("", "carla@example.org");
    click(dialog->addButton());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->foundUserId, 31);
}

TEST_F(AddUserTest, ASecondFindAfterASuccessAsksForOneField) {
    SignIn();
    type("ben", "");
    click(dialog->findButton());
    click(dialog->findButton());
    EXPECT_EQ(boxes->texts(), std::vector{kEither});
    EXPECT_EQ(dialog->foundUserId, 23);
}

struct AddCase {
    const char* name;
    const char* accountId;
    bool foundBefore; // ben found, then the edit changed to accountId
    const char* box;
    bool accepted;
    std::int32_t foundId;
};

void PrintTo(const AddCase& c, std::ostream* os) {
    *os << c.name;
}

class AddTest : public AddUserTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddTest, Add) {
    const AddCase& c = GetParam();
    SignIn();
    if (c.foundBefore) {
        type("ben", "");
        click(dialog->findButton());
        proxy->calls.clear();
    }
    type(c.accountId, "");
    click(dialog->addButton());
    EXPECT_EQ(boxes->texts(),
              *c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{});
    EXPECT_EQ(dialog->result() == QDialog::Accepted, c.accepted);
    EXPECT_EQ(dialog->isVisible(), !c.accepted);
    EXPECT_EQ(dialog->foundUserId, c.foundId);
    EXPECT_EQ(lookups().size(), c.foundBefore ? 0u : *c.accountId ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    AddUser, AddTest,
    ::testing::Values(AddCase{"EmptyForm", "", false, kEither.c_str(), false, -1},
                      AddCase{"Oneself", "ada", false, "Can't share with yourself", false, -1},
                      AddCase{"LooksUpFirst", "carla", false, "", true, 31},
                      AddCase{"TakesTheUserFoundBefore", "carla", true, "", true, 23}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AddUserTest, ARowClickFindsItsUserWithoutALookup) {
    SignIn();
    type("", "typed@example.org"); // not taken from the edit yet
    clickRow(1);
    EXPECT_EQ(edits(), (std::pair<std::string, std::string>{"carla", ""}));
    EXPECT_EQ(dialog->foundUser.email, "carla@example.org");
    clickRow(5); // below the rows
    EXPECT_EQ(dialog->foundUserId, 0);
    EXPECT_EQ(edits(), (std::pair<std::string, std::string>{"", ""}));
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
    const std::string none = "No user information found for this accountid or email address";
    EXPECT_EQ(boxes->texts(), (std::vector{none, none}));
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
