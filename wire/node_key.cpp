#include "node_key.h"

#include <charconv>
#include <string_view>

namespace velmora::wire {

namespace {

// The value of the field's leading digits (one "-" allowed); 0 when there
// are none or they do not fit 32 bits.
std::int32_t FieldValue(std::string_view field) {
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    (void)end;
    return error == std::errc() ? value : 0;
}

std::optional<std::int32_t> WholeNumber(std::string_view text) {
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

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
    NodeKeyFields result;
    std::int32_t* fields[] = {&result.owner, &result.folder, &result.file};
    std::string_view rest = key;
    for (std::int32_t* field : fields) {
        std::size_t end = rest.find('~');
        *field = FieldValue(rest.substr(0, end));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return result;
}

std::optional<NodeKeyFields> ParseNodeKey(const std::string& key) {
    std::size_t first = key.find('~');
    std::size_t second = first == std::string::npos ? first : key.find('~', first + 1);
    if (second == std::string::npos)
        return std::nullopt;
    std::string_view text = key;
    auto owner = WholeNumber(text.substr(0, first));
    auto folder = WholeNumber(text.substr(first + 1, second - first - 1));
    auto file = WholeNumber(text.substr(second + 1));
    if (!owner || !folder || !file)
        return std::nullopt;
    return NodeKeyFields{*owner, *folder, *file};
}

std::string FolderNodeKey(std::int32_t ownerId, std::int32_t folderId) {
    return std::to_string(ownerId) + "~" + std::to_string(folderId) + "~0";
}

std::string FileNodeKey(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId) {
    return std::to_string(ownerId) + "~" + std::to_string(folderId) + "~" + std::to_string(fileId);
}

std::string UserNodeKey(std::int32_t userId) {
    return std::to_string(userId) + "~0~0";
}

std::string FolderKeyOfRoot(const std::string& key, std::int32_t signedInUserId) {
    return key == kRootKey ? FolderNodeKey(signedInUserId, 1) : key;
}

std::string MakeUploadKey(std::int32_t userId, std::int32_t folderId, const std::string& name) {
    return std::to_string(userId) + "~" + std::to_string(folderId) + "~" + name;
}

std::optional<UploadKey> ParseUploadKey(const std::string& key) {
    std::size_t first = key.find('~');
    if (first == std::string::npos)
        return std::nullopt;
    std::size_t second = key.find('~', first + 1);
    if (second == std::string::npos)
        return std::nullopt;
    auto user = WholeNumber(std::string_view(key).substr(0, first));
    auto folder = WholeNumber(std::string_view(key).substr(first + 1, second - first - 1));
    std::string name = key.substr(second + 1);
    if (!user || !folder || name.empty())
        return std::nullopt;
    return UploadKey{*user, *folder, std::move(name)};
}

} // namespace velmora::wire
