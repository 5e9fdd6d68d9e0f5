#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

class QPushButton;
class QTextEdit;

namespace velmora {

// "Velmora Player - Acl - Communicate": one text to every member of an access
// list, as a service message to the list or as an e-mail to each member.
class CCommunicateAclDialog : public QDialog {
    Q_OBJECT

public:
    enum { IDD = 254, IDC_MESSAGE = 1016, IDC_EMAIL = 1017, IDC_SEND = 1018, IDI_ICON = 179 };
    static constexpr const char* kCaption = "Velmora Player - Acl - Communicate";

    explicit CCommunicateAclDialog(QWidget* parent = nullptr);

    // Set by the opener.
    std::int32_t listId = -1;
    // Exchanged with the message box.
    std::string messageText;

    void OnSend();
    void OnEmail();

    QTextEdit* messageEdit() const { return messageEdit_; }
    QPushButton* closeButton() const { return closeButton_; }
    QPushButton* sendButton() const { return sendButton_; }
    QPushButton* emailButton() const { return emailButton_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    // Sends the e-mail to every member in the list's order; false at the
    // first that fails, which has then been shown.
    bool EmailMembers();

    QTextEdit* messageEdit_;
    QPushButton* closeButton_;
    QPushButton* sendButton_;
    QPushButton* emailButton_;
};

} // namespace velmora
