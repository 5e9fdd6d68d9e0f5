#pragma once

// The library tree's image list: 32 icons of 32x32 pixels, addressed by their
// position, and the rules that pick an image for a file, a folder or a user.

#include <QIcon>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

enum LibraryImage : int {
    kImageRoot = 0,
    kImageFolder = 3,
    kImageUserFirst = 4,
    kImageUserLast = 8,
    kImageTransferFirst = 9,
    kImageTransferLast = 16,
    kImageAudio = 19,
    kImageWma = 20,
    kImageSharedFolder = 27,
    kImageVideo = 28,
    kImagePlaying = 29,
    kImageOtherFile = 30,
    kImagePicture = 31,
    kImageCount = 32,
};

// The icon resource loaded at each image index, in load order.
inline constexpr std::array<int, kImageCount> kImageResources = {
    135, 136, 134, 133, 143, 144, 145, 146, 142, 149, 150, 151, 152, 153, 154, 155,
    148, 156, 195, 160, 163, 175, 176, 177, 178, 174, 194, 182, 251, 185, 128, 252};

inline constexpr int kImageSize = 32;

// The image of a file by its name: the lower-cased name is searched for
// ".mp3", ".m4a", ".wma", ".wmv", ".mpeg", ".avi", ".jpg", ".jpeg" in that
// order. A containment test, not one of the ending: a.mp3.txt is audio.
int ImageForName(const std::string& fileName);

// A folder shared through an access list (id above 0) looks shared.
int FolderImage(std::int32_t accessListId);

// Hands out 4, 5, 6, 7, 8, 4, ... : the value rises by one before each use and
// wraps from 9 back to 4.
class ImageRotation {
public:
    int Next();

private:
    int value_ = 3;
};

// The process-wide rotations: one for user nodes in the tree, one for the
// icons of user dialogs. Neither is reset when the tree is filled again.
// User-interface thread only.
int NextUserNodeImage();
int NextUserDialogImage();

// The icon resource of an image index (the user dialogs take their icon from
// the resource behind their rotation value); 0 for an index out of range.
int ImageResource(int imageIndex);

// Renders the 32 icons from the program's resources, in index order. An icon
// whose artwork cannot be read stays null.
std::vector<QIcon> LoadLibraryImages();

} // namespace velmora
