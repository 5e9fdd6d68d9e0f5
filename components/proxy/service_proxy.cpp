#include "service_proxy.h"

#include "resumable_transfer.h"

#include "cache_files.h"
#include "component_factory.h"
#include "transfer_progress.h"
#include "window_messages.h"
#include "wire/node_key.h"
#include "wire/percent.h"
#include "wire/xml_names.h"

#include <QCoreApplication>
#include <QXmlStreamReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <map>

namespace velmora {

void RegisterProxyComponent() {
    ComponentFactory::instance().registerClass(
        CLSID_velmoraPrxy, [] { return std::make_shared<proxy::ServiceProxy>(); });
}

namespace proxy {

namespace {

namespace names = wire::xml::attribute;
namespace elements = wire::xml::element;

constexpr std::size_t kWriteBuffer = 1024 * 1024;
// The settings value naming PEM certificates to trust for an "https://" host
// instead of the system's store, as for a self-signed service.
constexpr char kCaFileValue[] = "CaFile";
// Messages files rotate through a few names, so a file handed out is not
// replaced while its reader may still be at it.
constexpr unsigned kMessageFileNames = 4;

std::atomic<unsigned> tempCounter{0};

using Attributes = std::map<std::string, std::string>;

// The attributes of a reply's root element, URL-decoded, and the names of
// its child elements.
struct SmallReply {
    std::string root;
    Attributes attributes;
    std::vector<std::string> children;
};

std::optional<SmallReply> readSmallReply(const std::string& body) {
    QXmlStreamReader xml(QByteArray::fromRawData(body.data(), static_cast<qsizetype>(body.size())));
    SmallReply reply;
    while (!xml.atEnd()) {
        auto token = xml.readNext();
        if (token == QXmlStreamReader::DTD)
            return std::nullopt;
        if (token == QXmlStreamReader::StartElement)
            break;
    }
    if (xml.hasError() || xml.tokenType() != QXmlStreamReader::StartElement)
        return std::nullopt;
    reply.root = xml.name().toString().toStdString();
    for (const auto& a : xml.attributes())
        reply.attributes[a.name().toString().toStdString()] =
            wire::PercentDecode(a.value().toString().toStdString());
    while (xml.readNextStartElement()) {
        reply.children.push_back(xml.name().toString().toStdString());
        xml.skipCurrentElement();
    }
    if (xml.hasError())
        return std::nullopt;
    return reply;
}

std::optional<std::int32_t> toNumber(std::string_view text) {
    std::int32_t value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

[[noreturn]] void unreadableReply() {
    throw RequestFailure(RequestFailure::Reason::BadReply,
                         "The reply of the Velmora service cannot be read");
}

SmallReply requireReply(const std::string& body) {
    auto reply = readSmallReply(body);
    if (!reply)
        unreadableReply();
    return *reply;
}

std::int32_t requireNumber(const SmallReply& reply, const std::string& name) {
    auto it = reply.attributes.find(name);
    if (it == reply.attributes.end())
        unreadableReply();
    auto n = toNumber(it->second);
    if (!n)
        unreadableReply();
    return *n;
}

std::string attribute(const SmallReply& reply, const std::string& name,
                      const std::string& fallback) {
    auto it = reply.attributes.find(name);
    return it == reply.attributes.end() ? fallback : it->second;
}

std::string idPath(const char* prefix, std::int32_t id, const char* suffix = "") {
    return std::string(prefix) + std::to_string(id) + suffix;
}

std::string systemError(int err) {
    return std::strerror(err);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int close() {
        int rc = 0;
        if (fd_ >= 0)
            rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void notify(const std::shared_ptr<std::atomic<std::uint64_t>>& window, int message,
            std::string error, std::string context) {
    PostTextMessage(window->load(), message, std::move(error), std::move(context));
}

// Progress goes to the window that gets the transfer's done message, with the
// same context text.
TransferProgress progressTo(const std::shared_ptr<std::atomic<std::uint64_t>>& window,
                            const std::string& context, std::uint64_t total, bool reporting) {
    if (!reporting)
        return TransferProgress();
    return TransferProgress(
        [window, context](std::uint64_t done, std::uint64_t all) {
            PostTextMessage(window->load(), UM_TRANSFER_PROGRESS, ProgressText(done, all), context);
        },
        total);
}

// A download lands in a hidden temporary file beside the target and takes
// the target's name only once complete, so the target never holds part of a
// file.
void runDownload(const Endpoint& endpoint, const Timeouts& timeouts, const wire::NodeKeyFields& key,
                 const std::string& localPath, const std::string& context,
                 const std::shared_ptr<std::atomic<std::uint64_t>>& window,
                 TransferProgress& progress, CancelFlag& cancel) {
    std::filesystem::path target(localPath);
    // The temporary name must fit where the target's does: a target name of
    // the longest length the file system takes leaves no room for the suffix.
    const std::string suffix = ".part-" + std::to_string(QCoreApplication::applicationPid()) + "-" +
                               std::to_string(tempCounter.fetch_add(1) + 1);
    std::filesystem::path temp =
        target.parent_path() /
        ("." + target.filename().string().substr(0, kMaxLocalNameBytes - 1 - suffix.size()) +
         suffix);
    std::string error;
    {
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() < 0) {
            error = "Cannot write " + localPath + ": " + systemError(errno);
        } else {
            std::vector<char> buffer;
            buffer.reserve(kWriteBuffer);
            std::uint64_t received = 0;
            bool writeFailed = false;
            int writeErrno = 0;
            auto flush = [&] {
                if (!buffer.empty() && !writeAll(fd.get(), buffer.data(), buffer.size())) {
                    writeFailed = true;
                    writeErrno = errno;
                }
                buffer.clear();
                return !writeFailed;
            };
            try {
                GetResumable(
                    endpoint,
                    "/files/" + std::to_string(key.owner) + "/" + std::to_string(key.folder) + "/" +
                        std::to_string(key.file),
                    [&](const char* data, std::size_t size) {
                        if (buffer.size() + size > kWriteBuffer && !flush())
                            return false;
                        buffer.insert(buffer.end(), data, data + size);
                        progress.update(received += size);
                        return true;
                    },
                    cancel, timeouts);
                if (!flush() || fd.close() != 0) {
                    writeFailed = true;
                    writeErrno = writeErrno ? writeErrno : errno;
                }
            } catch (const RequestFailure& e) {
                error = e.text();
            } catch (const std::exception& e) {
                error = e.what();
            }
            if (writeFailed)
                error = "Cannot write " + localPath + ": " + systemError(writeErrno);
            fd.close();
            if (error.empty() && !cancel.cancelled()) {
                std::error_code ec;
                std::filesystem::rename(temp, target, ec);
                if (ec)
                    error = "Cannot write " + localPath + ": " + ec.message();
            }
        }
    }
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    if (cancel.cancelled())
        return;
    if (error.empty())
        progress.finish();
    notify(window, UM_DOWNLOAD_DONE, error.empty() ? std::string() : "Download failed: " + error,
           context);
}

void runUpload(const Endpoint& endpoint, const Timeouts& timeouts, const wire::UploadKey& key,
               const std::string& localPath, const std::string& context,
               const std::shared_ptr<std::atomic<std::uint64_t>>& window,
               const std::weak_ptr<AccountObject>& account, TransferProgress& progress,
               CancelFlag& cancel) {
    std::string error;
    std::int32_t fileId = 0;
    Fd fd(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        error = "Cannot open " + localPath + ": " + systemError(errno);
    } else if (!S_ISREG(info.st_mode)) {
        error = "Cannot open " + localPath + ": not a regular file";
    } else {
        int readErrno = 0;
        std::uint64_t sent = 0;
        progress.setTotal(static_cast<std::uint64_t>(info.st_size));
        try {
            Reply reply = PostRetried(
                endpoint,
                "/upload?folder=" + std::to_string(key.folderId) +
                    "&name=" + wire::PercentEncode(key.name),
                static_cast<std::uint64_t>(info.st_size),
                [&](char* buffer, std::size_t size) -> std::int64_t {
                    for (;;) {
                        ssize_t n = ::read(fd.get(), buffer, size);
                        if (n < 0 && errno == EINTR)
                            continue;
                        if (n < 0)
                            readErrno = errno;
                        if (n > 0)
                            progress.update(sent += static_cast<std::uint64_t>(n));
                        return n;
                    }
                },
                [&] {
                    // A retry sends the file from its start; the reports stay
                    // where they were until it passes them.
                    sent = 0;
                    return ::lseek(fd.get(), 0, SEEK_SET) == 0;
                },
                cancel, timeouts);
            auto file = requireReply(reply.body);
            fileId = requireNumber(file, names::kId);
            std::int32_t folderId =
                toNumber(attribute(file, names::kFolder, "")).value_or(key.folderId);
            if (auto model = account.lock())
                model->noteUpload(fileId, folderId, static_cast<std::uint64_t>(info.st_size));
        } catch (const RequestFailure& e) {
            if (e.reason() == RequestFailure::Reason::LocalSourceFailed)
                error =
                    "Cannot read " + localPath + ": " +
                    (readErrno ? systemError(readErrno) : "the file got shorter while it was sent");
            else
                error = e.text();
        } catch (const std::bad_alloc&) {
            error = "Out of memory";
        }
    }
    if (cancel.cancelled())
        return;
    if (error.empty()) {
        progress.finish();
        notify(window, UM_UPLOAD_DONE, std::string(), context + "^" + std::to_string(fileId));
    } else {
        notify(window, UM_UPLOAD_DONE, "Upload failed: " + error, context);
    }
}

bool hasChild(const SmallReply& reply, const char* name) {
    for (const auto& child : reply.children)
        if (child == name)
            return true;
    return false;
}

} // namespace

ServiceProxy::ServiceProxy(std::size_t maxTransfers)
    : errors_(std::make_shared<ErrorStore>()),
      notifyWindow_(std::make_shared<std::atomic<std::uint64_t>>(0)),
      pool_(std::make_unique<TransferPool>(maxTransfers)) {
    transferTimeouts_.read = std::chrono::seconds(30);
    transferTimeouts_.write = std::chrono::seconds(30);
}

ServiceProxy::~ServiceProxy() {
    pool_.reset();
}

void ServiceProxy::setTimeouts(const Timeouts& requests, const Timeouts& transfers) {
    std::lock_guard lock(mutex_);
    requestTimeouts_ = requests;
    transferTimeouts_ = transfers;
}

Timeouts ServiceProxy::requestTimeouts() const {
    std::lock_guard lock(mutex_);
    return requestTimeouts_;
}

template <class Fn> auto ServiceProxy::guarded(Fn&& fn) -> decltype(fn()) {
    try {
        return fn();
    } catch (const ComError&) {
        throw;
    } catch (const RequestFailure& e) {
        errors_->fail(e.hr(), IServiceProxy::iid, e.text());
    } catch (const ModelError& e) {
        errors_->fail(E_FAIL, IServiceProxy::iid, e.what());
    } catch (const std::bad_alloc&) {
        errors_->fail(E_OUTOFMEMORY, IServiceProxy::iid, "Out of memory");
    } catch (const std::exception& e) {
        errors_->fail(E_FAIL, IServiceProxy::iid, e.what());
    }
}

Endpoint ServiceProxy::requireSession() {
    std::lock_guard lock(mutex_);
    if (!session_.signedIn)
        errors_->fail(E_ACCESSDENIED, IServiceProxy::iid, "Not signed in to the Velmora service");
    return session_.endpoint;
}

std::shared_ptr<AccountObject> ServiceProxy::account() const {
    std::lock_guard lock(mutex_);
    return account_;
}

void ServiceProxy::failSignIn(std::string text) {
    errors_->set(text);
    std::lock_guard lock(mutex_);
    loginFailure_ = std::move(text);
}

// A refused or failed sign-in is no COM error: the caller reads the signed-in
// flag and then the failure text.
void ServiceProxy::Login(const std::string& accountId, const std::string& password) {
    Logout();
    std::string host;
    int port = 0;
    std::string caFile;
    {
        auto settings = CreateComponent<ISettingsStore>(CLSID_SettingsStore);
        if (!settings) {
            failSignIn("The settings component is not available");
            return;
        }
        try {
            host = settings->Host();
            port = settings->Port();
            caFile = settings->GetValue(kCaFileValue);
        } catch (const ComError&) {
            failSignIn("The service's host and port cannot be read from the settings");
            return;
        }
    }
    Endpoint endpoint{host, port, {}, caFile};
    Timeouts timeouts = requestTimeouts();
    try {
        Reply reply = Post(endpoint, "/session", {{"accountid", accountId}, {"password", password}},
                           timeouts);
        auto session = requireReply(reply.body);
        endpoint.token = attribute(session, names::kToken, "");
        std::int32_t userId = requireNumber(session, names::kUserId);
        if (endpoint.token.empty())
            unreadableReply();
        std::shared_ptr<AccountObject> model;
        try {
            Timeouts modelTimeouts = timeouts;
            modelTimeouts.read = std::max(timeouts.read, std::chrono::milliseconds(30000));
            Reply document = Get(endpoint, "/account", modelTimeouts);
            model = AccountObject::Parse(
                QByteArray::fromRawData(document.body.data(),
                                        static_cast<qsizetype>(document.body.size())),
                errors_);
        } catch (...) {
            // The session is of no use without its model.
            try {
                Delete(endpoint, "/session", timeouts);
            } catch (const RequestFailure&) {
            }
            throw;
        }
        std::lock_guard lock(mutex_);
        session_ = Session{endpoint, userId, true};
        account_ = std::move(model);
        loginFailure_.clear();
    } catch (const RequestFailure& e) {
        failSignIn(e.text());
    } catch (const ModelError& e) {
        failSignIn(e.what());
    } catch (const std::bad_alloc&) {
        failSignIn("Out of memory while loading the account");
    } catch (const std::exception& e) {
        failSignIn(e.what());
    }
}

std::string ServiceProxy::LastErrorText() {
    return errors_->get();
}

ComPtr ServiceProxy::Account() {
    return account();
}

void ServiceProxy::Logout() {
    Session old;
    {
        std::lock_guard lock(mutex_);
        old = session_;
        session_ = Session{};
        account_.reset();
    }
    if (!old.signedIn)
        return;
    // The local sign-out stands even when the service cannot be told.
    try {
        Delete(old.endpoint, "/session", requestTimeouts());
    } catch (const RequestFailure&) {
    }
}

void ServiceProxy::CreateFolder(std::int32_t parentFolderId, const std::string& name) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Reply reply =
            Post(endpoint, "/folders", {{"parent", std::to_string(parentFolderId)}, {"name", name}},
                 requestTimeouts());
        auto folder = requireReply(reply.body);
        std::int32_t id = requireNumber(folder, names::kId);
        std::int32_t parent =
            toNumber(attribute(folder, names::kParent, "")).value_or(parentFolderId);
        std::int32_t acl = toNumber(attribute(folder, names::kAcl, "0")).value_or(0);
        if (auto model = account())
            model->addFolder(parent, id, attribute(folder, names::kName, name), acl);
    });
}

void ServiceProxy::DeleteFolder(std::int32_t folderId) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Delete(endpoint, idPath("/folders/", folderId), requestTimeouts());
        if (auto model = account())
            model->removeFolder(folderId);
    });
}

void ServiceProxy::RenameFolder(std::int32_t folderId, const std::string& name) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Reply reply = Post(endpoint, idPath("/folders/", folderId, "/rename"), {{"name", name}},
                           requestTimeouts());
        auto folder = readSmallReply(reply.body);
        if (auto model = account())
            model->renameFolder(folderId, folder ? attribute(*folder, names::kName, name) : name);
    });
}

void ServiceProxy::SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Reply reply = Post(endpoint, idPath("/folders/", folderId, "/acl"),
                           {{"acl", std::to_string(accessListId)}}, requestTimeouts());
        auto folder = readSmallReply(reply.body);
        std::int32_t acl = accessListId > 0 ? accessListId : 0;
        if (folder)
            acl = toNumber(attribute(*folder, names::kAcl, "")).value_or(acl);
        if (auto model = account())
            model->setFolderAccessList(folderId, acl);
    });
}

void ServiceProxy::DeleteFile(std::int32_t folderId, std::int32_t fileId) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Delete(endpoint,
               "/folders/" + std::to_string(folderId) + "/files/" + std::to_string(fileId),
               requestTimeouts());
        if (auto model = account())
            model->removeFile(folderId, fileId);
    });
}

void ServiceProxy::RenameFile(std::int32_t folderId, std::int32_t fileId, const std::string& name) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Reply reply = Post(endpoint,
                           "/folders/" + std::to_string(folderId) + "/files/" +
                               std::to_string(fileId) + "/rename",
                           {{"name", name}}, requestTimeouts());
        auto file = readSmallReply(reply.body);
        if (auto model = account())
            model->renameFile(folderId, fileId, file ? attribute(*file, names::kName, name) : name);
    });
}

void ServiceProxy::CreateAccessList(const std::string& name) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Reply reply = Post(endpoint, "/acls", {{"name", name}}, requestTimeouts());
        auto list = requireReply(reply.body);
        std::int32_t id = requireNumber(list, names::kId);
        if (auto model = account())
            model->addList(id, attribute(list, names::kName, name));
    });
}

void ServiceProxy::RenameAccessList(std::int32_t accessListId, const std::string& name) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Reply reply = Post(endpoint, idPath("/acls/", accessListId, "/rename"), {{"name", name}},
                           requestTimeouts());
        auto list = readSmallReply(reply.body);
        if (auto model = account())
            model->renameList(accessListId, list ? attribute(*list, names::kName, name) : name);
    });
}

void ServiceProxy::DeleteAccessList(std::int32_t accessListId) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Delete(endpoint, idPath("/acls/", accessListId), requestTimeouts());
        if (auto model = account())
            model->removeList(accessListId);
    });
}

void ServiceProxy::AddUserToAccessList(std::int32_t accessListId, std::int32_t userId) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Post(endpoint, idPath("/acls/", accessListId, "/members"),
             {{"user", std::to_string(userId)}}, requestTimeouts());
    });
}

void ServiceProxy::RemoveUserFromAccessList(std::int32_t accessListId, std::int32_t userId) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Delete(endpoint,
               "/acls/" + std::to_string(accessListId) + "/members/" + std::to_string(userId),
               requestTimeouts());
    });
}

std::string ServiceProxy::LoginFailureText() {
    std::lock_guard lock(mutex_);
    return loginFailure_;
}

VariantBool ServiceProxy::SignedIn() {
    std::lock_guard lock(mutex_);
    return ToVariantBool(session_.signedIn);
}

// The service knows the user from the session, and a caller's own user id
// in keys is checked against the session's; there is nothing to keep.
void ServiceProxy::SetCurrentUserId(std::int32_t) {}

std::string ServiceProxy::PublicDirectoryFile() {
    Endpoint endpoint = requireSession();
    return guarded([&] {
        Reply reply = Get(endpoint, "/directory", requestTimeouts());
        std::string path = files_.write(QStringLiteral("directory.xml"), reply.body);
        // The add-user dialog opens with the directory it finds here.
        LocalFiles::writeShared(QStringLiteral("vmdir.vdt"), reply.body);
        return path;
    });
}

std::string ServiceProxy::FindUserById(const std::string& accountId) {
    Endpoint endpoint = requireSession();
    return guarded([&] {
        return Get(endpoint, "/users?accountid=" + wire::PercentEncode(accountId),
                   requestTimeouts())
            .body;
    });
}

std::string ServiceProxy::FindUserByEmail(const std::string& email) {
    Endpoint endpoint = requireSession();
    return guarded([&] {
        return Get(endpoint, "/users?email=" + wire::PercentEncode(email), requestTimeouts()).body;
    });
}

std::string ServiceProxy::AccessLists() {
    Endpoint endpoint = requireSession();
    return guarded([&] { return Get(endpoint, "/acls", requestTimeouts()).body; });
}

void ServiceProxy::SendEmail(const std::string& sender, const std::string& recipient,
                             const std::string& body) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Post(endpoint, "/mail", {{"sender", sender}, {"recipient", recipient}, {"body", body}},
             requestTimeouts());
    });
}

// The service decides which names are media files and refuses the rest with
// its own reason, which reaches the program in the upload's done message.
void ServiceProxy::SetMediaExtensions(const std::string&) {}

void ServiceProxy::DownloadFile(const std::string& nodeKey, const std::string& localPath,
                                const std::string& context) {
    Endpoint endpoint = requireSession();
    auto key = wire::ParseNodeKey(nodeKey);
    if (!key)
        errors_->fail(E_INVALIDARG, IServiceProxy::iid, "Not a file's node key: " + nodeKey);
    if (localPath.empty() || localPath.back() == '/')
        errors_->fail(E_INVALIDARG, IServiceProxy::iid,
                      "Not a file path to download to: " + localPath);
    Timeouts timeouts;
    {
        std::lock_guard lock(mutex_);
        timeouts = transferTimeouts_;
    }
    const auto model = account();
    auto progress = progressTo(notifyWindow_, context,
                               model ? model->fileSize(key->owner, key->folder, key->file) : 0,
                               progressReports_);
    pool_->submit([endpoint, timeouts, key = *key, localPath, context, window = notifyWindow_,
                   progress](CancelFlag& cancel) mutable {
        runDownload(endpoint, timeouts, key, localPath, context, window, progress, cancel);
    });
}

void ServiceProxy::SetNotifyWindow(std::uint64_t window) {
    notifyWindow_->store(window);
}

void ServiceProxy::UploadFile(const std::string& uploadKey, const std::string& localPath,
                              const std::string& context) {
    Endpoint endpoint = requireSession();
    auto key = wire::ParseUploadKey(uploadKey);
    if (!key)
        errors_->fail(E_INVALIDARG, IServiceProxy::iid, "Not an upload key: " + uploadKey);
    Timeouts timeouts;
    std::weak_ptr<AccountObject> model;
    std::int32_t userId = 0;
    {
        std::lock_guard lock(mutex_);
        timeouts = transferTimeouts_;
        model = account_;
        userId = session_.userId;
    }
    // Uploads go into the signed-in user's own library only.
    if (key->userId != userId)
        errors_->fail(E_INVALIDARG, IServiceProxy::iid,
                      "The upload key names another user's library: " + uploadKey);
    pool_->submit([endpoint, timeouts, key = *key, localPath, context, window = notifyWindow_,
                   model, progress = progressTo(notifyWindow_, context, 0, progressReports_)](
                      CancelFlag& cancel) mutable {
        runUpload(endpoint, timeouts, key, localPath, context, window, model, progress, cancel);
    });
}

std::string ServiceProxy::AppMessageFile() {
    Endpoint endpoint = requireSession();
    return guarded([&] {
        Reply reply = Get(endpoint, "/appmessages", requestTimeouts());
        auto parsed = readSmallReply(reply.body);
        if (parsed && !hasChild(*parsed, elements::kAppMessage)) {
            files_.remove(QStringLiteral("appmessages.xml"));
            return std::string();
        }
        return files_.write(QStringLiteral("appmessages.xml"), reply.body);
    });
}

void ServiceProxy::SendUserMessage(std::int32_t userId, std::int32_t accessListId,
                                   const std::string& text) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Post(endpoint, "/messages",
             {{"user", std::to_string(userId)},
              {"acl", std::to_string(accessListId)},
              {"text", text}},
             requestTimeouts());
    });
}

// Called from the message poller's thread: it shares nothing with the other
// calls but the session, read under the lock and copied.
std::string ServiceProxy::MessagesFile() {
    Endpoint endpoint = requireSession();
    return guarded([&] {
        Reply reply = Get(endpoint, "/messages", requestTimeouts());
        auto parsed = readSmallReply(reply.body);
        // The service hands out each message once: a reply that cannot be
        // read is still passed on rather than lost.
        if (parsed && !hasChild(*parsed, elements::kMessage))
            return std::string();
        unsigned turn = messageFileTurn_.fetch_add(1) % kMessageFileNames;
        return files_.write(QStringLiteral("messages-%1.xml").arg(turn), reply.body);
    });
}

void ServiceProxy::EmailLink(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId,
                             std::int32_t senderId, const std::string& address,
                             const std::string& text1, const std::string& text2) {
    Endpoint endpoint = requireSession();
    guarded([&] {
        Post(endpoint, "/mail/link",
             {{"owner", std::to_string(ownerId)},
              {"folder", std::to_string(folderId)},
              {"file", std::to_string(fileId)},
              {"sender", std::to_string(senderId)},
              {"address", address},
              {"text1", text1},
              {"text2", text2}},
             requestTimeouts());
    });
}

} // namespace proxy
} // namespace velmora
