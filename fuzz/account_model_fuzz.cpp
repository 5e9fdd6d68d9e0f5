// The account document the proxy reads at sign-in, and an access lists
// document: any text gives a model or a ModelError, never anything else, and
// the model it gives can be walked from the root to every file.

#include "fuzz_check.h"
#include "object_model.h"

#include <vector>

using namespace velmora;
using namespace velmora::proxy;

namespace {

void Walk(const std::shared_ptr<IFolder>& root) {
    std::vector<std::shared_ptr<IFolder>> pending{root};
    while (!pending.empty()) {
        const std::shared_ptr<IFolder> folder = pending.back();
        pending.pop_back();
        FUZZ_CHECK(folder);
        (void)folder->Name();
        FUZZ_CHECK(QueryInterface<IFolder>(folder->FindFolder(folder->FolderId())));
        for (std::int32_t i = 0, n = folder->FileCount(); i < n; ++i) {
            auto file = QueryInterface<IMediaFile>(folder->File(i));
            FUZZ_CHECK(file);
            (void)file->Name();
        }
        for (std::int32_t i = 0, n = folder->SubfolderCount(); i < n; ++i)
            pending.push_back(QueryInterface<IFolder>(folder->Subfolder(i)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray xml(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const auto account = AccountObject::Parse(xml, std::make_shared<ErrorStore>());
        FUZZ_CHECK(account);
        Walk(QueryInterface<IFolder>(account->LibraryRoot()));
        for (std::int32_t i = 0, n = account->SharingUserCount(); i < n; ++i) {
            auto user = QueryInterface<IUserProfile>(account->SharingUser(i));
            FUZZ_CHECK(user);
            for (std::int32_t j = 0, m = user->SharedFolderCount(); j < m; ++j)
                Walk(QueryInterface<IFolder>(user->SharedFolder(j)));
        }
        for (std::int32_t i = 0, n = account->AccessListCount(); i < n; ++i) {
            auto list = QueryInterface<IAccessList>(account->AccessList(i));
            FUZZ_CHECK(list && account->AccessListById(list->Id()));
        }
    } catch (const ModelError&) {
    }
    try {
        (void)ParseAccessLists(xml, std::make_shared<ModelShared>());
    } catch (const ModelError&) {
    }
    return 0;
}
