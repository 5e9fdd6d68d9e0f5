#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

namespace velmora {

// "Velmora Player - Sign in": account id and password, both required.
class CSigninDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 196, IDC_ACCOUNT_ID = 1002, IDC_PASSWORD = 1003 };

    explicit CSigninDlg(QWidget* parent = nullptr);

    // As typed; kept when the dialog is shown again after a failed sign-in.
    std::string accountId;
    std::string password;

    QLineEdit* accountIdEdit() const { return accountIdEdit_; }
    QLineEdit* passwordEdit() const { return passwordEdit_; }
    QPushButton* okButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOK();

    QLineEdit* accountIdEdit_;
    QLineEdit* passwordEdit_;
    QPushButton* okButton_;
};

} // namespace velmora
