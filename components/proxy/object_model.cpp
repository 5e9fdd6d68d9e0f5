#include "object_model.h"

#include "text_utils.h"
#include "wire/percent.h"
#include "wire/xml_names.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace velmora::proxy {

namespace {

namespace element = wire::xml::element;
namespace attribute = wire::xml::attribute;

using Lock = std::lock_guard<std::mutex>;

// Attribute values come percent-encoded, so nearly always pure ASCII.
std::string decodeAttribute(QStringView value) {
    const QByteArray utf8 = value.toUtf8();
    return wire::PercentDecode(
        std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

std::int32_t number(const QXmlStreamAttributes& attributes, QLatin1String name,
                    std::int32_t fallback = 0) {
    QStringView value = attributes.value(name);
    if (value.isEmpty())
        return fallback;
    bool ok = false;
    int n = value.toInt(&ok);
    return ok ? n : fallback;
}

std::string text(const QXmlStreamAttributes& attributes, QLatin1String name) {
    return decodeAttribute(attributes.value(name));
}

UserData readUser(const QXmlStreamAttributes& a) {
    UserData user;
    user.id = number(a, QLatin1String(attribute::kId));
    user.accountId = text(a, QLatin1String(attribute::kAccountId));
    user.firstName = text(a, QLatin1String(attribute::kFirstName));
    user.lastName = text(a, QLatin1String(attribute::kLastName));
    user.email = text(a, QLatin1String(attribute::kEmail));
    user.plus = number(a, QLatin1String(attribute::kIsPlus)) != 0;
    user.gold = number(a, QLatin1String(attribute::kGold)) != 0;
    user.platinum = number(a, QLatin1String(attribute::kPlatinum)) != 0;
    user.expired = number(a, QLatin1String(attribute::kExpired)) != 0;
    user.listedPublicly = number(a, QLatin1String(attribute::kPublic)) != 0;
    user.listed = number(a, QLatin1String(attribute::kListed), 1);
    return user;
}

// Reads the document with a stream reader: no DTD is accepted, so no entity
// of the sender's can expand.
class Reader {
public:
    explicit Reader(const QByteArray& xml) : xml_(xml) { xml_.setNamespaceProcessing(false); }

    // Moves to the root element and returns its name.
    QStringView root() {
        while (!xml_.atEnd()) {
            auto token = xml_.readNext();
            if (token == QXmlStreamReader::DTD)
                fail("a document type declaration is not accepted");
            if (token == QXmlStreamReader::StartElement)
                return xml_.name();
        }
        check();
        fail("the document is empty");
    }

    QXmlStreamReader& xml() { return xml_; }

    // Calls fn for each child element of the current one, with the reader on
    // it; fn must consume the element (read it whole or skip it).
    template <class Fn> void children(Fn&& fn) {
        while (xml_.readNextStartElement())
            fn(xml_.name());
        check();
    }

    void skip() {
        xml_.skipCurrentElement();
        check();
    }

    void check() {
        if (xml_.hasError())
            fail(xml_.errorString().toStdString() + " at line " +
                 std::to_string(xml_.lineNumber()));
    }

    [[noreturn]] void fail(const std::string& why) {
        throw ModelError("The account data from the service cannot be read: " + why);
    }

private:
    QXmlStreamReader xml_;
};

// Folders read recursively, here and wherever the player walks them; the
// service allows far less, so only a damaged or foreign document goes deeper.
constexpr int kMaxFolderDepth = 1000;

std::shared_ptr<FolderObject> readFolder(Reader& reader, const std::shared_ptr<ModelShared>& model,
                                         int depth = 0) {
    if (depth > kMaxFolderDepth)
        reader.fail("folders are nested more than " + std::to_string(kMaxFolderDepth) + " deep");
    const auto attributes = reader.xml().attributes();
    auto folder =
        std::make_shared<FolderObject>(model, number(attributes, QLatin1String(attribute::kId)),
                                       text(attributes, QLatin1String(attribute::kName)),
                                       number(attributes, QLatin1String(attribute::kAcl)),
                                       number(attributes, QLatin1String(attribute::kVisible), 1));
    reader.children([&](QStringView name) {
        if (name == QLatin1String(element::kFolder)) {
            folder->folders().push_back(readFolder(reader, model, depth + 1));
        } else if (name == QLatin1String(element::kFile)) {
            const auto a = reader.xml().attributes();
            folder->files().push_back(std::make_shared<MediaFileObject>(
                model, number(a, QLatin1String(attribute::kId)),
                text(a, QLatin1String(attribute::kName)),
                a.value(QLatin1String(attribute::kSize)).toULongLong()));
            reader.skip();
        } else {
            reader.skip();
        }
    });
    return folder;
}

std::shared_ptr<UserProfileObject>
readUserElement(Reader& reader, const std::shared_ptr<ModelShared>& model, bool withFolders) {
    auto user = std::make_shared<UserProfileObject>(model, readUser(reader.xml().attributes()));
    reader.children([&](QStringView name) {
        if (withFolders && name == QLatin1String(element::kFolder))
            user->sharedFolders().push_back(readFolder(reader, model));
        else
            reader.skip();
    });
    return user;
}

std::vector<std::shared_ptr<AccessListObject>>
readLists(Reader& reader, const std::shared_ptr<ModelShared>& model) {
    std::vector<std::shared_ptr<AccessListObject>> lists;
    reader.children([&](QStringView name) {
        if (name != QLatin1String(element::kAcl)) {
            reader.skip();
            return;
        }
        const auto a = reader.xml().attributes();
        auto list =
            std::make_shared<AccessListObject>(model, number(a, QLatin1String(attribute::kId)),
                                               text(a, QLatin1String(attribute::kName)));
        reader.children([&](QStringView child) {
            if (child == QLatin1String(element::kUser))
                list->members().push_back(readUserElement(reader, model, false));
            else
                reader.skip();
        });
        lists.push_back(std::move(list));
    });
    return lists;
}

[[noreturn]] void indexOutOfRange(const std::shared_ptr<ModelShared>& model, const Guid& iid,
                                  const char* what, std::int32_t index, std::size_t count) {
    model->errors->fail(E_INVALIDARG, iid,
                        std::string(what) + " index " + std::to_string(index) +
                            " is out of range (there are " + std::to_string(count) + ")");
}

template <class T>
const std::shared_ptr<T>& at(const std::vector<std::shared_ptr<T>>& items, std::int32_t index,
                             const std::shared_ptr<ModelShared>& model, const Guid& iid,
                             const char* what) {
    if (index < 0 || static_cast<std::size_t>(index) >= items.size())
        indexOutOfRange(model, iid, what, index, items.size());
    return items[static_cast<std::size_t>(index)];
}

std::int32_t count(std::size_t n) {
    return static_cast<std::int32_t>(std::min<std::size_t>(n, INT32_MAX));
}

} // namespace

// ---- files

std::int32_t MediaFileObject::FileId() {
    Lock lock(model_->mutex);
    return id_;
}

std::string MediaFileObject::Name() {
    Lock lock(model_->mutex);
    return name_;
}

// ---- folders

std::shared_ptr<FolderObject> FolderObject::find(std::int32_t folderId) {
    if (id_ == folderId)
        return shared_from_this();
    for (auto& folder : folders_)
        if (auto found = folder->find(folderId))
            return found;
    return nullptr;
}

bool FolderObject::remove(std::int32_t folderId) {
    auto it = std::find_if(folders_.begin(), folders_.end(),
                           [folderId](const auto& f) { return f->id_ == folderId; });
    if (it != folders_.end()) {
        folders_.erase(it);
        return true;
    }
    for (auto& folder : folders_)
        if (folder->remove(folderId))
            return true;
    return false;
}

void FolderObject::addOrRenameFile(std::int32_t fileId, std::string name) {
    for (auto& file : files_) {
        if (file->id() == fileId) {
            file->setName(std::move(name));
            return;
        }
    }
    files_.push_back(std::make_shared<MediaFileObject>(model_, fileId, std::move(name)));
}

std::int32_t FolderObject::FileCount() {
    Lock lock(model_->mutex);
    return count(files_.size());
}

std::int32_t FolderObject::SubfolderCount() {
    Lock lock(model_->mutex);
    return count(folders_.size());
}

ComPtr FolderObject::Subfolder(std::int32_t index) {
    Lock lock(model_->mutex);
    return at(folders_, index, model_, IFolder::iid, "Subfolder");
}

ComPtr FolderObject::File(std::int32_t index) {
    Lock lock(model_->mutex);
    return at(files_, index, model_, IFolder::iid, "File");
}

std::int32_t FolderObject::FolderId() {
    Lock lock(model_->mutex);
    return id_;
}

std::int32_t FolderObject::AccessListId() {
    Lock lock(model_->mutex);
    return acl_;
}

std::string FolderObject::Name() {
    Lock lock(model_->mutex);
    return name_;
}

ComPtr FolderObject::FindFolder(std::int32_t folderId) {
    Lock lock(model_->mutex);
    return find(folderId);
}

void FolderObject::AddFile(std::int32_t fileId, const std::string& name) {
    Lock lock(model_->mutex);
    // The library tree records every finished upload on the root folder; the
    // file belongs in the folder the service stored it in.
    FolderObject* target = this;
    auto uploaded = model_->uploadedInto.find(fileId);
    if (uploaded != model_->uploadedInto.end())
        if (auto folder = find(uploaded->second))
            target = folder.get();
    target->addOrRenameFile(fileId, name);
}

VariantBool FolderObject::NameInUse(const std::string& name) {
    Lock lock(model_->mutex);
    bool used = std::any_of(files_.begin(), files_.end(),
                            [&](const auto& f) { return f->name() == name; }) ||
                std::any_of(folders_.begin(), folders_.end(),
                            [&](const auto& f) { return f->name_ == name; });
    return ToVariantBool(used);
}

std::int32_t FolderObject::Visible() {
    Lock lock(model_->mutex);
    return visible_;
}

void FolderObject::SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) {
    Lock lock(model_->mutex);
    auto folder = find(folderId);
    if (!folder)
        model_->errors->fail(E_INVALIDARG, IFolder::iid,
                             "Folder " + std::to_string(folderId) + " is not in the library");
    folder->acl_ = accessListId;
}

void FolderObject::RemoveFolder(std::int32_t folderId) {
    Lock lock(model_->mutex);
    // Deleting through the proxy has already dropped it; that is no failure.
    remove(folderId);
}

// ---- users

std::int32_t UserProfileObject::UserId() {
    Lock lock(model_->mutex);
    return data_.id;
}

std::string UserProfileObject::AccountId() {
    Lock lock(model_->mutex);
    return data_.accountId;
}

std::string UserProfileObject::FirstName() {
    Lock lock(model_->mutex);
    return data_.firstName;
}

std::string UserProfileObject::LastName() {
    Lock lock(model_->mutex);
    return data_.lastName;
}

std::int32_t UserProfileObject::SharedFolderCount() {
    Lock lock(model_->mutex);
    return count(shared_.size());
}

ComPtr UserProfileObject::SharedFolder(std::int32_t index) {
    Lock lock(model_->mutex);
    return at(shared_, index, model_, IUserProfile::iid, "Shared folder");
}

std::int32_t UserProfileObject::Listed() {
    Lock lock(model_->mutex);
    return data_.listed;
}

VariantBool UserProfileObject::IsPlus() {
    Lock lock(model_->mutex);
    return ToVariantBool(data_.plus);
}

std::string UserProfileObject::Email() {
    Lock lock(model_->mutex);
    return data_.email;
}

std::string UserProfileObject::RecordXml() {
    Lock lock(model_->mutex);
    const UserData& u = data_;
    std::string out = std::string("<") + element::kUser;
    auto add = [&out](const char* name, const std::string& value) {
        out += std::string(" ") + name + "=\"" + value + "\"";
    };
    auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    add(attribute::kId, std::to_string(u.id));
    add(attribute::kAccountId, wire::PercentEncode(u.accountId));
    add(attribute::kFirstName, wire::PercentEncode(u.firstName));
    add(attribute::kLastName, wire::PercentEncode(u.lastName));
    add(attribute::kEmail, wire::PercentEncode(u.email));
    add(attribute::kIsPlus, flag(u.plus));
    add(attribute::kGold, flag(u.gold));
    add(attribute::kPlatinum, flag(u.platinum));
    add(attribute::kExpired, flag(u.expired));
    add(attribute::kPublic, flag(u.listedPublicly));
    return out + "/>";
}

VariantBool UserProfileObject::IsHigherTier1() {
    Lock lock(model_->mutex);
    return ToVariantBool(data_.gold);
}

VariantBool UserProfileObject::IsHigherTier2() {
    Lock lock(model_->mutex);
    return ToVariantBool(data_.platinum);
}

// ---- access lists

std::int32_t AccessListObject::Id() {
    Lock lock(model_->mutex);
    return id_;
}

std::string AccessListObject::Name() {
    Lock lock(model_->mutex);
    return name_;
}

std::int32_t AccessListObject::MemberCount() {
    Lock lock(model_->mutex);
    return count(members_.size());
}

ComPtr AccessListObject::Member(std::int32_t index) {
    Lock lock(model_->mutex);
    return at(members_, index, model_, IAccessList::iid, "Member");
}

VariantBool AccessListObject::IsMember(std::int32_t userId) {
    Lock lock(model_->mutex);
    return ToVariantBool(std::any_of(members_.begin(), members_.end(),
                                     [&](const auto& m) { return m->data().id == userId; }));
}

// ---- account

std::int32_t AccountObject::SharingUserCount() {
    Lock lock(model_->mutex);
    return count(sharing_.size());
}

std::int32_t AccountObject::AccessListCount() {
    Lock lock(model_->mutex);
    return count(lists_.size());
}

ComPtr AccountObject::SharingUser(std::int32_t index) {
    Lock lock(model_->mutex);
    return at(sharing_, index, model_, IAccount::iid, "Sharing user");
}

ComPtr AccountObject::AccessList(std::int32_t index) {
    Lock lock(model_->mutex);
    return at(lists_, index, model_, IAccount::iid, "Access list");
}

ComPtr AccountObject::Profile() {
    Lock lock(model_->mutex);
    return profile_;
}

ComPtr AccountObject::LibraryRoot() {
    Lock lock(model_->mutex);
    return root_;
}

ComPtr AccountObject::AccessListById(std::int32_t accessListId) {
    Lock lock(model_->mutex);
    for (const auto& list : lists_)
        if (list->id() == accessListId)
            return list;
    return nullptr;
}

VariantBool AccountObject::AccessListNameExists(const std::string& name) {
    Lock lock(model_->mutex);
    return ToVariantBool(std::any_of(lists_.begin(), lists_.end(),
                                     [&](const auto& l) { return l->name() == name; }));
}

void AccountObject::SetAccessLists(const std::string& xml) {
    std::vector<std::shared_ptr<AccessListObject>> lists;
    try {
        lists =
            ParseAccessLists(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())), model_);
    } catch (const ModelError& e) {
        // The lists held so far stay as they are.
        model_->errors->fail(E_INVALIDARG, IAccount::iid, e.what());
    }
    Lock lock(model_->mutex);
    lists_ = std::move(lists);
}

std::int32_t AccountObject::NewFolderId() {
    Lock lock(model_->mutex);
    return newFolderId_;
}

ComPtr AccountObject::UserById(std::int32_t userId) {
    Lock lock(model_->mutex);
    if (profile_ && profile_->data().id == userId)
        return profile_;
    for (const auto& user : sharing_)
        if (user->data().id == userId)
            return user;
    for (const auto& list : lists_)
        for (const auto& member : list->members())
            if (member->data().id == userId)
                return member;
    return nullptr;
}

void AccountObject::addFolder(std::int32_t parentId, std::int32_t id, const std::string& name,
                              std::int32_t accessListId) {
    Lock lock(model_->mutex);
    newFolderId_ = id;
    if (!root_)
        return;
    auto parent = root_->find(parentId);
    if (!parent || parent->find(id))
        return;
    parent->folders().push_back(std::make_shared<FolderObject>(model_, id, name, accessListId, 1));
}

void AccountObject::renameFolder(std::int32_t id, const std::string& name) {
    Lock lock(model_->mutex);
    if (auto folder = root_ ? root_->find(id) : nullptr)
        folder->setName(name);
}

void AccountObject::setFolderAccessList(std::int32_t id, std::int32_t accessListId) {
    Lock lock(model_->mutex);
    if (auto folder = root_ ? root_->find(id) : nullptr)
        folder->setAccessListId(accessListId);
}

void AccountObject::removeFolder(std::int32_t id) {
    Lock lock(model_->mutex);
    if (root_)
        root_->remove(id);
}

void AccountObject::renameFile(std::int32_t folderId, std::int32_t fileId,
                               const std::string& name) {
    Lock lock(model_->mutex);
    auto folder = root_ ? root_->find(folderId) : nullptr;
    if (!folder)
        return;
    for (auto& file : folder->files())
        if (file->id() == fileId)
            file->setName(name);
}

void AccountObject::removeFile(std::int32_t folderId, std::int32_t fileId) {
    Lock lock(model_->mutex);
    auto folder = root_ ? root_->find(folderId) : nullptr;
    if (!folder)
        return;
    auto& files = folder->files();
    files.erase(std::remove_if(files.begin(), files.end(),
                               [fileId](const auto& f) { return f->id() == fileId; }),
                files.end());
}

void AccountObject::noteUpload(std::int32_t fileId, std::int32_t folderId, std::uint64_t size) {
    Lock lock(model_->mutex);
    model_->uploadedInto[fileId] = folderId;
    model_->uploadedSizes[fileId] = size;
}

std::uint64_t AccountObject::fileSize(std::int32_t owner, std::int32_t folderId,
                                      std::int32_t fileId) {
    Lock lock(model_->mutex);
    std::shared_ptr<FolderObject> folder;
    const bool own = profile_ && profile_->data().id == owner;
    if (own && root_)
        folder = root_->find(folderId);
    for (const auto& user : sharing_)
        if (!folder && user->data().id == owner)
            for (const auto& shared : user->sharedFolders())
                if (!folder)
                    folder = shared->find(folderId);
    if (folder)
        for (const auto& file : folder->files())
            if (file->id() == fileId && file->size() > 0)
                return file->size();
    if (own) {
        auto uploaded = model_->uploadedSizes.find(fileId);
        if (uploaded != model_->uploadedSizes.end())
            return uploaded->second;
    }
    return 0;
}

void AccountObject::addList(std::int32_t id, const std::string& name) {
    Lock lock(model_->mutex);
    for (const auto& list : lists_)
        if (list->id() == id)
            return;
    lists_.push_back(std::make_shared<AccessListObject>(model_, id, name));
}

void AccountObject::renameList(std::int32_t id, const std::string& name) {
    Lock lock(model_->mutex);
    for (const auto& list : lists_)
        if (list->id() == id)
            list->setName(name);
}

void AccountObject::removeList(std::int32_t id) {
    Lock lock(model_->mutex);
    lists_.erase(
        std::remove_if(lists_.begin(), lists_.end(), [id](const auto& l) { return l->id() == id; }),
        lists_.end());
    // The service unshares the folders that were shared with the list.
    if (root_)
        root_->forEach([id](FolderObject& folder) {
            if (folder.accessListId() == id)
                folder.setAccessListId(0);
        });
}

std::shared_ptr<AccountObject> AccountObject::Parse(const QByteArray& xml,
                                                    std::shared_ptr<ErrorStore> errors) {
    auto model = std::make_shared<ModelShared>();
    model->errors = std::move(errors);
    auto account = std::make_shared<AccountObject>(model);
    Reader reader(xml);
    if (reader.root() != QLatin1String(element::kAccount))
        reader.fail("the document is not an account");
    reader.children([&](QStringView name) {
        if (name == QLatin1String(element::kUser)) {
            account->profile_ = readUserElement(reader, model, false);
        } else if (name == QLatin1String(element::kLibrary)) {
            reader.children([&](QStringView child) {
                if (child == QLatin1String(element::kFolder) && !account->root_)
                    account->root_ = readFolder(reader, model);
                else
                    reader.skip();
            });
        } else if (name == QLatin1String(element::kSharing)) {
            reader.children([&](QStringView child) {
                if (child == QLatin1String(element::kUser))
                    account->sharing_.push_back(readUserElement(reader, model, true));
                else
                    reader.skip();
            });
        } else if (name == QLatin1String(element::kAcls)) {
            account->lists_ = readLists(reader, model);
        } else {
            reader.skip();
        }
    });
    if (!account->profile_)
        reader.fail("the signed-in user's profile is missing");
    if (!account->root_)
        reader.fail("the library is missing");
    return account;
}

std::vector<std::shared_ptr<AccessListObject>>
ParseAccessLists(const QByteArray& xml, const std::shared_ptr<ModelShared>& model) {
    Reader reader(xml);
    QStringView root = reader.root();
    if (root == QLatin1String(element::kAcls))
        return readLists(reader, model);
    if (root != QLatin1String(element::kAccount))
        reader.fail("the document holds no access lists");
    std::vector<std::shared_ptr<AccessListObject>> lists;
    bool found = false;
    reader.children([&](QStringView name) {
        if (name == QLatin1String(element::kAcls)) {
            lists = readLists(reader, model);
            found = true;
        } else {
            reader.skip();
        }
    });
    if (!found)
        reader.fail("the document holds no access lists");
    return lists;
}

} // namespace velmora::proxy
