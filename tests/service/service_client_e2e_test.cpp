// The ServiceClient through the real proxy against a real velmora-service on
// loopback, seeded with the demo accounts.

#include "app_context.h"
#include "event_pump.h"
#include "proxied_service.h"
#include "user_record.h"
#include "window_messages.h"
#include "xml_node.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

using namespace velmora;

namespace {

// Receives the transfer ends.
class DoneWindow : public QObject {
public:
    std::vector<std::pair<std::string, std::string>> done; // error, context
protected:
    void customEvent(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return;
        auto* m = static_cast<WindowMessage*>(e);
        if (m->message() == UM_TRANSFER_PROGRESS)
            return;
        done.emplace_back(paramText(static_cast<LPARAM>(m->wParam())), paramText(m->lParam()));
    }
};

class ServiceClientE2E : public ::testing::Test {
protected:
    test::ServiceProcess service;
    test::TempSettings settings;

    void SetUp() override {
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
    }

    static std::string readFile(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll().toStdString();
    }

    std::vector<std::string> outbox() {
        std::vector<std::string> mails;
        QDir dir(service.dataDir() + "/outbox");
        for (const QString& name : dir.entryList({"*.eml"}, QDir::Files, QDir::Name))
            mails.push_back(readFile(dir.filePath(name)));
        return mails;
    }
};

} // namespace

TEST_F(ServiceClientE2E, DemoAccountsSignInWithTheirTiers) {
    struct Expect {
        const char* account;
        const char* password;
        bool plus;
        bool goldOrPlatinum;
    };
    for (Expect e : {Expect{"demo-free", "free-demo-1", false, false},
                     Expect{"demo-plus", "plus-demo-1", true, false},
                     Expect{"demo-gold", "gold-demo-1", true, true}}) {
        ServiceClient client;
        ASSERT_TRUE(client.Login(e.account, e.password)) << e.account << client.GetLastError();
        EXPECT_EQ(client.GetAccountId(), e.account);
        EXPECT_GT(client.GetUserId(), 0);
        EXPECT_EQ(client.IsPlusAccount(), e.plus) << e.account;
        EXPECT_EQ(client.IsGoldOrPlatinum(), e.goldOrPlatinum) << e.account;
        ASSERT_NE(client.GetLibrary(), nullptr);
        EXPECT_EQ(client.GetLibrary()->FolderId(), 1);
        client.Logout();
        EXPECT_FALSE(client.IsSignedIn());
    }
    ServiceClient client;
    EXPECT_FALSE(client.Login("demo-free", "wrong"));
    EXPECT_EQ(client.GetLastError(), "Invalid account id or password");
}

TEST_F(ServiceClientE2E, FolderCreateRenameDelete) {
    ServiceClient client;
    ASSERT_TRUE(client.Login("demo-free", "free-demo-1"));
    ASSERT_TRUE(client.CreateFolder(1, "Road trip")) << client.GetLastError();
    std::int32_t id = client.GetNewFolderId();
    ASSERT_GT(id, 1);
    auto folder = client.FindFolder(id);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->Name(), "Road trip");
    EXPECT_TRUE(IsTrue(client.GetLibrary()->NameInUse("Road trip")));

    EXPECT_FALSE(client.CreateFolder(1, "Road trip")); // the name is taken
    EXPECT_NE(client.GetLastError(), "");

    ASSERT_TRUE(client.RenameFolder(id, "Road trip 2026")) << client.GetLastError();
    // A new sign-in reads the name back from the service.
    ServiceClient fresh;
    ASSERT_TRUE(fresh.Login("demo-free", "free-demo-1"));
    auto renamed = fresh.FindFolder(id);
    ASSERT_NE(renamed, nullptr);
    EXPECT_EQ(renamed->Name(), "Road trip 2026");
    ASSERT_TRUE(client.DeleteFolder(id)) << client.GetLastError();
    EXPECT_EQ(client.FindFolder(id), nullptr);

    // A second client sees the service's state, not a copy of the first one's.
    ServiceClient other;
    ASSERT_TRUE(other.Login("demo-free", "free-demo-1"));
    EXPECT_EQ(other.FindFolder(id), nullptr);
    EXPECT_FALSE(other.DeleteFolder(id));
    EXPECT_NE(other.GetLastError().find("not found"), std::string::npos) << other.GetLastError();
}

TEST_F(ServiceClientE2E, UploadThenDownloadByteForByte) {
    QTemporaryDir work;
    std::string source = (work.path() + "/my tone.au").toStdString();
    std::string bytes;
    for (int i = 0; i < 300000; ++i)
        bytes += static_cast<char>((static_cast<unsigned>(i) * 7919u) % 251u);
    std::ofstream(source, std::ios::binary) << bytes;

    DoneWindow window;
    ServiceClient client;
    ASSERT_TRUE(client.Login("demo-free", "free-demo-1"));
    client.SetNotifyWindow(HandleOf(&window));
    ASSERT_TRUE(client.UploadFile(1, "my tone.au", source, "42^upload"));
    ASSERT_TRUE(test::PumpUntil([&] { return !window.done.empty(); }, std::chrono::seconds(20)));
    auto [error, context] = window.done[0];
    EXPECT_EQ(error, "");
    ASSERT_EQ(context.rfind("42^upload^", 0), 0u) << context;
    std::int32_t fileId = std::stoi(context.substr(10));
    ASSERT_GT(fileId, 0);

    std::string target = (work.path() + "/back.au").toStdString();
    std::string key = std::to_string(client.GetUserId()) + "~1~" + std::to_string(fileId);
    ASSERT_TRUE(client.DownloadFile(key, target, "ctx-down"));
    ASSERT_TRUE(test::PumpUntil([&] { return window.done.size() == 2; }, std::chrono::seconds(20)));
    EXPECT_EQ(window.done[1], std::make_pair(std::string(), std::string("ctx-down")));
    EXPECT_EQ(readFile(QString::fromStdString(target)), bytes);
}

TEST_F(ServiceClientE2E, SharingReachesTheMembersModel) {
    ServiceClient free;
    ASSERT_TRUE(free.Login("demo-free", "free-demo-1"));
    const std::int32_t freeId = free.GetUserId();
    const int sharedBefore = free.GetAccount()->SharingUserCount();
    free.Logout();

    ServiceClient plus;
    ASSERT_TRUE(plus.Login("demo-plus", "plus-demo-1"));
    ASSERT_TRUE(plus.CreateAccessList("Band")) << plus.GetLastError();
    auto account = plus.GetAccount();
    std::int32_t listId = 0;
    for (int i = 0; i < account->AccessListCount(); ++i) {
        auto list = QueryInterface<IAccessList>(account->AccessList(i));
        if (list && list->Name() == "Band")
            listId = list->Id();
    }
    ASSERT_GT(listId, 0);
    ASSERT_TRUE(plus.AddUserToAccessList(listId, freeId)) << plus.GetLastError();
    auto band = plus.GetAccessList(listId);
    ASSERT_NE(band, nullptr);
    EXPECT_TRUE(IsTrue(band->IsMember(freeId)));
    ASSERT_TRUE(plus.CreateFolder(1, "Rehearsals"));
    std::int32_t folderId = plus.GetNewFolderId();
    ASSERT_TRUE(plus.SetFolderAccessList(folderId, listId)) << plus.GetLastError();

    ASSERT_TRUE(free.Login("demo-free", "free-demo-1"));
    auto freeAccount = free.GetAccount();
    ASSERT_EQ(freeAccount->SharingUserCount(), sharedBefore + 1);
    bool seen = false;
    for (int i = 0; i < freeAccount->SharingUserCount(); ++i) {
        auto user = QueryInterface<IUserProfile>(freeAccount->SharingUser(i));
        if (!user || user->AccountId() != "demo-plus")
            continue;
        for (int k = 0; k < user->SharedFolderCount(); ++k) {
            auto folder = QueryInterface<IFolder>(user->SharedFolder(k));
            seen = seen || (folder && folder->Name() == "Rehearsals");
        }
    }
    EXPECT_TRUE(seen);
}

TEST_F(ServiceClientE2E, UsersDirectoryAndMessages) {
    ServiceClient gold;
    ASSERT_TRUE(gold.Login("demo-gold", "gold-demo-1"));
    UserRecord free = UserRecord::FromReply(gold.FindUserById("demo-free"));
    ASSERT_GT(free.id, 0);
    EXPECT_EQ(free.accountId, "demo-free");
    UserRecord byMail = UserRecord::FromReply(gold.FindUserByEmail(free.email));
    EXPECT_EQ(byMail.id, free.id);
    EXPECT_EQ(gold.FindUserById("nobody-here"), "");

    XmlNode directory(gold.GetPublicDirectory());
    int users = 0;
    for (int i = 0; i < directory.ChildCount(); ++i)
        users += directory.Child(i).name() == "user";
    EXPECT_GE(users, 3);

    ASSERT_TRUE(gold.SendUserMessage(free.id, -1, "see you at 8 & bring tea"));
    ServiceClient reader;
    ASSERT_TRUE(reader.Login("demo-free", "free-demo-1"));
    std::string path;
    ASSERT_TRUE(reader.GetMessagesFile(path)) << reader.GetLastError();
    XmlNode messages(readFile(QString::fromStdString(path)));
    ASSERT_EQ(messages.ChildCount(), 1);
    EXPECT_EQ(messages.Child(0).Attribute("fromUserId"), std::to_string(gold.GetUserId()));
    EXPECT_EQ(messages.Child(0).Attribute("text"), "see%20you%20at%208%20%26%20bring%20tea");
    // Delivered once: the next poll has nothing to read.
    EXPECT_FALSE(reader.GetMessagesFile(path));
    EXPECT_EQ(path, "");
    EXPECT_EQ(reader.GetLastError(), "");
}

TEST_F(ServiceClientE2E, MailGoesToTheOutbox) {
    ServiceClient gold;
    ASSERT_TRUE(gold.Login("demo-gold", "gold-demo-1"));
    ASSERT_TRUE(gold.SendEmail(gold.GetAccountId(), "friend@example.org", "Hello from gold"))
        << gold.GetLastError();
    ASSERT_TRUE(
        gold.EmailLink(gold.GetUserId(), 1, 0, gold.GetUserId(), "friend@example.org", "", ""))
        << gold.GetLastError();
    auto mails = outbox();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_NE(mails[0].find("To: friend@example.org"), std::string::npos);
    EXPECT_NE(mails[0].find("Hello from gold"), std::string::npos);
    EXPECT_NE(mails[1].find("/d?k="), std::string::npos);
    EXPECT_FALSE(gold.SendEmail(gold.GetAccountId(), "not an address", "x"));
}
