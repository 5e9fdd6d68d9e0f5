#include "user_dialog.h"

#include "app_context.h"
#include "dialog_units.h"
#include "icons.h"
#include "message_boxes.h"
#include "wait_cursor.h"
#include "window_messages.h"
#include "wire/percent.h"
#include "wire/xml_names.h"
#include "xml_node.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>

namespace velmora {

namespace {

// The window handle of an open user dialog: the poller delivers here, and
// the handle dies with the window, so a delivery to a dialog that closed
// meanwhile finds nothing.
class Inbox : public QObject {
public:
    explicit Inbox(CUserDialog* dialog) : QObject(dialog), dialog_(dialog) {}

protected:
    bool event(QEvent* e) override {
        if (!WindowMessage::isWindowMessage(e))
            return QObject::event(e);
        auto* message = static_cast<WindowMessage*>(e);
        if (message->message() == UM_USER_MESSAGE && message->lParam())
            dialog_->OnUserMessage(*reinterpret_cast<const XmlNode*>(message->lParam()));
        message->setResult(0);
        message->accept();
        return true;
    }

private:
    CUserDialog* dialog_;
};

QLineEdit* ReadOnlyEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::number(id));
    edit->setReadOnly(true);
    return edit;
}

IMessagePoller* Poller() {
    return AppContext::Instance().GetMessagePoller();
}

} // namespace

CUserDialog::CUserDialog() : QDialog(nullptr, Qt::Window) {
    // A window of its own rather than a dialog, so no window it is opened
    // over becomes its transient parent (and with it a modal dialog's child).
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(kCaption);
    setFixedSize(DialogRect(0, 0, 443, 234).size());

    // Made in the template's order, which is also the tab order.
    closeButton_ = new QPushButton("Close", this);
    closeButton_->setObjectName("1");
    closeButton_->setDefault(true);
    PlaceControl(closeButton_, 386, 7, 50, 14);

    auto* info = new QGroupBox("User Info", this);
    PlaceControl(info, 14, 14, 277, 98);
    const char* labelTexts[] = {"Account Id", "First Name", "Last Name", "Email Address"};
    const int labelTops[] = {29, 49, 68, 88};
    QLabel* labels[4];
    for (int i = 0; i < 4; ++i) {
        labels[i] = new QLabel(labelTexts[i], this);
        PlaceControl(labels[i], 25, labelTops[i], 60, 10);
    }
    accountIdEdit_ = ReadOnlyEdit(this, IDC_ACCOUNT_ID);
    PlaceControl(accountIdEdit_, 87, 27, 194, 14);
    firstNameEdit_ = ReadOnlyEdit(this, IDC_FIRST_NAME);
    PlaceControl(firstNameEdit_, 87, 46, 194, 14);
    lastNameEdit_ = ReadOnlyEdit(this, IDC_LAST_NAME);
    PlaceControl(lastNameEdit_, 88, 65, 192, 14);
    emailEdit_ = ReadOnlyEdit(this, IDC_EMAIL);
    PlaceControl(emailEdit_, 88, 85, 192, 14);
    // Each label names its field for a screen reader.
    QLineEdit* fields[] = {accountIdEdit_, firstNameEdit_, lastNameEdit_, emailEdit_};
    for (int i = 0; i < 4; ++i)
        labels[i]->setBuddy(fields[i]);

    picture_ = new QLabel(this);
    picture_->setObjectName(QString::number(IDC_PICTURE));
    PlaceControl(picture_, 399, 50, 16, 16);

    auto* communicate = new QGroupBox("Communicate", this);
    PlaceControl(communicate, 14, 120, 416, 107);
    messageEdit_ = new QTextEdit(this);
    messageEdit_->setObjectName(QString::number(IDC_MESSAGE));
    messageEdit_->setAcceptRichText(false);
    messageEdit_->setTabChangesFocus(true);
    messageEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageEdit_->setAccessibleName("Message");
    PlaceControl(messageEdit_, 21, 130, 343, 39);
    conversationEdit_ = new QTextEdit(this);
    conversationEdit_->setObjectName(QString::number(IDC_CONVERSATION));
    conversationEdit_->setReadOnly(true);
    conversationEdit_->setAcceptRichText(false);
    conversationEdit_->setLineWrapMode(QTextEdit::NoWrap);
    conversationEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    conversationEdit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    conversationEdit_->setAccessibleName("Conversation");
    PlaceControl(conversationEdit_, 21, 173, 343, 48);
    sendButton_ = new QPushButton("Send", this);
    sendButton_->setObjectName(QString::number(IDC_SEND));
    sendButton_->setAutoDefault(false);
    PlaceControl(sendButton_, 372, 130, 50, 14);
    emailButton_ = new QPushButton("Email", this);
    emailButton_->setObjectName(QString::number(IDC_EMAIL_BUTTON));
    emailButton_->setAutoDefault(false);
    PlaceControl(emailButton_, 372, 150, 50, 14);

    connect(closeButton_, &QPushButton::clicked, this, &CUserDialog::OnOK);
    connect(sendButton_, &QPushButton::clicked, this, &CUserDialog::OnSend);
    connect(emailButton_, &QPushButton::clicked, this, &CUserDialog::OnEmail);
}

CUserDialog::~CUserDialog() {
    Unregister();
}

Handle CUserDialog::InboxHandle() const {
    return inbox_ ? HandleOf(inbox_) : 0;
}

void CUserDialog::Create(QObject* owner) {
    owner_ = owner;
    OnInitDialog();
}

void CUserDialog::OnInitDialog() {
    accountIdText = user.accountId;
    firstNameText = user.firstName;
    lastNameText = user.lastName;
    emailText = user.email;

    const QIcon icon(IconPath(iconId));
    picture_->setPixmap(icon.pixmap(picture_->size()));
    setWindowIcon(icon);

    if (!inbox_)
        inbox_ = new Inbox(this);
    if (IMessagePoller* poller = Poller()) {
        registered_ = true;
        // Messages kept for this user arrive during the call.
        poller->Register(user.id, InboxHandle());
    }
    UpdateData(false);
    messageEdit_->setFocus();
}

void CUserDialog::UpdateData(bool save) {
    if (save) {
        accountIdText = accountIdEdit_->text().toStdString();
        firstNameText = firstNameEdit_->text().toStdString();
        lastNameText = lastNameEdit_->text().toStdString();
        emailText = emailEdit_->text().toStdString();
        messageText = messageEdit_->toPlainText().toStdString();
        return;
    }
    accountIdEdit_->setText(QString::fromStdString(accountIdText));
    firstNameEdit_->setText(QString::fromStdString(firstNameText));
    lastNameEdit_->setText(QString::fromStdString(lastNameText));
    emailEdit_->setText(QString::fromStdString(emailText));
    messageEdit_->setPlainText(QString::fromStdString(messageText));
    ShowConversation();
}

void CUserDialog::ShowConversation() {
    conversationEdit_->setPlainText(QString::fromStdString(conversationText));
    conversationEdit_->moveCursor(QTextCursor::End);
    conversationEdit_->verticalScrollBar()->setValue(
        conversationEdit_->verticalScrollBar()->maximum());
}

void CUserDialog::OnUserMessage(const XmlNode& message) {
    // Received texts run on without anything between them, as they came.
    const std::string text = wire::PercentDecode(message.Attribute(wire::xml::attribute::kText));
    conversationText += text;
    // Only the conversation is shown anew: what the user is typing stays.
    QTextCursor end(conversationEdit_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromStdString(text));
    conversationEdit_->verticalScrollBar()->setValue(
        conversationEdit_->verticalScrollBar()->maximum());
}

void CUserDialog::OnSend() {
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    Deliver(client.IsGoldOrPlatinum(), 133,
            [&] { return client.SendUserMessage(user.id, -1, messageText); });
}

void CUserDialog::OnEmail() {
    ServiceClient& client = AppContext::Instance().GetServiceClient();
    Deliver(client.IsPlusAccount(), 129,
            [&] { return client.SendEmail(client.GetAccountId(), emailText, messageText); });
}

void CUserDialog::Deliver(bool allowed, int refusal, const std::function<bool()>& send) {
    if (!allowed) {
        ShowMessage(refusal);
        return;
    }
    UpdateData(true);
    if (messageText.empty()) {
        ShowMessage(130);
        return;
    }
    bool sent = false;
    {
        WaitCursor wait;
        sent = send();
    }
    if (!sent)
        ShowMessage(AppContext::Instance().GetServiceClient().GetLastError());
}

void CUserDialog::OnOK() {
    UpdateData(true);
    hide();
    UnregisterAndNotify();
}

void CUserDialog::closeEvent(QCloseEvent* e) {
    // The default handling of the close box: the window goes. QDialog's own
    // would reject, which comes back here.
    e->accept();
    UnregisterAndNotify();
}

void CUserDialog::reject() {
    close();
}

void CUserDialog::UnregisterAndNotify() {
    Unregister();
    if (!notifyWindow)
        notifyWindow = owner_;
    if (notifyWindow)
        SendMessage(notifyWindow.data(), UM_USER_DIALOG_CLOSED, static_cast<WPARAM>(user.id), 0);
}

void CUserDialog::Unregister() {
    if (!registered_)
        return;
    registered_ = false;
    if (IMessagePoller* poller = Poller())
        poller->Unregister(user.id);
}

void CUserDialog::TakeFocus() {
    raise();
    activateWindow();
    // The window has the focus when one of its controls has it: the one
    // that had it last, the message box at first.
    QWidget* inside = focusWidget();
    (inside && inside != this ? inside : messageEdit_)->setFocus();
}

void CUserDialog::DestroyWindow() {
    hide();
    delete inbox_;
    inbox_ = nullptr;
    Unregister();
}

bool CUserDialog::event(QEvent* e) {
    if (WindowMessage::isWindowMessage(e)) {
        auto* message = static_cast<WindowMessage*>(e);
        if (message->message() == UM_USER_MESSAGE) {
            if (message->lParam())
                OnUserMessage(*reinterpret_cast<const XmlNode*>(message->lParam()));
        } else if (message->message() == UM_FOCUS_USER_DIALOG) {
            // A focus request that comes after the window closed is late.
            if (!IsWindowOpen()) {
                message->setResult(0);
                message->accept();
                return true;
            }
            TakeFocus();
        } else {
            return QDialog::event(e);
        }
        message->setResult(0);
        message->accept();
        return true;
    }
    return QDialog::event(e);
}

} // namespace velmora
