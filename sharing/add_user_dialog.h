#pragma once

// "Velmora explorer - Add new user to the Access List": finds the user to add
// to one access list, by account id or e-mail address on the service or by a
// click on a row of the public directory. The opener adds him.

#include "user_record.h"

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <map>
#include <string>

class QLineEdit;
class QPushButton;

namespace velmora {

class CPublicDirectoryList;

class CAddUserToAclDialog : public QDialog {
    Q_OBJECT

public:
    enum {
        IDD = 203,
        IDC_ACCOUNT_ID = 1002,
        IDC_EMAIL = 1015,
        IDC_SHOW = 1030,
        IDC_DIRECTORY = 1031,
        IDC_FIND = 1032,
        IDC_RELOAD = 1033,
    };
    static constexpr const char* kCaption = "Velmora explorer - Add new user to the Access List";
    // The directory the dialog opens with, in the cache folder.
    static constexpr const char* kDirectoryCacheFile = "vmdir.vdt";

    explicit CAddUserToAclDialog(QWidget* parent = nullptr);

    // Set by the opener: the library view, which opens user dialogs, and the
    // name of the list shown in the title.
    QPointer<QObject> viewWindow;
    std::string listName;

    // The result read by the opener after OK: above 0 is a user's id, 0 or
    // below means nobody was found (-1 before and at the start of a lookup).
    std::int32_t foundUserId = -1;
    UserRecord foundUser;
    // One entry per directory row.
    std::map<std::int32_t, UserRecord> directory;

    // The texts exchanged with the two edits.
    std::string accountIdText;
    std::string emailText;
    // Edits to texts (save) or texts to edits.
    void UpdateData(bool save);

    void OnFind();
    // The Add button.
    void OnOK();
    void OnShow();
    void OnReload();
    void OnDirectoryClick(int row);
    // Appends a row for every "user" child of the text's root.
    void FillDirectory(const std::string& text);

    QLineEdit* accountIdEdit() const { return accountIdEdit_; }
    QLineEdit* emailEdit() const { return emailEdit_; }
    QPushButton* addButton() const { return addButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* findButton() const { return findButton_; }
    QPushButton* showButton() const { return showButton_; }
    QPushButton* reloadButton() const { return reloadButton_; }
    CPublicDirectoryList* directoryList() const { return directoryList_; }

protected:
    void showEvent(QShowEvent* event) override;
    // A modal run blocks only the parent's window (the access lists dialog
    // and the windows under it), so "Show..." opens a user dialog that takes
    // input at once.
    void setVisible(bool visible) override;

private:
    void OnInitDialog();

    QPushButton* addButton_;
    QPushButton* cancelButton_;
    QLineEdit* accountIdEdit_;
    QLineEdit* emailEdit_;
    QPushButton* findButton_;
    QPushButton* showButton_;
    CPublicDirectoryList* directoryList_;
    QPushButton* reloadButton_;
    bool initialised_ = false;
};

} // namespace velmora
