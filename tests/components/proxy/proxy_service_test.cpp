// The proxy against a real velmora-service: sign-in, the object model and
// every change operation with its effect on the model, lookups and the local
// files.

#include "proxy_test_support.h"

#include "cache_files.h"

#include <QDir>
#include <QFile>

namespace velmora::test {
namespace {

class ProxyServiceTest : public ProxyFixture {};

// ---- sign-in

TEST_F(ProxyServiceTest, SignInWithTheRightPassword) {
    proxy_->Login("demo-gold", "gold-demo-1");
    EXPECT_EQ(proxy_->SignedIn(), VARIANT_TRUE);
    EXPECT_EQ(proxy_->LoginFailureText(), "");
    auto account = As<IAccount>(proxy_->Account());
    ASSERT_TRUE(account);
    auto profile = As<IUserProfile>(account->Profile());
    EXPECT_EQ(profile->UserId(), 3);
    EXPECT_EQ(profile->AccountId(), "demo-gold");
    EXPECT_EQ(profile->Email(), "gustav@example.org");
    EXPECT_EQ(profile->IsPlus(), VARIANT_TRUE);
    EXPECT_EQ(profile->IsHigherTier1(), VARIANT_TRUE);
    EXPECT_EQ(profile->IsHigherTier2(), VARIANT_FALSE);
}

TEST_F(ProxyServiceTest, WrongPasswordIsARefusalNotAnError) {
    EXPECT_NO_THROW(proxy_->Login("demo-gold", "wrong"));
    EXPECT_EQ(proxy_->SignedIn(), VARIANT_FALSE);
    EXPECT_EQ(proxy_->LoginFailureText(), "Invalid account id or password");
    EXPECT_EQ(proxy_->Account(), nullptr);
}

TEST_F(ProxyServiceTest, ServiceDownGivesAReadableFailure) {
    int port = UnusedPort();
    settings_.point("127.0.0.1", port);
    EXPECT_NO_THROW(proxy_->Login("demo-gold", "gold-demo-1"));
    EXPECT_EQ(proxy_->SignedIn(), VARIANT_FALSE);
    EXPECT_EQ(proxy_->LoginFailureText(), "Cannot reach the Velmora service at 127.0.0.1:" +
                                              std::to_string(port) + ": Connection refused");
    EXPECT_EQ(proxy_->LastErrorText(), proxy_->LoginFailureText());
}

TEST_F(ProxyServiceTest, SignInUsesTheSettingsOfTheMomentAndReplacesTheSession) {
    settings_.point("127.0.0.1", UnusedPort());
    proxy_->Login("demo-gold", "gold-demo-1");
    ASSERT_EQ(proxy_->SignedIn(), VARIANT_FALSE);
    settings_.point("127.0.0.1", service_.port());
    signIn("demo-gold", "gold-demo-1");
    // A second sign-in as someone else gives that user's model.
    signIn("demo-free", "free-demo-1");
    EXPECT_EQ(As<IUserProfile>(account_->Profile())->AccountId(), "demo-free");
    // A failed sign-in leaves the proxy signed out.
    proxy_->Login("demo-free", "nope");
    EXPECT_EQ(proxy_->SignedIn(), VARIANT_FALSE);
    EXPECT_EQ(proxy_->Account(), nullptr);
}

TEST_F(ProxyServiceTest, SignInDuringBackOffGivesTheServicesReason) {
    for (int i = 0; i < 3; ++i)
        proxy_->Login("demo-plus", "wrong");
    proxy_->Login("demo-plus", "plus-demo-1");
    EXPECT_EQ(proxy_->SignedIn(), VARIANT_FALSE);
    EXPECT_EQ(proxy_->LoginFailureText().rfind("Too many failed sign-ins; try again in ", 0), 0u)
        << proxy_->LoginFailureText();
}

TEST_F(ProxyServiceTest, CallsWithoutASessionFailWithTheProxyInterface) {
    try {
        proxy_->CreateFolder(1, "x");
        FAIL() << "no error";
    } catch (const ComError& e) {
        EXPECT_EQ(e.iid(), IServiceProxy::iid);
        EXPECT_TRUE(FAILED(e.hr()));
    }
    EXPECT_EQ(proxy_->LastErrorText(), "Not signed in to the Velmora service");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->MessagesFile(); }),
              "Not signed in to the Velmora service");
    signIn("demo-free", "free-demo-1");
    proxy_->Logout();
    EXPECT_EQ(proxy_->SignedIn(), VARIANT_FALSE);
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->AccessLists(); }),
              "Not signed in to the Velmora service");
}

// ---- the model

// The demo "Samples" folder holds an MP3 tone only where the service could
// encode one; its line, or nothing.
std::string OptionalMp3(const std::shared_ptr<IFolder>& samples) {
    if (samples->FileCount() < 2)
        return "";
    std::string name = As<IMediaFile>(samples->File(1))->Name();
    EXPECT_TRUE(name.size() > 4 && name.compare(name.size() - 4, 4, ".mp3") == 0) << name;
    return "    " + name + "\n";
}

TEST_F(ProxyServiceTest, GoldAccountModelWalkedCompletely) {
    signIn("demo-gold", "gold-demo-1");
    std::string mp3 = OptionalMp3(folder(5));
    EXPECT_EQ(DumpAccount(account_),
              "profile 3 demo-gold Gustav Gold <gustav@example.org> plus gold\n"
              "[1] My Media\n"
              "  [2] Music\n"
              "    [3] Tones\n"
              "      Tone G4.au\n"
              "      Tone A4.au\n"
              "      Tone C5.au\n"
              "    [4] AIFF tones\n"
              "      Tone G4.aiff\n"
              "      Tone A4.aiff\n"
              "      Tone C5.aiff\n"
              "  [5] Samples\n"
              "    Short beep.au\n" +
                  mp3 +
                  "  [6] Shared tones acl=1\n"
                  "    [7] More\n"
                  "      Low G3.au\n"
                  "    Shared A4.au\n"
                  "    Shared E5.aiff\n"
                  "  Welcome.aiff\n"
                  "list [1] Friends\n"
                  "  member 1 demo-free Frank Free <frank@example.org>\n");
}

TEST_F(ProxyServiceTest, FreeAccountSeesTheFolderSharedWithIt) {
    signIn("demo-free", "free-demo-1");
    std::string mp3 = OptionalMp3(folder(5));
    EXPECT_EQ(DumpAccount(account_),
              "profile 1 demo-free Frank Free <frank@example.org>\n"
              "[1] My Media\n"
              "  [2] Music\n"
              "    [3] Tones\n"
              "      Tone C4.au\n"
              "      Tone E4.au\n"
              "      Tone G4.au\n"
              "    [4] AIFF tones\n"
              "      Tone C4.aiff\n"
              "      Tone E4.aiff\n"
              "      Tone G4.aiff\n"
              "  [5] Samples\n"
              "    Short beep.au\n" +
                  mp3 +
                  "  Welcome.aiff\n"
                  "sharing 3 demo-gold Gustav Gold <gustav@example.org> plus gold listed=1\n"
                  "  [6] Shared tones acl=1\n"
                  "    [7] More\n"
                  "      Low G3.au\n"
                  "    Shared A4.au\n"
                  "    Shared E5.aiff\n");
    auto gold = As<IUserProfile>(account_->UserById(3));
    ASSERT_TRUE(gold);
    EXPECT_EQ(gold->SharedFolderCount(), 1);
    // The record XML reads back as the same user.
    EXPECT_NE(gold->RecordXml().find("accountid=\"demo%2dgold\""), std::string::npos)
        << gold->RecordXml();
    EXPECT_EQ(account_->UserById(4242), nullptr);
}

TEST_F(ProxyServiceTest, LookupsInTheModelNeedNoService) {
    signIn("demo-gold", "gold-demo-1");
    service_.stop();
    // Everything below comes from the model built at sign-in.
    auto tones = folder(3);
    ASSERT_TRUE(tones);
    EXPECT_EQ(tones->Name(), "Tones");
    EXPECT_EQ(folder(7)->Name(), "More") << "found at depth two";
    EXPECT_EQ(root_->FindFolder(99), nullptr);
    EXPECT_EQ(As<IFolder>(folder(6)->FindFolder(7))->Name(), "More") << "below another folder";
    EXPECT_EQ(folder(6)->FindFolder(2), nullptr) << "not below that folder";
    EXPECT_EQ(root_->NameInUse("Music"), VARIANT_TRUE);
    EXPECT_EQ(root_->NameInUse("Welcome.aiff"), VARIANT_TRUE);
    EXPECT_EQ(root_->NameInUse("welcome.aiff"), VARIANT_FALSE) << "names are case-sensitive";
    EXPECT_EQ(root_->NameInUse("Tones"), VARIANT_FALSE) << "only this folder's own entries";
    EXPECT_EQ(account_->AccessListNameExists("Friends"), VARIANT_TRUE);
    EXPECT_EQ(account_->AccessListNameExists("Enemies"), VARIANT_FALSE);
    auto friends = As<IAccessList>(account_->AccessListById(1));
    EXPECT_EQ(friends->IsMember(1), VARIANT_TRUE);
    EXPECT_EQ(friends->IsMember(3), VARIANT_FALSE);
    EXPECT_EQ(account_->AccessListById(77), nullptr);
    EXPECT_EQ(As<IUserProfile>(account_->UserById(1))->AccountId(), "demo-free");
}

TEST_F(ProxyServiceTest, IndexOutsideTheModelIsAnErrorNotACrash) {
    signIn("demo-free", "free-demo-1");
    HRESULT hr = 0;
    try {
        root_->Subfolder(root_->SubfolderCount());
        FAIL() << "no error";
    } catch (const ComError& e) {
        hr = e.hr();
        EXPECT_EQ(e.iid(), IFolder::iid);
    }
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_EQ(proxy_->LastErrorText(), "Subfolder index 2 is out of range (there are 2)");
    EXPECT_THROW(root_->File(-1), ComError);
    EXPECT_THROW(account_->AccessList(0), ComError);
    EXPECT_THROW(account_->SharingUser(5), ComError);
}

// ---- library changes

TEST_F(ProxyServiceTest, CreateFolderAddsItUnderItsParent) {
    signIn("demo-free", "free-demo-1");
    int before = folder(2)->SubfolderCount();
    proxy_->CreateFolder(2, "New & Nice");
    std::int32_t id = account_->NewFolderId();
    EXPECT_GT(id, 5);
    auto created = folder(id);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->Name(), "New & Nice");
    EXPECT_EQ(created->SubfolderCount(), 0);
    EXPECT_EQ(folder(2)->SubfolderCount(), before + 1);
    EXPECT_EQ(folder(2)->NameInUse("New & Nice"), VARIANT_TRUE);
    // A folder inside the new one: the model follows at any depth.
    proxy_->CreateFolder(id, "Inner");
    EXPECT_EQ(As<IFolder>(root_->FindFolder(account_->NewFolderId()))->Name(), "Inner");
    // A second sign-in shows the same folders from the service.
    std::string model = DumpAccount(account_);
    signIn("demo-free", "free-demo-1");
    EXPECT_EQ(DumpAccount(account_), model);
}

TEST_F(ProxyServiceTest, RefusedChangesCarryTheServicesReasonAndLeaveTheModel) {
    signIn("demo-free", "free-demo-1");
    std::string model = DumpAccount(account_);
    std::int32_t lastNew = account_->NewFolderId();
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->CreateFolder(1, "Music"); }),
              "An entry with this name already exists");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->CreateFolder(999, "X"); }), "Folder not found");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->RenameFolder(1, "Root"); }),
              "The root folder cannot be renamed");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->DeleteFolder(999); }), "Folder not found");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->RenameFile(3, 1, "a/b.au"); }),
              "Invalid character in the name");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->DeleteFile(3, 999); }), "File not found");
    // A list that does not exist cannot be given to a folder.
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->SetFolderAccessList(5, 77); }),
              "Access list not found");
    EXPECT_EQ(DumpAccount(account_), model);
    EXPECT_EQ(account_->NewFolderId(), lastNew);
}

TEST_F(ProxyServiceTest, RenamesAndDeletesReachTheModel) {
    signIn("demo-free", "free-demo-1");
    proxy_->RenameFolder(4, "Aiff tones");
    EXPECT_EQ(folder(4)->Name(), "Aiff tones");
    proxy_->RenameFile(3, 1, "Middle C.au");
    EXPECT_EQ(As<IMediaFile>(folder(3)->File(0))->Name(), "Middle C.au");
    proxy_->DeleteFile(3, 3);
    EXPECT_EQ(folder(3)->FileCount(), 2);
    EXPECT_EQ(folder(3)->NameInUse("Tone E4.au"), VARIANT_FALSE);
    // The program drops a deleted folder from the model itself; after the
    // proxy already did, that is no error.
    proxy_->DeleteFolder(4);
    EXPECT_EQ(root_->FindFolder(4), nullptr);
    EXPECT_NO_THROW(root_->RemoveFolder(4));
    std::string model = DumpAccount(account_);
    signIn("demo-free", "free-demo-1");
    EXPECT_EQ(DumpAccount(account_), model) << "the service holds the same as the model";
}

TEST_F(ProxyServiceTest, ModelRecordsFromTheProgramWithoutAService) {
    signIn("demo-free", "free-demo-1");
    root_->SetFolderAccessList(5, 12);
    EXPECT_EQ(folder(5)->AccessListId(), 12);
    EXPECT_THROW(root_->SetFolderAccessList(404, 1), ComError);
    root_->RemoveFolder(3);
    EXPECT_EQ(root_->FindFolder(3), nullptr);
    EXPECT_EQ(folder(2)->SubfolderCount(), 1);
    root_->AddFile(70, "extra.au");
    EXPECT_EQ(root_->NameInUse("extra.au"), VARIANT_TRUE);
    root_->AddFile(70, "renamed.au");
    EXPECT_EQ(root_->NameInUse("extra.au"), VARIANT_FALSE) << "the same id is one file";
    EXPECT_EQ(root_->FileCount(), 2);
}

// ---- access lists

TEST_F(ProxyServiceTest, AccessListLifeCycleAndTheSharedFolders) {
    signIn("demo-plus", "plus-demo-1");
    std::int32_t me = As<IUserProfile>(account_->Profile())->UserId();
    std::int32_t lists = account_->AccessListCount();
    proxy_->CreateAccessList("Band");
    EXPECT_EQ(account_->AccessListNameExists("Band"), VARIANT_TRUE);
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->CreateAccessList("Band"); }),
              "Access list with the same name already exists");
    auto band = As<IAccessList>(account_->AccessList(lists));
    std::int32_t id = band->Id();

    proxy_->AddUserToAccessList(id, 1);
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->AddUserToAccessList(id, 1); }),
              "This user is already part of this access list");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->AddUserToAccessList(id, me); }),
              "Can't share with yourself");
    // The program refreshes the lists from the service's text.
    account_->SetAccessLists(proxy_->AccessLists());
    auto refreshed = As<IAccessList>(account_->AccessListById(id));
    ASSERT_TRUE(refreshed);
    EXPECT_EQ(refreshed->MemberCount(), 1);
    EXPECT_EQ(As<IUserProfile>(refreshed->Member(0))->AccountId(), "demo-free");
    EXPECT_EQ(refreshed->IsMember(1), VARIANT_TRUE);

    proxy_->SetFolderAccessList(2, id);
    EXPECT_EQ(folder(2)->AccessListId(), id);

    proxy_->RenameAccessList(id, "The Band");
    EXPECT_EQ(account_->AccessListNameExists("The Band"), VARIANT_TRUE);
    EXPECT_EQ(account_->AccessListNameExists("Band"), VARIANT_FALSE);

    proxy_->RemoveUserFromAccessList(id, 1);
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->RemoveUserFromAccessList(id, 1); }),
              "User not found in this access list");
    account_->SetAccessLists(proxy_->AccessLists());
    EXPECT_EQ(As<IAccessList>(account_->AccessListById(id))->MemberCount(), 0);

    // Deleting the list unshares the folder on the service and in the model.
    proxy_->DeleteAccessList(id);
    EXPECT_EQ(account_->AccessListById(id), nullptr);
    EXPECT_EQ(folder(2)->AccessListId(), 0);
    std::string model = DumpAccount(account_);
    signIn("demo-plus", "plus-demo-1");
    EXPECT_EQ(DumpAccount(account_), model);
}

TEST_F(ProxyServiceTest, UnreadableAccessListTextKeepsTheLists) {
    signIn("demo-gold", "gold-demo-1");
    for (const char* bad :
         {"", "<acls><acl id=\"1\"", "not xml", "<!DOCTYPE a [<!ENTITY x \"y\">]><acls/>"}) {
        HRESULT hr = 0;
        try {
            account_->SetAccessLists(bad);
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const ComError& e) {
            hr = e.hr();
            EXPECT_EQ(e.iid(), IAccount::iid);
        }
        EXPECT_EQ(hr, E_INVALIDARG);
        EXPECT_EQ(account_->AccessListCount(), 1) << bad;
    }
    EXPECT_NE(proxy_->LastErrorText().find("cannot be read"), std::string::npos);
}

// ---- users, messages, mail and the local files

TEST_F(ProxyServiceTest, UserLookups) {
    signIn("demo-free", "free-demo-1");
    std::string byId = proxy_->FindUserById("dir-anna");
    EXPECT_EQ(byId.rfind("<user ", 0), 0u) << byId;
    EXPECT_NE(byId.find("accountid=\"dir%2danna\""), std::string::npos);
    std::string byMail = proxy_->FindUserByEmail("GUSTAV@example.org");
    EXPECT_NE(byMail.find("accountid=\"demo%2dgold\""), std::string::npos) << byMail;
    EXPECT_EQ(proxy_->FindUserById("nobody-here"), "");
    EXPECT_EQ(proxy_->FindUserById("a&b=c d"), "") << "the account id is encoded";
}

TEST_F(ProxyServiceTest, MessagesArriveOnceInTheMessagesFile) {
    auto sender = NewProxy();
    sender->Login("demo-gold", "gold-demo-1");
    ASSERT_EQ(sender->SignedIn(), VARIANT_TRUE);
    signIn("demo-free", "free-demo-1");
    EXPECT_EQ(proxy_->MessagesFile(), "") << "nothing to read yet";
    sender->SendUserMessage(1, -1, "hello there & more");
    sender->SendUserMessage(-1, 1, "to the Friends list");
    std::string path = proxy_->MessagesFile();
    ASSERT_FALSE(path.empty());
    std::string text = readFile(path);
    EXPECT_NE(text.find("text=\"hello%20there%20%26%20more\""), std::string::npos) << text;
    EXPECT_NE(text.find("text=\"to%20the%20Friends%20list\""), std::string::npos) << text;
    EXPECT_NE(text.find("fromUserId=\"3\""), std::string::npos);
    EXPECT_EQ(proxy_->MessagesFile(), "") << "each message is delivered once";
    EXPECT_EQ(FailureText(sender, [&] { sender->SendUserMessage(-1, -1, "x"); }),
              "Give either a user or an access list, the other -1");
}

TEST_F(ProxyServiceTest, MailAndLinks) {
    signIn("demo-gold", "gold-demo-1");
    EXPECT_NO_THROW(proxy_->SendEmail("demo-gold", "frank@example.org", "Hi Frank"));
    std::int32_t shared = As<IMediaFile>(folder(6)->File(0))->FileId();
    EXPECT_NO_THROW(proxy_->EmailLink(3, 6, shared, 3, "frank@example.org", "", ""));
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->SendEmail("demo-gold", "no address", "x"); }),
              "Invalid e-mail address");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->SendEmail("demo-free", "a@b.org", "x"); }),
              "The sender must be the signed-in user");
    EXPECT_EQ(FailureText(proxy_, [&] { proxy_->EmailLink(3, 99, 0, 3, "a@b.org", "", ""); }),
              "Folder not found");
    QDir outbox(service_.dataDir() + "/outbox");
    EXPECT_EQ(outbox.entryList({"*.eml"}, QDir::Files).size(), 2);
}

TEST_F(ProxyServiceTest, DirectoryAndApplicationMessageFiles) {
    signIn("demo-free", "free-demo-1");
    std::string directory = proxy_->PublicDirectoryFile();
    ASSERT_FALSE(directory.empty());
    auto proxyFolder = real().localFolder();
    EXPECT_EQ(QString::fromStdString(directory).startsWith(proxyFolder + "/"), true);
    std::string text = readFile(directory);
    for (const char* who : {"dir%2danna", "dir%2dben", "dir%2dcarla"})
        EXPECT_NE(text.find(who), std::string::npos) << who;
    EXPECT_EQ(readFile(CacheFolder() + "vmdir.vdt"), text);

    std::string messages = proxy_->AppMessageFile();
    ASSERT_FALSE(messages.empty());
    std::string app = readFile(messages);
    EXPECT_EQ(app.find("<appmessages>") != std::string::npos, true) << app;
    int count = 0;
    for (std::size_t at = app.find("<appmessage "); at != std::string::npos;
         at = app.find("<appmessage ", at + 1))
        ++count;
    EXPECT_EQ(count, 3);

    // Removing the application messages leaves nothing to read.
    for (const char* id : {"1", "2", "3"})
        service_.admin({"--remove-appmessage", id});
    EXPECT_EQ(proxy_->AppMessageFile(), "");

    // The proxy's folder goes with the proxy.
    proxy_.reset();
    EXPECT_FALSE(QDir(proxyFolder).exists())
        << QDir(proxyFolder)
               .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
               .join(' ')
               .toStdString();
}

TEST_F(ProxyServiceTest, ATimeoutEndsARequestToAFrozenService) {
    signIn("demo-free", "free-demo-1");
    proxy::Timeouts quick;
    quick.read = std::chrono::milliseconds(1000);
    real().setTimeouts(quick, quick);
    service_.freeze();
    QElapsedTimer timer;
    timer.start();
    std::string text = FailureText(proxy_, [&] { proxy_->MessagesFile(); });
    service_.thaw();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(text, "No answer from the Velmora service at 127.0.0.1:" +
                        std::to_string(service_.port()) + " within 1 s");
}

} // namespace
} // namespace velmora::test
