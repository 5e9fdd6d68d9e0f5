#include "icons.h"
#include "library_images.h"

#include <QIcon>
#include <QPixmap>
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

using namespace velmora;

namespace {

// Every picture the program loads from its resources: the program's icon,
// the About picture, the toolbar's buttons and the library's image list.
std::vector<std::string> ProgramIcons() {
    std::vector<std::string> paths = {IconPath(IDR_MAINFRAME).toStdString(),
                                      IconPath(IDB_ABOUT).toStdString(),
                                      kToolbarOpenIcon,
                                      kToolbarCutIcon,
                                      kToolbarCopyIcon,
                                      kToolbarPasteIcon,
                                      kToolbarAboutIcon};
    for (int resource : kImageResources)
        paths.push_back(IconPath(resource).toStdString());
    return paths;
}

class ProgramIcon : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(ProgramIcon, LoadsAsAnIconAndAPixmap) {
    const QString path = QString::fromStdString(GetParam());
    const QIcon icon(path);
    ASSERT_FALSE(icon.isNull());
    EXPECT_FALSE(icon.pixmap(32, 32).isNull());
    EXPECT_FALSE(QPixmap(path).isNull());
}

INSTANTIATE_TEST_SUITE_P(Resources, ProgramIcon, ::testing::ValuesIn(ProgramIcons()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (char c : info.param)
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name += c;
                             return name + "_" + std::to_string(info.index);
                         });
