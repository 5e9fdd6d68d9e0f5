#include "xml_node.h"
#include "xml_parser.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(XmlParse, ReadsAUserRecordWithAttributesInNameOrder) {
    XmlNode user(R"(<user id="17" accountid="jdoe" first_name="Jo" last_name="Doe" )"
                 R"(email="jo@example.org" isplus="1" expired="0"/>)");
    EXPECT_EQ(user.name(), "user");
    EXPECT_EQ(user.depth(), 0);
    EXPECT_EQ(user.Attribute("id"), "17");
    EXPECT_EQ(user.Attribute("email"), "jo@example.org");
    EXPECT_EQ(user.Attribute("missing"), "");
    std::vector<std::string> names;
    for (const auto& [name, value] : user.attributes())
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"accountid", "email", "expired", "first_name", "id",
                                               "isplus", "last_name"}));
}

TEST(XmlParse, KeepsChildElementsInOrderWithTheirDepthsAndDropsOtherNodes) {
    XmlNode root("<dir><user id=\"1\"/><!-- note --><?pi x?><user id=\"2\"><x><y/></x></user>"
                 "<other/></dir>");
    ASSERT_EQ(root.ChildCount(), 3);
    EXPECT_EQ(root.Child(0).Attribute("id"), "1");
    EXPECT_EQ(root.Child(1).Attribute("id"), "2");
    EXPECT_EQ(root.Child(2).name(), "other");
    EXPECT_EQ(root.Child(1).depth(), 1);
    EXPECT_EQ(root.Child(1).Child(0).depth(), 2);
    EXPECT_EQ(root.Child(1).Child(0).Child(0).depth(), 3);
}

TEST(XmlParse, ElementTextIsItsFirstTextChildWhereverItStands) {
    EXPECT_EQ(XmlNode("<a>hello<b/>world</a>").text(), "hello");
    EXPECT_EQ(XmlNode("<a><b/>after</a>").text(), "after");
    EXPECT_EQ(XmlNode("<a>\n\t<b>in</b>\n</a>").text(), "\n\t");
    EXPECT_EQ(XmlNode("<a>\n\t<b>in</b>\n</a>").Child(0).text(), "in");
    EXPECT_EQ(XmlNode("<a><b/></a>").text(), "");
    EXPECT_EQ(XmlNode("<a>x &amp; y &lt; &#233;</a>").text(), "x & y < \xc3\xa9");
    EXPECT_EQ(XmlNode("<a><![CDATA[<raw>]]></a>").text(), "<raw>");
}

TEST(XmlParse, NonAsciiNamesAndValuesArriveAsUtf8) {
    XmlNode node("<\xc3\xbc n\xc3\xa4me=\"\xe2\x82\xac\">\xf0\x9f\x8e\xb5</\xc3\xbc>");
    EXPECT_EQ(node.name(), "\xc3\xbc");
    EXPECT_EQ(node.Attribute("n\xc3\xa4me"), "\xe2\x82\xac");
    EXPECT_EQ(node.text(), "\xf0\x9f\x8e\xb5");
}

TEST(XmlParse, EmptyOrBrokenTextGivesEmptyNodeAndAnErrorText) {
    for (const char* text : {"", "   ", "<a>", "<a></b>", "not xml", "<a x=1/>"}) {
        std::string error;
        XmlNode node = XmlParser::instance().Parse(text, &error);
        EXPECT_TRUE(node.empty()) << text;
        EXPECT_EQ(node.ChildCount(), 0) << text;
        EXPECT_TRUE(node.attributes().empty()) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(XmlParser::instance().lastError(), error) << text;
    }
    std::string error = "stale";
    XmlNode ok = XmlParser::instance().Parse("<a/>", &error);
    EXPECT_EQ(ok.name(), "a");
    EXPECT_EQ(error, "");
    EXPECT_EQ(XmlParser::instance().lastError(), "");
}

TEST(XmlNode, FindChildReturnsFirstMatchOrOneSharedEmptyNode) {
    XmlNode root("<r><msg>one</msg><url>u</url><msg>two</msg></r>");
    EXPECT_EQ(root.FindChild("msg").text(), "one");
    EXPECT_EQ(root.FindChild("url").text(), "u");
    const XmlNode& none = root.FindChild("nothing");
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(&none, &XmlNode().FindChild("other"));
}

TEST(XmlNode, AddChildCopiesTheSubtreeAndRenumbersItsDepths) {
    XmlNode grandChild;
    grandChild.setName("g");
    XmlNode child;
    child.setName("c");
    child.AddChild(grandChild);
    ASSERT_EQ(child.Child(0).depth(), 1);

    XmlNode deep(R"(<x><y><z/></y></x>)");
    deep.AddChild(child);
    const XmlNode& added = deep.Child(1);
    EXPECT_EQ(added.depth(), 1);
    EXPECT_EQ(added.Child(0).depth(), 2);

    XmlNode top;
    top.setName("top");
    top.AddChild(deep);
    EXPECT_EQ(top.Child(0).depth(), 1);
    EXPECT_EQ(top.Child(0).Child(0).Child(0).depth(), 3);
    EXPECT_EQ(top.Child(0).Child(1).Child(0).depth(), 3);

    // The copy is independent of the original.
    child.SetAttribute("changed", "yes");
    EXPECT_EQ(deep.Child(1).Attribute("changed"), "");
    EXPECT_EQ(child.depth(), 0);
}

TEST(XmlWrite, RootWithTwoAttributesAndNothingElse) {
    XmlNode root;
    root.setName("root");
    root.SetAttribute("b", "2");
    root.SetAttribute("a", "1");
    EXPECT_EQ(root.ToXml(), "<root a=\"1\" b=\"2\">\n</root>\n");
}

// A node without text writes a line break and its own indent where the text
// would stand, so its first child's line carries both indents.
TEST(XmlWrite, IndentsByDepthAndWritesTextInsteadOfTheLineBreak) {
    XmlNode list("<users><user id=\"1\"/><user id=\"2\"><name>Jo</name></user></users>");
    EXPECT_EQ(list.Child(0).ToXml(), "\t<user id=\"1\">\n\t</user>\n");
    EXPECT_EQ(list.Child(1).ToXml(), "\t<user id=\"2\">\n\t\t\t<name>Jo</name>\n\t</user>\n");
    EXPECT_EQ(list.ToXml(), "<users>\n"
                            "\t<user id=\"1\">\n\t</user>\n"
                            "\t<user id=\"2\">\n\t\t\t<name>Jo</name>\n\t</user>\n"
                            "</users>\n");
}

TEST(XmlWrite, EscapesEntitiesAndReadsBackTheSameValues) {
    XmlNode node;
    node.setName("m");
    node.SetAttribute("text", "a&b<c\"d>e'f");
    node.setText("1 & 2 < 3 \"q\"");
    const std::string xml = node.ToXml();
    EXPECT_EQ(xml, "<m text=\"a&amp;b&lt;c&quot;d>e'f\">1 &amp; 2 &lt; 3 \"q\"</m>\n");
    XmlNode back(xml);
    EXPECT_EQ(back.Attribute("text"), "a&b<c\"d>e'f");
    EXPECT_EQ(back.text(), "1 & 2 < 3 \"q\"");
}
