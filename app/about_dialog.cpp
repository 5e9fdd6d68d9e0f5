#include "about_dialog.h"

#include "app_context.h"
#include "desktop_services.h"
#include "icons.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

namespace {
const char* kLegalNotice =
    "Velmora Media Player plays, stores and shares your media through the Velmora "
    "service. The media you store remain yours; the service keeps them only to play, "
    "share and return them at your request.\n\n"
    "This program is provided as is, without warranty of any kind.";
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Velmora Media Player");
    resize(582, 484);

    auto* picture = new QLabel(this);
    picture->setPixmap(QIcon(IconPath(IDB_ABOUT)).pixmap(96, 96));
    auto* title = new QLabel(QString::fromUtf8("Velmora Media Player\u00a9 Version 1.3"), this);
    auto* notice = new QLabel("Velmora media storage for your desktop", this);
    auto* legal = new QPlainTextEdit(kLegalNotice, this);
    legal->setObjectName("1004");
    legal->setReadOnly(true);
    // The notice has no label of its own to be read out by.
    legal->setAccessibleName("Legal notice");

    auto* ok = new QPushButton("Ok", this);
    ok->setDefault(true);
    helpButton_ = new QPushButton("Help...", this);
    helpButton_->setObjectName("1019");

    auto* head = new QHBoxLayout;
    head->addWidget(picture);
    auto* lines = new QVBoxLayout;
    lines->addWidget(title);
    lines->addWidget(notice);
    lines->addStretch();
    head->addLayout(lines, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(helpButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(legal, 1);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(helpButton_, &QPushButton::clicked, this, &CAboutDlg::OnHelp);
}

void CAboutDlg::OnHelp() {
    // Nothing is reported when the page cannot be opened; the box stays.
    OpenUrl(AppContext::Instance().GetHelpUrl());
}

} // namespace velmora
