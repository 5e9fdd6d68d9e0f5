#pragma once

// The public directory as a report list: one row per user with the account
// id (and a rotating image), first name, last name and e-mail address.

#include <QTableWidget>

#include <array>

namespace velmora {

struct UserRecord;

class CPublicDirectoryList : public QTableWidget {
    Q_OBJECT

public:
    // The list's images: icons 143 to 146 rotate over the rows; 142 is loaded
    // last and never shown.
    static constexpr std::array<int, 5> kImageResources = {143, 144, 145, 146, 142};
    static constexpr int kImageSize = 16;
    static constexpr int kHeaderWidth = 30;

    explicit CPublicDirectoryList(QWidget* parent = nullptr);

    // Appends the user's row with the next image of the rotation; gives the
    // row's index.
    int AppendUser(const UserRecord& user);
    // Fits every column to its header and contents.
    void SizeColumns();
    void DeleteAllItems();

    const QIcon& Image(int index) const { return images_.at(static_cast<std::size_t>(index)); }

signals:
    // A left click anywhere in the list's area: the row under it, or -1
    // when there is none. From the keyboard, Space or Enter on the current
    // row; Enter then goes on to the dialog's default button.
    void rowClicked(int row);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::array<QIcon, kImageResources.size()> images_;
};

// Hands out 0, 1, 2, 3, 0, ... for the directory rows of the whole process:
// the rotation carries on from one filling, and one dialog, to the next.
// User-interface thread only.
int NextDirectoryImage();

} // namespace velmora
