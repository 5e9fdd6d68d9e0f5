#include "library_model.h"

#include "app_context.h"

namespace velmora::test {

std::shared_ptr<ModelFolder> ModelFolder::addFolder(std::int32_t id, const std::string& name,
                                                    std::int32_t accessListId) {
    auto folder = std::make_shared<ModelFolder>(id, name);
    folder->accessListId = accessListId;
    folders.push_back(folder);
    return folder;
}

void ModelFolder::addFile(std::int32_t id, const std::string& name) {
    files.push_back(std::make_shared<ModelFile>(id, name));
}

ComPtr ModelFolder::Subfolder(std::int32_t index) {
    return folders.at(static_cast<std::size_t>(index));
}

ComPtr ModelFolder::File(std::int32_t index) {
    if (failFileFrom >= 0 && index >= failFileFrom)
        throw ComError(E_FAIL, IFolder::iid);
    return files.at(static_cast<std::size_t>(index));
}

ComPtr ModelFolder::FindFolder(std::int32_t folderId) {
    for (auto& entry : folders) {
        auto folder = std::dynamic_pointer_cast<ModelFolder>(entry);
        if (!folder)
            continue;
        if (folder->id_ == folderId)
            return folder;
        if (auto found = folder->FindFolder(folderId))
            return found;
    }
    return nullptr;
}

VariantBool ModelFolder::NameInUse(const std::string& name) {
    for (auto& entry : files)
        if (auto file = std::dynamic_pointer_cast<ModelFile>(entry); file && file->name_ == name)
            return VARIANT_TRUE;
    for (auto& entry : folders)
        if (auto folder = std::dynamic_pointer_cast<ModelFolder>(entry);
            folder && folder->name_ == name)
            return VARIANT_TRUE;
    return VARIANT_FALSE;
}

void ModelFolder::SetFolderAccessList(std::int32_t folderId, std::int32_t accessListId) {
    if (auto folder = std::dynamic_pointer_cast<ModelFolder>(FindFolder(folderId)))
        folder->accessListId = accessListId;
}

void ModelFolder::RemoveFolder(std::int32_t folderId) {
    for (auto it = folders.begin(); it != folders.end(); ++it) {
        auto folder = std::dynamic_pointer_cast<ModelFolder>(*it);
        if (!folder)
            continue;
        if (folder->id_ == folderId) {
            folders.erase(it);
            return;
        }
        folder->RemoveFolder(folderId);
    }
}

std::shared_ptr<ModelFolder> ModelUser::shareFolder(std::int32_t id, const std::string& name,
                                                    std::int32_t accessListId) {
    auto folder = std::make_shared<ModelFolder>(id, name);
    folder->accessListId = accessListId;
    folders.push_back(folder);
    return folder;
}

std::shared_ptr<ModelUser> ModelAccount::addUser(std::int32_t id, const std::string& accountId,
                                                 const std::string& first,
                                                 const std::string& last) {
    auto user = std::make_shared<ModelUser>(id, accountId, first, last);
    users.push_back(user);
    return user;
}

SignedInModel::SignedInModel(std::shared_ptr<ModelProxy> proxy)
    : component_(CLSID_velmoraPrxy, [proxy] { return proxy; }) {
    AppContext::Destroy();
    signedIn_ = AppContext::Instance().GetServiceClient().Login("ada", "secret");
}

SignedInModel::~SignedInModel() {
    AppContext::Destroy();
}

namespace {

// A small linear congruential generator: the same names on every run.
class Names {
public:
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    std::string fileName() {
        static const char* const kExtensions[] = {".mp3", ".wma", ".jpg",  ".avi",
                                                  ".m4a", ".txt", ".mpeg", ".JPEG"};
        static const char* const kWords[] = {"Song", "clip", "Photo", "track", "Live", "demo"};
        return std::string(kWords[next() % 6]) + " " + std::to_string(next() % 100000) +
               kExtensions[next() % 8];
    }
    std::string folderName() {
        static const char* const kWords[] = {"Holiday", "music", "Videos", "archive", "Party"};
        return std::string(kWords[next() % 5]) + " " + std::to_string(next() % 10000);
    }

private:
    std::uint32_t state_ = 20251208u;
};

void FillFiles(ModelFolder& folder, int count, std::int32_t& nextId, Names& names) {
    for (int i = 0; i < count; ++i)
        folder.addFile(nextId++, names.fileName());
}

} // namespace

void BuildModel(ModelAccount& account, const ModelShape& shape) {
    Names names;
    std::int32_t nextId = 2;
    if (!account.root)
        account.root = std::make_shared<ModelFolder>(1, "My Media");
    for (int t = 0; t < shape.topFolders; ++t) {
        auto top = account.root->addFolder(nextId++, names.folderName(), t % 7 == 0 ? 5 : 0);
        FillFiles(*top, shape.filesPerFolder, nextId, names);
        for (int s = 0; s < shape.subfoldersEach; ++s) {
            auto sub = top->addFolder(nextId++, names.folderName());
            FillFiles(*sub, shape.filesPerFolder, nextId, names);
        }
    }
    for (int u = 0; u < shape.sharingUsers; ++u) {
        const std::string n = std::to_string(u);
        auto user = account.addUser(1000 + u, "member" + n, "First" + n, "Last" + n);
        auto folder = user->shareFolder(nextId++, names.folderName(), 9);
        FillFiles(*folder, shape.filesPerFolder, nextId, names);
    }
}

} // namespace velmora::test
