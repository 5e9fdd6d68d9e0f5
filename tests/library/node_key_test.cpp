#include "node_key.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(NodeKeyClassification, EachFormHasItsKind) {
    EXPECT_EQ(ClassifyNodeKey("root"), NodeKind::Root);
    EXPECT_EQ(ClassifyNodeKey("12~345~0"), NodeKind::Folder);
    EXPECT_EQ(ClassifyNodeKey("12~0~0"), NodeKind::User);
    EXPECT_EQ(ClassifyNodeKey("12~345~678"), NodeKind::File);
}

TEST(NodeKeyClassification, ZerosInsideNumbersDoNotMisleadTheSubstringTests) {
    // "~0" must begin a field to count: 10, 100 and 1000 hold zeros too.
    EXPECT_EQ(ClassifyNodeKey("10~100~0"), NodeKind::Folder);
    EXPECT_EQ(ClassifyNodeKey("100~0~0"), NodeKind::User);
    EXPECT_EQ(ClassifyNodeKey("10~100~1000"), NodeKind::File);
    EXPECT_EQ(ClassifyNodeKey("20~30~40"), NodeKind::File);
}

TEST(NodeKeyClassification, PendingUploadLooksLikeItsFolderAndEmptyKeyIsNothing) {
    // An upload in flight carries the key of the folder that receives it.
    EXPECT_EQ(ClassifyNodeKey(FolderNodeKey(17, 1)), NodeKind::Folder);
    // An item without a key must not pass for a file with ids 0.
    EXPECT_EQ(ClassifyNodeKey(""), NodeKind::None);
    EXPECT_EQ(ClassifyNodeKey("Root"), NodeKind::File);
}

TEST(NodeKeySplitting, FieldsAreOwnerFolderAndFile) {
    NodeKeyFields f = SplitNodeKey("12~345~678");
    EXPECT_EQ(f.owner, 12);
    EXPECT_EQ(f.folder, 345);
    EXPECT_EQ(f.file, 678);

    f = SplitNodeKey("7~42~0");
    EXPECT_EQ(f.owner, 7);
    EXPECT_EQ(f.folder, 42);
    EXPECT_EQ(f.file, 0);
}

TEST(NodeKeySplitting, ShortOrOddKeysReadAsZerosAndNeverThrow) {
    NodeKeyFields f = SplitNodeKey("root");
    EXPECT_EQ(f.owner, 0);
    EXPECT_EQ(f.folder, 0);
    EXPECT_EQ(f.file, 0);

    f = SplitNodeKey("5");
    EXPECT_EQ(f.owner, 5);
    EXPECT_EQ(f.folder, 0);

    f = SplitNodeKey("");
    EXPECT_EQ(f.owner, 0);

    f = SplitNodeKey("-1~2~99999999999");
    EXPECT_EQ(f.owner, -1);
    EXPECT_EQ(f.folder, 2);
    EXPECT_EQ(f.file, 2147483647);
}

TEST(NodeKeyBuilding, KeysRoundTripThroughSplitting) {
    EXPECT_EQ(FolderNodeKey(12, 345), "12~345~0");
    EXPECT_EQ(FileNodeKey(12, 345, 678), "12~345~678");
    EXPECT_EQ(UserNodeKey(21), "21~0~0");

    NodeKeyFields f = SplitNodeKey(FileNodeKey(2147483647, 3, 4));
    EXPECT_EQ(f.owner, 2147483647);
    EXPECT_EQ(f.folder, 3);
    EXPECT_EQ(f.file, 4);
}

TEST(NodeKeyBuilding, RootStandsForFolderOneOfTheSignedInUser) {
    EXPECT_EQ(FolderKeyOfRoot("root", 17), "17~1~0");
    EXPECT_EQ(FolderKeyOfRoot("21~300~0", 17), "21~300~0");
    EXPECT_EQ(SplitNodeKey(FolderKeyOfRoot("root", 17)).folder, 1);
}
