#include "object_ranges.h"
#include "scripted_proxy.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

template <class Range> std::vector<std::string> Names(const Range& range) {
    std::vector<std::string> names;
    for (const auto& object : range)
        names.push_back(object->Name());
    return names;
}

// A folder that counts the calls for its children.
class CountingFolder : public ScriptedFolder {
public:
    using ScriptedFolder::ScriptedFolder;
    std::int32_t FileCount() override {
        ++countCalls;
        return countOverride ? *countOverride : ScriptedFolder::FileCount();
    }
    ComPtr File(std::int32_t index) override {
        ++fileCalls;
        return ScriptedFolder::File(index);
    }
    int countCalls = 0;
    int fileCalls = 0;
    std::optional<std::int32_t> countOverride;
};

} // namespace

TEST(ObjectRanges, StepOverEntriesWithoutTheInterfaceAtEitherEndOrBetween) {
    ScriptedFolder folder(1, "root");
    folder.files = {nullptr, std::make_shared<ScriptedFile>(2, "a.mp3"),
                    std::make_shared<ScriptedFolder>(3, "not a file"),
                    std::make_shared<ScriptedFile>(4, "b.mp3"),
                    std::make_shared<ScriptedFolder>(5, "not a file either")};
    EXPECT_EQ(Names(Files(folder)), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    folder.subfolders = folder.files;
    EXPECT_EQ(Names(Subfolders(folder)),
              (std::vector<std::string>{"not a file", "not a file either"}));

    // Nothing usable at all, or nothing there: an empty walk.
    folder.files = {nullptr, std::make_shared<ScriptedFolder>(3, "x")};
    EXPECT_TRUE(Names(Files(folder)).empty());
    folder.files.clear();
    EXPECT_TRUE(Names(Files(folder)).empty());
}

TEST(ObjectRanges, CountIsReadOnceAndEachChildAskedForOnce) {
    CountingFolder folder(1, "root");
    for (int i = 0; i < 3; ++i)
        folder.addFile(10 + i, "f" + std::to_string(i));
    std::vector<std::int32_t> ids;
    for (const auto& file : Files(folder))
        ids.push_back(file->FileId());
    EXPECT_EQ(ids, (std::vector<std::int32_t>{10, 11, 12}));
    EXPECT_EQ(folder.countCalls, 1);
    EXPECT_EQ(folder.fileCalls, 3);

    // A negative count walks nothing.
    folder.countOverride = -2;
    folder.fileCalls = 0;
    EXPECT_TRUE(Names(Files(folder)).empty());
    EXPECT_EQ(folder.fileCalls, 0);
}

TEST(ObjectRanges, FailingChildThrowsAtItsStepAfterTheOnesBefore) {
    ScriptedFolder folder(1, "root");
    folder.addFile(2, "first");
    folder.addFile(3, "second");
    folder.addFile(4, "third");
    folder.failFileFrom = 1;
    std::vector<std::string> seen;
    EXPECT_THROW(
        {
            for (const auto& file : Files(folder))
                seen.push_back(file->Name());
        },
        ComError);
    EXPECT_EQ(seen, (std::vector<std::string>{"first"}));
}

TEST(ObjectRanges, SharingUsersAndTheirSharedFolders) {
    ScriptedAccount account;
    auto bob = account.addUser(21, "bob", "Bob", "Stone");
    bob->shareFolder(300, "Holiday");
    bob->folders.push_back(std::make_shared<ScriptedFile>(7, "not a folder"));
    bob->shareFolder(310, "Demos");
    account.users.push_back(std::make_shared<ScriptedFile>(8, "not a user"));
    account.addUser(22, "cy", "Cy", "Young");

    std::vector<std::string> users;
    for (const auto& user : SharingUsers(account))
        users.push_back(user->AccountId());
    EXPECT_EQ(users, (std::vector<std::string>{"bob", "cy"}));
    EXPECT_EQ(Names(SharedFolders(*bob)), (std::vector<std::string>{"Holiday", "Demos"}));
}
