#pragma once

// CUserDialog: the modeless window for one other user. It shows his account
// id, names and e-mail address, sends him messages through the service or
// by e-mail, and shows the messages the poller receives from him. The object
// outlives its window: the owner closes the window and makes it again, and
// the conversation stays.
//
// The dialog is a top-level window with no parent widget: a dialog modal to
// the main window (the access lists dialog, from which it is opened) does not
// block it, and it is not tied to that dialog either. Its owner (the library
// view) hears of its closing and destroys it when the view goes. It never
// keeps the program running once the main window has closed.

#include "handle_registry.h"
#include "user_record.h"

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace velmora {

class XmlNode;

class CUserDialog : public QDialog {
    Q_OBJECT

public:
    enum {
        IDD = 259,
        IDC_ACCOUNT_ID = 1002,
        IDC_FIRST_NAME = 256,
        IDC_LAST_NAME = 257,
        IDC_EMAIL = 1015,
        IDC_PICTURE = 255,
        IDC_MESSAGE = 1016,
        IDC_CONVERSATION = 258,
        IDC_SEND = 1018,
        IDC_EMAIL_BUTTON = 1017,
    };
    static constexpr const char* kCaption = "Velmora Player - User";

    CUserDialog();
    ~CUserDialog() override;

    // Set by the owner before the window is made.
    UserRecord user;
    std::int32_t iconId = 0;
    // Kept by the owner: true while the window exists.
    bool created = false;
    // Receives UM_USER_DIALOG_CLOSED; when none is set at closing, the
    // owner window given to Create is used and kept.
    QPointer<QObject> notifyWindow;

    // The texts exchanged with the controls.
    std::string accountIdText;
    std::string firstNameText;
    std::string lastNameText;
    std::string emailText;
    std::string messageText;
    std::string conversationText;

    std::int32_t UserId() const { return user.id; }

    // Makes the window for the given owner and initialises it; the owner
    // shows it.
    void Create(QObject* owner);
    // Ends the window: hidden, no longer registered with the poller, and no
    // message reaches it until it is made again.
    void DestroyWindow();
    bool IsWindowOpen() const { return inbox_ != nullptr; }
    // Brings the window to the front with the keyboard in it.
    void TakeFocus();
    // The handle the poller delivers to: it resolves only while the window
    // is open.
    Handle InboxHandle() const;

    // Controls to texts (save) or texts to controls.
    void UpdateData(bool save);

    void OnSend();
    void OnEmail();
    // The Close button.
    void OnOK();
    // A received "message" element.
    void OnUserMessage(const XmlNode& message);

    QLineEdit* accountIdEdit() const { return accountIdEdit_; }
    QLineEdit* firstNameEdit() const { return firstNameEdit_; }
    QLineEdit* lastNameEdit() const { return lastNameEdit_; }
    QLineEdit* emailEdit() const { return emailEdit_; }
    QTextEdit* messageEdit() const { return messageEdit_; }
    QTextEdit* conversationEdit() const { return conversationEdit_; }
    QLabel* picture() const { return picture_; }
    QPushButton* closeButton() const { return closeButton_; }
    QPushButton* sendButton() const { return sendButton_; }
    QPushButton* emailButton() const { return emailButton_; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Escape closes the window as its close box does.
    void reject() override;

private:
    void OnInitDialog();
    void UnregisterAndNotify();
    void Unregister();
    void ShowConversation();
    // Sends the typed message by `send` once the account may and there is a message; `refusal`
    // is the message shown when the account may not.
    void Deliver(bool allowed, int refusal, const std::function<bool()>& send);

    QLineEdit* accountIdEdit_;
    QLineEdit* firstNameEdit_;
    QLineEdit* lastNameEdit_;
    QLineEdit* emailEdit_;
    QLabel* picture_;
    QTextEdit* messageEdit_;
    QTextEdit* conversationEdit_;
    QPushButton* closeButton_;
    QPushButton* sendButton_;
    QPushButton* emailButton_;
    // The window that made this one: its parent in all but the widget tree.
    QPointer<QObject> owner_;
    // Exists while the window is open.
    QObject* inbox_ = nullptr;
    bool registered_ = false;
};

} // namespace velmora
