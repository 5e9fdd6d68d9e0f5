#include "signin_dialog.h"

#include "message_boxes.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

CSigninDlg::CSigninDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Velmora Player - Sign in");
    resize(516, 122);

    accountIdEdit_ = new QLineEdit(this);
    accountIdEdit_->setObjectName("1002");
    passwordEdit_ = new QLineEdit(this);
    passwordEdit_->setObjectName("1003");
    passwordEdit_->setEchoMode(QLineEdit::Password);

    okButton_ = new QPushButton("Ok", this);
    okButton_->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);

    // Alt and the underlined letter move to a field; the label names it.
    auto* accountIdLabel = new QLabel("&Account Id", this);
    accountIdLabel->setBuddy(accountIdEdit_);
    auto* passwordLabel = new QLabel("&Password", this);
    passwordLabel->setBuddy(passwordEdit_);

    auto* grid = new QGridLayout;
    grid->addWidget(accountIdLabel, 0, 0);
    grid->addWidget(accountIdEdit_, 0, 1);
    grid->addWidget(passwordLabel, 1, 0);
    grid->addWidget(passwordEdit_, 1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(okButton_);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    connect(okButton_, &QPushButton::clicked, this, &CSigninDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSigninDlg::showEvent(QShowEvent* event) {
    // The same dialog is shown again after a failed sign-in: its edits
    // still hold what was typed.
    QDialog::showEvent(event);
    accountIdEdit_->setFocus();
}

void CSigninDlg::OnOK() {
    // Blanks count as content: the fields are not trimmed.
    accountId = accountIdEdit_->text().toStdString();
    password = passwordEdit_->text().toStdString();
    if (accountId.empty()) {
        ShowMessage(102);
        accountIdEdit_->setFocus();
        return;
    }
    if (password.empty()) {
        ShowMessage(103);
        passwordEdit_->setFocus();
        return;
    }
    accept();
}

} // namespace velmora
