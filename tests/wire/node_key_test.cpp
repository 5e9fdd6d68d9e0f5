#include "wire/node_key.h"

#include <gtest/gtest.h>

using namespace velmora::wire;

namespace {

struct KindCase {
    std::string key;
    NodeKind kind;
};

class NodeKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(NodeKindTest, EachFormHasItsKind) {
    EXPECT_EQ(ClassifyNodeKey(GetParam().key), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NodeKindTest,
    ::testing::Values(KindCase{"root", NodeKind::Root}, KindCase{"12~345~0", NodeKind::Folder},
                      KindCase{"12~0~0", NodeKind::User}, KindCase{"12~345~678", NodeKind::File},
                      // "~0" must begin a field to count: 10, 100 and 1000 hold zeros too.
                      KindCase{"10~100~0", NodeKind::Folder}, KindCase{"100~0~0", NodeKind::User},
                      KindCase{"10~100~1000", NodeKind::File}, KindCase{"20~30~40", NodeKind::File},
                      // An item without a key must not pass for a file with ids 0.
                      KindCase{"", NodeKind::None}, KindCase{"Root", NodeKind::File}));

struct SplitCase {
    std::string key;
    NodeKeyFields fields;
};

class NodeKeySplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(NodeKeySplitTest, FieldsAreOwnerFolderAndFile) {
    NodeKeyFields f = SplitNodeKey(GetParam().key);
    EXPECT_EQ(f.owner, GetParam().fields.owner);
    EXPECT_EQ(f.folder, GetParam().fields.folder);
    EXPECT_EQ(f.file, GetParam().fields.file);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NodeKeySplitTest,
    ::testing::Values(SplitCase{"12~345~678", {12, 345, 678}}, SplitCase{"7~42~0", {7, 42, 0}},
                      SplitCase{"root", {0, 0, 0}}, SplitCase{"5", {5, 0, 0}},
                      SplitCase{"", {0, 0, 0}}, SplitCase{"-1~2~99999999999", {-1, 2, 0}},
                      SplitCase{FileNodeKey(2147483647, 3, 4), {2147483647, 3, 4}}));

TEST(NodeKey, BuiltKeysHaveTheirForms) {
    EXPECT_EQ(FolderNodeKey(12, 345), "12~345~0");
    EXPECT_EQ(FileNodeKey(12, 345, 678), "12~345~678");
    EXPECT_EQ(UserNodeKey(21), "21~0~0");
    EXPECT_EQ(FolderKeyOfRoot("root", 17), "17~1~0");
    EXPECT_EQ(FolderKeyOfRoot("21~300~0", 17), "21~300~0");
}

struct UploadCase {
    std::string key;
    std::optional<UploadKey> expected;
};

class UploadKeyTest : public ::testing::TestWithParam<UploadCase> {};

TEST_P(UploadKeyTest, NameIsEverythingAfterTheSecondTilde) {
    auto parsed = ParseUploadKey(GetParam().key);
    ASSERT_EQ(parsed.has_value(), GetParam().expected.has_value());
    if (parsed) {
        EXPECT_EQ(parsed->userId, GetParam().expected->userId);
        EXPECT_EQ(parsed->folderId, GetParam().expected->folderId);
        EXPECT_EQ(parsed->name, GetParam().expected->name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, UploadKeyTest,
    ::testing::Values(UploadCase{MakeUploadKey(17, 305, "song.mp3"),
                                 UploadKey{17, 305, "song.mp3"}},
                      UploadCase{"17~305~My Upload~1.mp3", UploadKey{17, 305, "My Upload~1.mp3"}},
                      UploadCase{"17~305~", std::nullopt}, UploadCase{"17~x~a.mp3", std::nullopt},
                      UploadCase{"17~~a.mp3", std::nullopt}, UploadCase{"17305", std::nullopt},
                      UploadCase{"17 ~305~a.mp3", std::nullopt}));

} // namespace
