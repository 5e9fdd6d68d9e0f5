#pragma once

// Where the message poller gets the file of new messages from.

#include <string>

namespace velmora {

class ServiceClient;

class MessageSource {
public:
    virtual ~MessageSource() = default;
    // True with the path of a file to read. False when there is nothing to
    // read; failure then says why the request failed, and is empty when it
    // simply found no new messages.
    virtual bool FetchMessagesFile(std::string& path, std::string& failure) = 0;
};

// The program's source: GetMessagesFile on the one ServiceClient. The client
// answers false both for "nothing new" and for a failure, and a failure
// appends to its never-cleared last error text; what this call appended is
// the failure's own text.
class ServiceClientMessages : public MessageSource {
public:
    static constexpr const char* kNotSignedIn = "not signed in";

    explicit ServiceClientMessages(ServiceClient& client) : client_(client) {}
    bool FetchMessagesFile(std::string& path, std::string& failure) override;

private:
    ServiceClient& client_;
};

} // namespace velmora
