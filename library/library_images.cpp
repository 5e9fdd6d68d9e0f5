#include "library_images.h"

#include "icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <cctype>

namespace velmora {

int ImageForName(const std::string& fileName) {
    std::string name = fileName;
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    struct Rule {
        const char* piece;
        int image;
    };
    static constexpr Rule kRules[] = {
        {".mp3", kImageAudio},   {".m4a", kImageAudio},    {".wma", kImageWma},
        {".wmv", kImageVideo},   {".mpeg", kImageVideo},   {".avi", kImageVideo},
        {".jpg", kImagePicture}, {".jpeg", kImagePicture},
    };
    for (const Rule& rule : kRules)
        if (name.find(rule.piece) != std::string::npos)
            return rule.image;
    return kImageOtherFile;
}

int FolderImage(std::int32_t accessListId) {
    return accessListId > 0 ? kImageSharedFolder : kImageFolder;
}

int ImageRotation::Next() {
    ++value_;
    if (value_ == kImageUserLast + 1)
        value_ = kImageUserFirst;
    return value_;
}

int NextUserNodeImage() {
    static ImageRotation rotation;
    return rotation.Next();
}

int NextUserDialogImage() {
    static ImageRotation rotation;
    return rotation.Next();
}

int ImageResource(int imageIndex) {
    if (imageIndex < 0 || imageIndex >= kImageCount)
        return 0;
    return kImageResources[static_cast<std::size_t>(imageIndex)];
}

std::vector<QIcon> LoadLibraryImages() {
    std::vector<QIcon> images;
    images.reserve(kImageCount);
    for (int resource : kImageResources) {
        // Rendered once here rather than by the icon engine at paint time,
        // so the list behaves like a fixed 32x32 image list.
        QSvgRenderer renderer(IconPath(resource));
        if (!renderer.isValid()) {
            images.emplace_back();
            continue;
        }
        QPixmap pixmap(kImageSize, kImageSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, kImageSize, kImageSize));
        painter.end();
        images.emplace_back(pixmap);
    }
    return images;
}

} // namespace velmora
