#include "harness.h"

#include "text.h"
#include "wire/percent.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace velmora::server::test {

namespace fs = std::filesystem;

std::string Element::attr(const std::string& key) const {
    auto it = attributes.find(key);
    return it == attributes.end() ? std::string() : it->second;
}

std::string Element::decoded(const std::string& key) const {
    return wire::PercentDecode(attr(key));
}

const Element* Element::child(const std::string& childName) const {
    for (const auto& c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

std::vector<const Element*> Element::all(const std::string& childName) const {
    std::vector<const Element*> out;
    for (const auto& c : children)
        if (c.name == childName)
            out.push_back(&c);
    return out;
}

const Element* Element::find(const std::string& elementName, const std::string& id) const {
    for (const auto& c : children) {
        if (c.name == elementName && c.attr("id") == id)
            return &c;
        if (const Element* below = c.find(elementName, id))
            return below;
    }
    return nullptr;
}

Element ParseXml(const std::string& text) {
    QXmlStreamReader reader(QByteArray::fromStdString(text));
    Element root;
    std::vector<Element*> stack;
    bool seenRoot = false;
    while (!reader.atEnd()) {
        auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            Element e;
            e.name = reader.name().toString().toStdString();
            for (const auto& a : reader.attributes())
                e.attributes[a.name().toString().toStdString()] =
                    a.value().toString().toStdString();
            if (stack.empty()) {
                root = std::move(e);
                stack.push_back(&root);
                seenRoot = true;
            } else {
                stack.back()->children.push_back(std::move(e));
                stack.push_back(&stack.back()->children.back());
            }
        } else if (token == QXmlStreamReader::EndElement) {
            stack.pop_back();
        } else if (token == QXmlStreamReader::Characters && !stack.empty()) {
            stack.back()->text += reader.text().toString().toStdString();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString() << "\n" << text;
    EXPECT_TRUE(seenRoot) << text;
    return reader.hasError() ? Element{} : root;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    path_ = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

namespace {

Reply From(const httplib::Result& result) {
    Reply reply;
    if (result) {
        reply.status = result->status;
        reply.body = result->body;
        reply.headers = result->headers;
    }
    return reply;
}

httplib::Headers SessionHeaders(const std::string& token, httplib::Headers extra = {}) {
    if (!token.empty())
        extra.emplace("X-Velmora-Session", token);
    return extra;
}

} // namespace

Client::Client(int port) : port_(port) {}

Reply Client::get(const std::string& path, const std::string& token,
                  const httplib::Headers& extra) {
    httplib::Client c("127.0.0.1", port_);
    return From(c.Get(path, SessionHeaders(token, extra)));
}

Reply Client::post(const std::string& path, const httplib::Params& params,
                   const std::string& token) {
    httplib::Client c("127.0.0.1", port_);
    return From(c.Post(path, SessionHeaders(token), params));
}

Reply Client::postBody(const std::string& path, const std::string& body, const std::string& type,
                       const std::string& token) {
    httplib::Client c("127.0.0.1", port_);
    return From(c.Post(path, SessionHeaders(token), body, type));
}

Reply Client::del(const std::string& path, const std::string& token) {
    httplib::Client c("127.0.0.1", port_);
    return From(c.Delete(path, SessionHeaders(token)));
}

std::string Client::signIn(const std::string& accountId, const std::string& password) {
    Reply r = post("/session", {{"accountid", accountId}, {"password", password}});
    if (r.status != 200)
        return {};
    return ParseXml(r.body).attr("token");
}

namespace {

Options TestOptions(Options o, const fs::path& dir, const velmora::test::ScratchDatabase* db) {
    o.dataDir = dir;
    if (db)
        o.database = db->uri();
    o.port = 0;
    o.hashCost = HashCost::Test;
    o.quiet = true;
    o.threads = 16;
    return o;
}

} // namespace

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

ServiceFixture::ServiceFixture(Options overrides, Backend backend)
    : database_(backend == Backend::Postgres ? std::make_unique<velmora::test::ScratchDatabase>()
                                             : nullptr),
      service_(std::make_unique<Service>(TestOptions(overrides, dir_.path(), database_.get()))),
      port_(service_->start()), client_(port_) {}

ServiceFixture::~ServiceFixture() {
    service_->stop();
}

TestUser ServiceFixture::addUser(const std::string& accountId, Tier tier, bool listed,
                                 const std::string& email) {
    TestUser u;
    u.accountId = accountId;
    u.password = "pw-" + accountId;
    NewUser n;
    n.accountId = accountId;
    n.firstName = "First " + accountId;
    n.lastName = "Last";
    n.email = email.empty() ? accountId + "@example.org" : email;
    n.tier = tier;
    n.listed = listed;
    u.id = service_->addUser(n, u.password);
    u.token = client_.signIn(accountId, u.password);
    EXPECT_FALSE(u.token.empty());
    return u;
}

std::int64_t ServiceFixture::folder(const TestUser& user, std::int64_t parent,
                                    const std::string& name) {
    Reply r =
        client_.post("/folders", {{"parent", std::to_string(parent)}, {"name", name}}, user.token);
    EXPECT_EQ(r.status, 201) << r.body;
    return std::stoll("0" + ParseXml(r.body).attr("id"));
}

std::int64_t ServiceFixture::upload(const TestUser& user, std::int64_t folder,
                                    const std::string& name, const std::string& bytes) {
    httplib::Client c("127.0.0.1", port_);
    auto r =
        c.Post("/upload?folder=" + std::to_string(folder) + "&name=" + wire::PercentEncode(name),
               {{"X-Velmora-Session", user.token}}, bytes, "application/octet-stream");
    EXPECT_TRUE(r);
    if (!r)
        return 0;
    EXPECT_EQ(r->status, 201) << r->body;
    return std::stoll("0" + ParseXml(r->body).attr("id"));
}

std::int64_t ServiceFixture::acl(const TestUser& user, const std::string& name) {
    Reply r = client_.post("/acls", {{"name", name}}, user.token);
    EXPECT_EQ(r.status, 201) << r.body;
    return std::stoll("0" + ParseXml(r.body).attr("id"));
}

void ServiceFixture::share(const TestUser& user, std::int64_t folder, std::int64_t acl) {
    Reply r = client_.post("/folders/" + std::to_string(folder) + "/acl",
                           {{"acl", std::to_string(acl)}}, user.token);
    EXPECT_EQ(r.status, 200) << r.body;
}

void ServiceFixture::addMember(const TestUser& user, std::int64_t acl, const TestUser& member) {
    Reply r = client_.post("/acls/" + std::to_string(acl) + "/members",
                           {{"user", std::to_string(member.id)}}, user.token);
    EXPECT_EQ(r.status, 204) << r.body;
}

std::size_t ServiceFixture::tempFiles() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_.path() / "tmp"))
        ++n;
    return n;
}

std::size_t ServiceFixture::blobFiles() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_.path() / "blobs"))
        ++n;
    return n;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    for (auto& c : out)
        c = static_cast<char>(rng());
    return out;
}

} // namespace velmora::server::test
