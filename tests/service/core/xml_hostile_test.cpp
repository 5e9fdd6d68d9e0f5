// Replies come from the network: hostile documents must end in an empty node
// and an error text, quickly and without touching local files.
#include "xml_node.h"
#include "xml_parser.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string Nested(int levels) {
    std::string text;
    text.reserve(static_cast<std::size_t>(levels) * 8);
    for (int i = 0; i < levels; ++i)
        text += "<e>";
    for (int i = 0; i < levels; ++i)
        text += "</e>";
    return text;
}

} // namespace

TEST(XmlHostile, BillionLaughsFailsAtOnce) {
    std::string text = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    text += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
    for (int i = 2; i <= 9; ++i) {
        std::string prev = "&lol" + std::to_string(i - 1) + ";";
        std::string body;
        for (int j = 0; j < 10; ++j)
            body += prev;
        text += "<!ENTITY lol" + std::to_string(i) + " \"" + body + "\">";
    }
    text += "]><lolz a=\"&lol9;\">&lol9;</lolz>";

    const auto start = Clock::now();
    std::string error;
    XmlNode node = XmlParser::instance().Parse(text, &error);
    EXPECT_LT(MillisecondsSince(start), 1000);
    EXPECT_TRUE(node.empty());
    EXPECT_FALSE(error.empty());
}

TEST(XmlHostile, ManyReferencesToOneLargeEntityAreRefused) {
    std::string text = "<!DOCTYPE r [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><r>";
    for (int i = 0; i < 1000; ++i)
        text += "&big;";
    text += "</r>";
    std::string error;
    XmlNode node = XmlParser::instance().Parse(text, &error);
    EXPECT_TRUE(node.empty());
    EXPECT_FALSE(error.empty());
}

TEST(XmlHostile, PredefinedEntitiesAreNotCountedAgainstTheLimit) {
    std::string text = "<r a=\"";
    for (int i = 0; i < 10000; ++i)
        text += "&amp;";
    text += "\">";
    for (int i = 0; i < 10000; ++i)
        text += "&lt;&#65;";
    text += "</r>";
    std::string error;
    XmlNode node = XmlParser::instance().Parse(text, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(node.Attribute("a"), std::string(10000, '&'));
    EXPECT_EQ(node.text().size(), 20000u);
}

TEST(XmlHostile, ExternalEntitiesAndDtdsAreNeverRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString secretPath = dir.filePath("secret.txt");
    {
        QFile secret(secretPath);
        ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
        secret.write("SECRET-CONTENT-4711");
    }
    const std::string url = "file://" + secretPath.toStdString();
    const std::vector<std::string> documents = {
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + url + "\">]><r a=\"1\">&x;<c>&x;</c></r>",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + secretPath.toStdString() + "\">]><r>&x;</r>",
        "<!DOCTYPE r [<!ENTITY % p SYSTEM \"" + url + "\"> %p;]><r>t</r>",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>",
        "<!DOCTYPE r SYSTEM \"file:///etc/passwd\"><r>t</r>",
    };
    for (const std::string& text : documents) {
        std::string error;
        XmlNode node = XmlParser::instance().Parse(text, &error);
        const std::string written = node.ToXml();
        EXPECT_EQ(written.find("SECRET-CONTENT"), std::string::npos) << text;
        EXPECT_EQ(written.find("root:"), std::string::npos) << text;
        EXPECT_EQ(error.find("SECRET-CONTENT"), std::string::npos) << text;
    }
    // An external DTD is not even opened: were it read, the file's content
    // would be a syntax error.
    std::string error;
    XmlNode node =
        XmlParser::instance().Parse("<!DOCTYPE r SYSTEM \"" + url + "\"><r>ok</r>", &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(node.text(), "ok");
}

TEST(XmlHostile, DeepNestingIsRefusedWithoutExhaustingTheStack) {
    const auto start = Clock::now();
    std::string error;
    XmlNode node = XmlParser::instance().Parse(Nested(100000), &error);
    EXPECT_TRUE(node.empty());
    EXPECT_NE(error.find("nested"), std::string::npos) << error;
    EXPECT_LT(MillisecondsSince(start), 10000);
}

TEST(XmlHostile, NestingUpToTheLimitIsKept) {
    // The root is depth 0, so kMaxDepth + 1 elements reach the limit exactly.
    std::string error;
    XmlNode node = XmlParser::instance().Parse(Nested(XmlParser::kMaxDepth + 1), &error);
    EXPECT_EQ(error, "");
    const XmlNode* n = &node;
    while (n->ChildCount() > 0)
        n = &n->Child(0);
    EXPECT_EQ(n->depth(), XmlParser::kMaxDepth);

    XmlNode over = XmlParser::instance().Parse(Nested(XmlParser::kMaxDepth + 2), &error);
    EXPECT_TRUE(over.empty());
    EXPECT_FALSE(error.empty());
}

TEST(XmlHostile, FiftyMegabyteTextParses) {
    const std::size_t size = 50u * 1024 * 1024;
    std::string text = "<r><big>";
    text.append(size, 'x');
    text += "</big><after/></r>";
    std::string error;
    XmlNode node = XmlParser::instance().Parse(text, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(node.ChildCount(), 2);
    EXPECT_EQ(node.Child(0).text().size(), size);
    EXPECT_EQ(node.Child(1).name(), "after");
}

TEST(XmlHostile, InvalidUtf8GivesEmptyNodeAndError) {
    for (const char* text : {"<a>\xff\xfe</a>", "<a>\xc3</a>", "<a>\xc0\xaf</a>",
                             "<a x=\"\xed\xa0\x80\"/>", "<\xff/>", "<r><ok/><bad>\x80</bad></r>"}) {
        std::string error;
        XmlNode node = XmlParser::instance().Parse(text, &error);
        EXPECT_TRUE(node.empty()) << text;
        EXPECT_EQ(node.ChildCount(), 0) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(XmlParserThreads, TwoThreadsParsingAtOnceEachSeeTheirOwnError) {
    const std::string good = "<r><user id=\"1\"/><user id=\"2\"/></r>";
    const std::string bad = "<r><user id=\"1\"></r>";
    std::string badError;
    XmlParser::instance().Parse(bad, &badError);
    ASSERT_FALSE(badError.empty());

    std::atomic<int> wrong{0};
    std::atomic<int> tornShared{0};
    auto run = [&](const std::string& text, bool expectError) {
        for (int i = 0; i < 500; ++i) {
            std::string error;
            XmlNode node = XmlParser::instance().Parse(text, &error);
            if (expectError ? (error != badError || !node.empty())
                            : (!error.empty() || node.ChildCount() != 2))
                ++wrong;
            const std::string shared = XmlParser::instance().lastError();
            if (!shared.empty() && shared != badError)
                ++tornShared;
        }
    };
    std::thread a(run, good, false);
    std::thread b(run, bad, true);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(tornShared.load(), 0);
}
