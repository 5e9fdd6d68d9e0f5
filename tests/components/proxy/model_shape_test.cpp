// Account documents of extreme shape, as a damaged database or a foreign
// service could send them: the model takes what the player can walk and
// refuses the rest with a readable reason, never overflowing the stack.

#include "object_model.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::proxy {
namespace {

std::string Account(const std::string& library) {
    return "<?xml version=\"1.0\"?><account userid=\"1\"><user id=\"1\" accountid=\"a\"/>"
           "<library>" +
           library + "</library><sharing/><acls/></account>";
}

std::string Nested(int depth) {
    std::string open, close;
    for (int i = 0; i <= depth; ++i) {
        open += "<folder id=\"" + std::to_string(i + 1) + "\" name=\"f\">";
        close += "</folder>";
    }
    return open + "<file id=\"7\" name=\"deep%2emp3\"/>" + close;
}

TEST(ProxyModelShape, DeepAndWideLibrariesAreTakenOrRefusedWithAReason) {
    struct Case {
        int depth;
        bool taken;
    };
    for (const Case& c : {Case{1000, true}, Case{1001, false}, Case{200000, false}}) {
        const QByteArray xml = QByteArray::fromStdString(Account(Nested(c.depth)));
        if (c.taken) {
            auto account = AccountObject::Parse(xml, std::make_shared<ErrorStore>());
            auto folder = std::dynamic_pointer_cast<FolderObject>(account->LibraryRoot());
            ASSERT_TRUE(folder);
            EXPECT_TRUE(folder->find(c.depth + 1)) << c.depth;
            continue;
        }
        try {
            AccountObject::Parse(xml, std::make_shared<ErrorStore>());
            ADD_FAILURE() << "taken: " << c.depth;
        } catch (const ModelError& e) {
            EXPECT_STREQ(e.what(), "The account data from the service cannot be read: folders "
                                   "are nested more than 1000 deep");
        }
    }
    std::string wide = "<folder id=\"1\" name=\"My%20Media\">";
    for (int i = 0; i < 30000; ++i)
        wide += "<file id=\"" + std::to_string(i + 1) + "\" name=\"f" + std::to_string(i) +
                "%2emp3\"/>";
    auto account = AccountObject::Parse(QByteArray::fromStdString(Account(wide + "</folder>")),
                                        std::make_shared<ErrorStore>());
    EXPECT_EQ(std::dynamic_pointer_cast<IFolder>(account->LibraryRoot())->FileCount(), 30000);
}

} // namespace
} // namespace velmora::proxy
