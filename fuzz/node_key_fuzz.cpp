// Node keys, upload keys and link-encoded keys as they come back from links,
// requests and the tree: reading never fails, and what is read is written
// back to a key that reads the same.

#include "fuzz_check.h"
#include "wire/link.h"
#include "wire/node_key.h"

#include <algorithm>

namespace wire = velmora::wire;
namespace link = velmora::wire::link;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string key = velmora::fuzz::Text(data, size);

    (void)wire::ClassifyNodeKey(key);
    (void)wire::SplitNodeKey(key);
    (void)wire::FolderKeyOfRoot(key, 7);
    if (auto fields = wire::ParseNodeKey(key)) {
        const std::string written = wire::FileNodeKey(fields->owner, fields->folder, fields->file);
        auto again = wire::ParseNodeKey(written);
        FUZZ_CHECK(again && again->owner == fields->owner && again->folder == fields->folder &&
                   again->file == fields->file);
        const auto split = wire::SplitNodeKey(written);
        FUZZ_CHECK(split.owner == fields->owner && split.folder == fields->folder &&
                   split.file == fields->file);
        // Links carry ids, which are never negative.
        if (fields->owner >= 0 && fields->folder >= 0 && fields->file >= 0) {
            auto ids = link::DecodeIds(link::Encode(written), 3);
            FUZZ_CHECK(ids && (*ids)[0] == fields->owner && (*ids)[1] == fields->folder &&
                       (*ids)[2] == fields->file);
        }
    }
    if (auto upload = wire::ParseUploadKey(key)) {
        auto again = wire::ParseUploadKey(
            wire::MakeUploadKey(upload->userId, upload->folderId, upload->name));
        FUZZ_CHECK(again && again->userId == upload->userId &&
                   again->folderId == upload->folderId && again->name == upload->name);
    }

    std::string kept;
    std::copy_if(key.begin(), key.end(), std::back_inserter(kept),
                 [](char c) { return (c >= '0' && c <= '9') || c == '~'; });
    FUZZ_CHECK(link::Decode(link::Encode(key)) == kept);
    (void)link::Decode(key);
    (void)link::DecodeIds(key, 2);
    (void)link::DecodeIds(key, 3);
    return 0;
}
