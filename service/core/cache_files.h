#pragma once

// The local cache folder under the user's temporary folder, whole-file reads
// of what the proxy writes, and the lookup of the web browser. None of these
// shows a message.

#include <cstddef>
#include <string>

namespace velmora {

// The user's temporary folder with a trailing "/". When TMPDIR names a folder
// that does not exist, that folder all the same (so files fail to open there)
// rather than the root folder Qt's empty answer would lead to.
std::string TempFolder();

// The temporary folder followed by "v_player" and a trailing "/"; the folder
// is created when missing, for the owner only (a failure to create it is
// ignored). A folder of ours found open to others is closed to them.
std::string CacheFolder();

// The longest file name the local file systems take, in bytes.
inline constexpr std::size_t kMaxLocalNameBytes = 255;

// A library item's name as one plain local file name: "/" and control
// characters become "_", "." and ".." gain a leading "_", and a name longer
// than kMaxLocalNameBytes is shortened (keeping a short extension and whole
// UTF-8 characters). Any other name is kept as it is.
std::string LocalFileName(const std::string& name);

// Where a file of that library name is written inside folder: the folder and
// LocalFileName(name). Empty when folder is empty or the path would not lie
// directly inside it.
std::string LocalFilePath(const std::string& folder, const std::string& name);

// Deletes the cache folder with everything in it.
void CleanUpCache();

// Deletes the folder and everything below it; true when all of it went. A
// symbolic link is removed as a link and never followed, and a path that is
// itself a link, is missing or is no folder is left alone (false).
bool DeleteTree(const std::string& folder);

// The file's whole content, or an empty text when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// The path of the program that opens HTML files, or an empty text.
std::string FindBrowser();

} // namespace velmora
