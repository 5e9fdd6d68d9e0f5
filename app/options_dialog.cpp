#include "options_dialog.h"

#include "icons.h"
#include "message_boxes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace velmora {

COptionsDialog::COptionsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Velmora Player - Options");
    resize(702, 228);

    hostEdit_ = new QLineEdit(this);
    hostEdit_->setObjectName("1005");
    portEdit_ = new QLineEdit(this);
    portEdit_->setObjectName("1006");
    // Digits only, as typed from the keyboard.
    portEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), portEdit_));
    cleanUpBox_ = new QCheckBox("&Clean up local cache on exit", this);
    cleanUpBox_->setObjectName("1014");
    repeatBox_ = new QCheckBox("&Repeat on play", this);
    repeatBox_->setObjectName("1015");

    auto* connections = new QGroupBox("Connections", this);
    auto* grid = new QGridLayout(connections);
    // Alt and the underlined letter move to a field; the label names it.
    auto* hostLabel = new QLabel("&Host Name", connections);
    hostLabel->setBuddy(hostEdit_);
    auto* portLabel = new QLabel("&Port", connections);
    portLabel->setBuddy(portEdit_);
    grid->addWidget(hostLabel, 0, 0);
    grid->addWidget(hostEdit_, 0, 1);
    grid->addWidget(portLabel, 1, 0);
    grid->addWidget(portEdit_, 1, 1);

    auto* application = new QGroupBox("Application", this);
    auto* boxes = new QVBoxLayout(application);
    boxes->addWidget(cleanUpBox_);
    boxes->addWidget(repeatBox_);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(IconPath(IDR_MAINFRAME)).pixmap(32, 32));

    okButton_ = new QPushButton("Ok", this);
    okButton_->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(icon);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancel);
    buttons->addStretch();

    auto* groups = new QVBoxLayout;
    groups->addWidget(connections);
    groups->addWidget(application);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(groups, 1);
    layout->addLayout(buttons);

    connect(okButton_, &QPushButton::clicked, this, &COptionsDialog::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void COptionsDialog::SetValues(const std::string& h, const std::string& p, bool c, bool r) {
    host = h;
    port = p;
    cleanUp = c;
    repeat = r;
    hostEdit_->setText(QString::fromStdString(h));
    portEdit_->setText(QString::fromStdString(p));
    cleanUpBox_->setChecked(c);
    repeatBox_->setChecked(r);
}

void COptionsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    hostEdit_->setFocus();
}

void COptionsDialog::OnOK() {
    host = hostEdit_->text().trimmed().toStdString();
    port = portEdit_->text().trimmed().toStdString();
    cleanUp = cleanUpBox_->isChecked();
    repeat = repeatBox_->isChecked();
    if (host.empty()) {
        ShowMessage(106);
        hostEdit_->setFocus();
        return;
    }
    if (port.empty()) {
        ShowMessage(106);
        portEdit_->setFocus();
        return;
    }
    accept();
}

} // namespace velmora
