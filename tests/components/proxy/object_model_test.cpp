// The object model built from account documents, without a service.

#include "object_model.h"
#include "service_http.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace velmora::proxy {
namespace {

std::shared_ptr<AccountObject> parse(const std::string& xml) {
    return AccountObject::Parse(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())),
                                std::make_shared<ErrorStore>());
}

const std::string kAccount = R"(<?xml version="1.0" encoding="UTF-8"?>
<account userid="17">
  <user id="17" accountid="alice" first_name="Al%c3%adce" last_name="Smith" email="alice%40example%2eorg" isplus="1" gold="0" platinum="1" expired="0" public="1"/>
  <library>
    <folder id="1" name="My%20Media" acl="0">
      <folder id="2" name="Music" acl="3">
        <folder id="9" name="Deep" acl="0"><file id="15" name="d%2emp3" size="1"/></folder>
        <file id="5" name="song%2emp3" size="48213"/>
      </folder>
      <file id="6" name="caf&#xe9;%20intro%2eau" size="8024"/>
    </folder>
  </library>
  <sharing>
    <user id="9" accountid="bob" first_name="Bob" last_name="Jones" email="" isplus="0" gold="0" platinum="0" expired="0" public="0" listed="0">
      <folder id="4" name="Holiday" acl="11" visible="1">
        <folder id="8" name="Day%201" acl="0" visible="0"/>
      </folder>
    </user>
  </sharing>
  <acls>
    <acl id="3" name="Friends"><user id="9" accountid="bob" first_name="Bob" last_name="Jones" email="b%40x%2eorg" isplus="0" gold="0" platinum="0" expired="0" public="0"/></acl>
    <acl id="5" name="Work"/>
  </acls>
</account>)";

TEST(AccountDocument, ReadsEveryPartAndDecodesTexts) {
    auto account = parse(kAccount);
    auto profile = QueryInterface<IUserProfile>(account->Profile());
    EXPECT_EQ(profile->FirstName(), "Al\xc3\xad"
                                    "ce");
    EXPECT_EQ(profile->Email(), "alice@example.org");
    EXPECT_EQ(profile->IsPlus(), VARIANT_TRUE);
    EXPECT_EQ(profile->IsHigherTier1(), VARIANT_FALSE);
    EXPECT_EQ(profile->IsHigherTier2(), VARIANT_TRUE);
    EXPECT_EQ(profile->Listed(), 1) << "absent listed counts as listed";

    auto root = QueryInterface<IFolder>(account->LibraryRoot());
    EXPECT_EQ(root->Name(), "My Media");
    EXPECT_EQ(root->Visible(), 1);
    // A literal non-ASCII character next to escapes decodes to UTF-8 as well.
    EXPECT_EQ(QueryInterface<IMediaFile>(root->File(0))->Name(), "caf\xc3\xa9 intro.au");
    auto music = QueryInterface<IFolder>(root->FindFolder(2));
    EXPECT_EQ(music->AccessListId(), 3);
    EXPECT_EQ(music->SubfolderCount(), 1);
    EXPECT_EQ(QueryInterface<IFolder>(root->FindFolder(9))->FileCount(), 1);

    auto bob = QueryInterface<IUserProfile>(account->SharingUser(0));
    EXPECT_EQ(bob->Listed(), 0);
    auto holiday = QueryInterface<IFolder>(bob->SharedFolder(0));
    EXPECT_EQ(holiday->AccessListId(), 11);
    EXPECT_EQ(QueryInterface<IFolder>(holiday->Subfolder(0))->Visible(), 0);
    EXPECT_EQ(QueryInterface<IFolder>(holiday->Subfolder(0))->Name(), "Day 1");

    EXPECT_EQ(account->AccessListCount(), 2);
    auto friends = QueryInterface<IAccessList>(account->AccessListById(3));
    EXPECT_EQ(QueryInterface<IUserProfile>(friends->Member(0))->Email(), "b@x.org");
    // The member and the sharing user are the same person; by id the
    // sharing user, who has the folders, is found.
    EXPECT_EQ(QueryInterface<IUserProfile>(account->UserById(9))->SharedFolderCount(), 1);
}

TEST(AccountDocument, RecordXmlReadsBackAsTheSameUser) {
    auto account = parse(kAccount);
    auto profile = QueryInterface<IUserProfile>(account->Profile());
    // The record, put in a document as the profile, reads back unchanged.
    auto again = parse("<account>" + profile->RecordXml() +
                       "<library><folder id=\"1\" name=\"r\"/></library></account>");
    auto copy = QueryInterface<IUserProfile>(again->Profile());
    EXPECT_EQ(copy->FirstName(), profile->FirstName());
    EXPECT_EQ(copy->Email(), profile->Email());
    EXPECT_EQ(copy->AccountId(), "alice");
    EXPECT_EQ(copy->IsHigherTier2(), VARIANT_TRUE);
}

TEST(AccountDocument, UnreadableDocumentsAreRefused) {
    const std::vector<std::string> bad = {
        "",
        "<account>",
        kAccount.substr(0, kAccount.size() / 2),
        "<session token=\"x\"/>",
        "<account><user id=\"1\"/></account>",
        "<account><library><folder id=\"1\"/></library></account>",
        // Entity expansion is never attempted: a document type is refused.
        "<?xml version=\"1.0\"?><!DOCTYPE account [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
        "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><account><user id=\"1\" first_name=\"&b;\"/>"
        "<library><folder id=\"1\"/></library></account>",
    };
    for (const auto& text : bad)
        EXPECT_THROW(parse(text), ModelError) << text;
}

TEST(AccountDocument, UnknownElementsAreSkipped) {
    auto account = parse("<account><future a=\"1\"><x/></future><user id=\"4\"/>"
                         "<library><folder id=\"1\" name=\"r\"><thing/><file id=\"2\" "
                         "name=\"f%2eau\"/></folder></library></account>");
    EXPECT_EQ(QueryInterface<IFolder>(account->LibraryRoot())->FileCount(), 1);
}

TEST(AccountModel, UploadedFileIsRecordedInItsOwnFolder) {
    auto account = parse(kAccount);
    auto root = QueryInterface<IFolder>(account->LibraryRoot());
    // The program records every finished upload on the root folder.
    account->noteUpload(40, 9);
    root->AddFile(40, "up.mp3");
    auto deep = QueryInterface<IFolder>(root->FindFolder(9));
    EXPECT_EQ(deep->FileCount(), 2);
    EXPECT_EQ(deep->NameInUse("up.mp3"), VARIANT_TRUE);
    EXPECT_EQ(root->NameInUse("up.mp3"), VARIANT_FALSE);
    EXPECT_EQ(root->FileCount(), 1);
    // A file the proxy knows nothing of stays where it is recorded.
    root->AddFile(41, "other.mp3");
    EXPECT_EQ(root->FileCount(), 2);
    // Recording the same file twice does not list it twice.
    root->AddFile(40, "up.mp3");
    EXPECT_EQ(deep->FileCount(), 2);
}

TEST(AccountModel, DeletedListUnsharesItsFolders) {
    auto account = parse(kAccount);
    auto root = QueryInterface<IFolder>(account->LibraryRoot());
    account->removeList(3);
    EXPECT_EQ(account->AccessListById(3), nullptr);
    EXPECT_EQ(QueryInterface<IFolder>(root->FindFolder(2))->AccessListId(), 0);
    EXPECT_EQ(account->AccessListCount(), 1);
}

TEST(AccountModel, ReadersOnOtherThreadsSeeWholeChanges) {
    auto account = parse(kAccount);
    auto root = QueryInterface<IFolder>(account->LibraryRoot());
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            auto music = QueryInterface<IFolder>(root->FindFolder(2));
            int n = music->FileCount();
            if (n > 0)
                QueryInterface<IMediaFile>(music->File(n - 1))->Name();
            account->AccessListNameExists("Friends");
        }
    });
    for (int i = 0; i < 2000; ++i) {
        account->noteUpload(1000 + i, 2);
        root->AddFile(1000 + i, "f" + std::to_string(i) + ".mp3");
        account->renameFolder(2, "Music " + std::to_string(i));
    }
    done = true;
    reader.join();
    EXPECT_EQ(QueryInterface<IFolder>(root->FindFolder(2))->FileCount(), 2001);
}

} // namespace
} // namespace velmora::proxy
