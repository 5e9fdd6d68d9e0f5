#include "node_key.h"

#include "text_utils.h"

#include <vector>

namespace velmora {

NodeKind ClassifyNodeKey(const std::string& key) {
    if (key.empty())
        return NodeKind::None;
    if (key == kRootKey)
        return NodeKind::Root;
    if (key.find("~0~0") != std::string::npos)
        return NodeKind::User;
    if (key.find("~0") != std::string::npos)
        return NodeKind::Folder;
    return NodeKind::File;
}

NodeKeyFields SplitNodeKey(const std::string& key) {
    std::vector<std::string> fields;
    Split(key, '~', fields);
    NodeKeyFields result;
    if (fields.size() > 0)
        result.owner = TextToNumber(fields[0]);
    if (fields.size() > 1)
        result.folder = TextToNumber(fields[1]);
    if (fields.size() > 2)
        result.file = TextToNumber(fields[2]);
    return result;
}

std::string FolderNodeKey(std::int32_t ownerId, std::int32_t folderId) {
    return NumberToText(ownerId) + "~" + NumberToText(folderId) + "~0";
}

std::string FileNodeKey(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId) {
    return NumberToText(ownerId) + "~" + NumberToText(folderId) + "~" + NumberToText(fileId);
}

std::string UserNodeKey(std::int32_t userId) {
    return NumberToText(userId) + "~0~0";
}

std::string FolderKeyOfRoot(const std::string& key, std::int32_t signedInUserId) {
    return key == kRootKey ? FolderNodeKey(signedInUserId, 1) : key;
}

} // namespace velmora
