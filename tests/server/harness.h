#pragma once

// A service on a free loopback port with a temporary data folder, and the
// small client helpers the tests speak to it with.

#include "postgres_cluster.h"
#include "service.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmora::server::test {

struct Reply {
    int status = 0; // 0: no reply at all
    std::string body;
    httplib::Headers headers;
};

// A parsed XML element.
struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
    std::vector<Element> children;

    std::string attr(const std::string& key) const;
    // Attribute value URL-decoded.
    std::string decoded(const std::string& key) const;
    const Element* child(const std::string& childName) const;
    std::vector<const Element*> all(const std::string& childName) const;
    // First element at any depth below with that name and id attribute.
    const Element* find(const std::string& elementName, const std::string& id) const;
};

// Parses a whole document; fails the test and returns an empty element when
// it is not well-formed.
Element ParseXml(const std::string& text);

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class Client {
public:
    explicit Client(int port);
    Reply get(const std::string& path, const std::string& token = "",
              const httplib::Headers& extra = {});
    Reply post(const std::string& path, const httplib::Params& params,
               const std::string& token = "");
    Reply postBody(const std::string& path, const std::string& body, const std::string& type,
                   const std::string& token = "");
    Reply del(const std::string& path, const std::string& token = "");
    // Signs in; empty token on refusal.
    std::string signIn(const std::string& accountId, const std::string& password);

private:
    int port_;
};

struct TestUser {
    std::int64_t id = 0;
    std::string accountId;
    std::string password;
    std::string token;
};

// The service's two storage backends; suites that run on both take one as
// their parameter.
enum class Backend { Sqlite, Postgres };
inline const auto kBothBackends = ::testing::Values(Backend::Sqlite, Backend::Postgres);
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);

// An in-process service per test, on a fresh database.
class ServiceFixture {
public:
    explicit ServiceFixture(Options overrides = {}, Backend backend = Backend::Sqlite);
    ~ServiceFixture();

    Service& service() { return *service_; }
    Store& store() { return service_->store(); }
    int port() const { return port_; }
    Client& client() { return client_; }
    const std::filesystem::path& dataDir() const { return dir_.path(); }

    TestUser addUser(const std::string& accountId, Tier tier = Tier::Free, bool listed = false,
                     const std::string& email = "");
    // Creates a folder through the interface; returns its id.
    std::int64_t folder(const TestUser& user, std::int64_t parent, const std::string& name);
    // Uploads bytes through the interface; returns the new file id.
    std::int64_t upload(const TestUser& user, std::int64_t folder, const std::string& name,
                        const std::string& bytes);
    std::int64_t acl(const TestUser& user, const std::string& name);
    void share(const TestUser& user, std::int64_t folder, std::int64_t acl);
    void addMember(const TestUser& user, std::int64_t acl, const TestUser& member);

    // Files left in the temporary upload folder and blob folder.
    std::size_t tempFiles() const;
    std::size_t blobFiles() const;

private:
    TempDir dir_;
    std::unique_ptr<velmora::test::ScratchDatabase> database_;
    std::unique_ptr<Service> service_;
    int port_ = 0;
    Client client_;
};

std::string RandomBytes(std::size_t size, unsigned seed);

} // namespace velmora::server::test
