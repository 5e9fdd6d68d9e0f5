#pragma once

// Node keys: the text that names what a library tree item stands for on the
// service. "root" is the "My Media" item; owner~folder~0 a folder (or a file
// whose upload has not ended); owner~folder~file a file; user~0~0 a user who
// shares folders. Numbers are plain decimal without leading zeros. Upload
// keys name a file to be: user~folder~name, the name as it is.

#include <cstdint>
#include <optional>
#include <string>

namespace velmora::wire {

inline constexpr char kRootKey[] = "root";

enum class NodeKind {
    None, // an empty key: the item was never given one
    Root,
    User,
    Folder, // also a file whose upload is still pending
    File,
};

// The tests run in this order, each a substring test on the whole key, so a
// user key (which also contains "~0") is never taken for a folder.
NodeKind ClassifyNodeKey(const std::string& key);

struct NodeKeyFields {
    std::int32_t owner = 0; // the owner's (or the user's) id
    std::int32_t folder = 0;
    std::int32_t file = 0; // 0 for folders and user nodes
};

// Cuts the key at every "~"; a field reads as the value of its leading
// digits (one sign allowed), so a missing or non-numeric field reads as 0.
NodeKeyFields SplitNodeKey(const std::string& key);

// Strict reading for requests: exactly three whole 32-bit decimal fields.
std::optional<NodeKeyFields> ParseNodeKey(const std::string& key);

std::string FolderNodeKey(std::int32_t ownerId, std::int32_t folderId);
std::string FileNodeKey(std::int32_t ownerId, std::int32_t folderId, std::int32_t fileId);
std::string UserNodeKey(std::int32_t userId);

// The root stands for folder 1 of the signed-in user wherever a folder id is
// needed; every other key is returned as it is.
std::string FolderKeyOfRoot(const std::string& key, std::int32_t signedInUserId);

struct UploadKey {
    std::int32_t userId = 0;
    std::int32_t folderId = 0;
    std::string name;
};

std::string MakeUploadKey(std::int32_t userId, std::int32_t folderId, const std::string& name);
// The name is everything after the second "~" and may hold "~" itself; both
// numbers must be whole decimal numbers and the name must not be empty.
std::optional<UploadKey> ParseUploadKey(const std::string& key);

} // namespace velmora::wire
