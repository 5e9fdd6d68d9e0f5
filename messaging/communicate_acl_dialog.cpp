#include "communicate_acl_dialog.h"

#include "app_context.h"
#include "dialog_units.h"
#include "icons.h"
#include "message_boxes.h"
#include "object_ranges.h"
#include "wait_cursor.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

namespace velmora {

CCommunicateAclDialog::CCommunicateAclDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kCaption);
    setFixedSize(DialogRect(0, 0, 419, 113).size());

    closeButton_ = new QPushButton("Close", this);
    closeButton_->setObjectName("1");
    closeButton_->setDefault(true);
    PlaceControl(closeButton_, 362, 95, 50, 14);
    auto* group = new QGroupBox("Communicate", this);
    PlaceControl(group, 7, 7, 405, 83);
    messageEdit_ = new QTextEdit(this);
    messageEdit_->setObjectName(QString::number(IDC_MESSAGE));
    messageEdit_->setAcceptRichText(false);
    messageEdit_->setTabChangesFocus(true);
    messageEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageEdit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageEdit_->setAccessibleName("Message");
    PlaceControl(messageEdit_, 13, 17, 340, 65);
    emailButton_ = new QPushButton("Email", this);
    emailButton_->setObjectName(QString::number(IDC_EMAIL));
    emailButton_->setAutoDefault(false);
    PlaceControl(emailButton_, 357, 18, 50, 14);
    sendButton_ = new QPushButton("Send", this);
    sendButton_->setObjectName(QString::number(IDC_SEND));
    sendButton_->setAutoDefault(false);
    PlaceControl(sendButton_, 357, 36, 50, 14);
    auto* icon = new QLabel(this);
    PlaceControl(icon, 372, 60, 16, 16);
    icon->setPixmap(QIcon(IconPath(IDI_ICON)).pixmap(icon->size()));

    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(sendButton_, &QPushButton::clicked, this, &CCommunicateAclDialog::OnSend);
    connect(emailButton_, &QPushButton::clicked, this, &CCommunicateAclDialog::OnEmail);
}

void CCommunicateAclDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    messageEdit_->setFocus();
}

void CCommunicateAclDialog::OnSend() {
    messageText = messageEdit_->toPlainText().toStdString();
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    if (!client.IsGoldOrPlatinum()) {
        ShowMessage(133);
        return;
    }
    if (messageText.empty()) {
        ShowMessage(130);
        return;
    }
    if (!client.SendUserMessage(-1, listId, messageText))
        ShowMessage(client.GetLastError());
}

void CCommunicateAclDialog::OnEmail() {
    messageText = messageEdit_->toPlainText().toStdString();
    if (messageText.empty()) {
        ShowMessage(130);
        return;
    }
    bool allSent = false;
    {
        WaitCursor wait;
        allSent = EmailMembers();
    }
    ShowMessage(allSent ? 131 : 132);
}

bool CCommunicateAclDialog::EmailMembers() {
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    // The lookup and the walk of the members throw rather than answer false;
    // either failure ends the sending like a failed e-mail, and is shown.
    try {
        std::shared_ptr<IAccessList> list = client.GetAccessList(listId);
        // A list id that names no list has no members to report success for.
        if (!list)
            return false;
        ObjectRange<IUserProfile> members(list->MemberCount(),
                                          [&](std::int32_t i) { return list->Member(i); });
        for (const std::shared_ptr<IUserProfile>& member : members) {
            if (!client.SendEmail(client.GetAccountId(), member->Email(), messageText)) {
                ShowMessage(client.GetLastError());
                return false;
            }
        }
    } catch (const ComError& e) {
        ShowMessage(e.message());
        return false;
    }
    return true;
}

} // namespace velmora
