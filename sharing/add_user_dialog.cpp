#include "add_user_dialog.h"

#include "app_context.h"
#include "cache_files.h"
#include "dialog_units.h"
#include "message_boxes.h"
#include "public_directory_list.h"
#include "wait_cursor.h"
#include "window_messages.h"
#include "window_modality.h"
#include "wire/xml_names.h"
#include "xml_node.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

namespace {

ServiceClient& Client() {
    return AppContext::Instance().GetServiceClient();
}

// The client answers a failed lookup or fetch as it answers "nothing there"
// (an empty text) and appends the component's error text to its last error:
// a call failed when that text changed while it ran.
class FailureWatch {
public:
    explicit FailureWatch(const ServiceClient& client)
        : client_(client), before_(client.GetLastError()) {}
    bool Failed() const { return client_.GetLastError() != before_; }

private:
    const ServiceClient& client_;
    std::string before_;
};

QPushButton* Button(QWidget* parent, const char* text, int id, int x, int y) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    PlaceControl(button, x, y, 50, 14);
    return button;
}

QLabel* Label(QWidget* parent, const char* text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->adjustSize();
    label->move(DialogRect(x, y, 0, 0).topLeft());
    return label;
}

std::string Trimmed(const std::string& text) {
    return QString::fromStdString(text).trimmed().toStdString();
}

} // namespace

CAddUserToAclDialog::CAddUserToAclDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kCaption);
    setFixedSize(DialogRect(0, 0, 422, 307).size());

    // Made in the template's order, which is also the tab order.
    addButton_ = Button(this, "Add", 1, 365, 7);
    addButton_->setDefault(true);
    cancelButton_ = Button(this, "Cancel", 2, 365, 24);
    PlaceControl(new QGroupBox("User", this), 7, 7, 347, 66);
    // Alt and the underlined letter move to a field; the label names it.
    QLabel* accountIdLabel = Label(this, "&Account Id", 19, 17);
    accountIdEdit_ = new QLineEdit(this);
    accountIdEdit_->setObjectName(QString::number(IDC_ACCOUNT_ID));
    PlaceControl(accountIdEdit_, 74, 17, 131, 14);
    accountIdLabel->setBuddy(accountIdEdit_);
    Label(this, "or", 29, 34);
    QLabel* emailLabel = Label(this, "&Email Address", 20, 51);
    emailEdit_ = new QLineEdit(this);
    emailEdit_->setObjectName(QString::number(IDC_EMAIL));
    PlaceControl(emailEdit_, 75, 48, 199, 14);
    emailLabel->setBuddy(emailEdit_);
    findButton_ = Button(this, "Find!", IDC_FIND, 281, 15);
    showButton_ = Button(this, "Show...", IDC_SHOW, 282, 35);
    PlaceControl(new QGroupBox("Public Directory", this), 7, 78, 408, 222);
    directoryList_ = new CPublicDirectoryList(this);
    directoryList_->setObjectName(QString::number(IDC_DIRECTORY));
    directoryList_->setAccessibleName("Public Directory");
    PlaceControl(directoryList_, 13, 93, 341, 199);
    reloadButton_ = Button(this, "Reload", IDC_RELOAD, 360, 93);

    connect(addButton_, &QPushButton::clicked, this, &CAddUserToAclDialog::OnOK);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(findButton_, &QPushButton::clicked, this, &CAddUserToAclDialog::OnFind);
    connect(showButton_, &QPushButton::clicked, this, &CAddUserToAclDialog::OnShow);
    connect(reloadButton_, &QPushButton::clicked, this, &CAddUserToAclDialog::OnReload);
    connect(directoryList_, &CPublicDirectoryList::rowClicked, this,
            &CAddUserToAclDialog::OnDirectoryClick);
}

void CAddUserToAclDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
}

void CAddUserToAclDialog::setVisible(bool visible) {
    if (visible && !isVisible() && testAttribute(Qt::WA_ShowModal))
        MakeModalToWindowOf(*this, parentWidget());
    QDialog::setVisible(visible);
}

void CAddUserToAclDialog::OnInitDialog() {
    accountIdEdit_->setFocus();
    setWindowTitle(windowTitle() + " '" + QString::fromStdString(listName) + "'");
    FillDirectory(ReadWholeFile(CacheFolder() + kDirectoryCacheFile));
}

void CAddUserToAclDialog::UpdateData(bool save) {
    if (save) {
        accountIdText = accountIdEdit_->text().toStdString();
        emailText = emailEdit_->text().toStdString();
    } else {
        accountIdEdit_->setText(QString::fromStdString(accountIdText));
        emailEdit_->setText(QString::fromStdString(emailText));
    }
}

void CAddUserToAclDialog::OnFind() {
    UpdateData(true);
    accountIdText = Trimmed(accountIdText);
    emailText = Trimmed(emailText);
    if (accountIdText.empty() == emailText.empty()) {
        ShowMessage(108);
        return;
    }
    foundUserId = -1;
    ServiceClient& client = Client();
    const FailureWatch watch(client);
    const std::string reply = accountIdText.empty() ? client.FindUserByEmail(emailText)
                                                    : client.FindUserById(accountIdText);
    if (reply.empty()) {
        // A lookup that failed is not a user who is missing: say what failed.
        if (watch.Failed())
            ShowMessage(client.GetLastError());
        else
            ShowMessage(119);
        return;
    }
    foundUser = UserRecord::FromReply(reply);
    if (foundUser.id == client.GetUserId()) {
        ShowMessage(118);
        return;
    }
    foundUserId = foundUser.id;
    if (foundUserId == 0) {
        ShowMessage(107);
        return;
    }
    accountIdText = foundUser.accountId;
    emailText = foundUser.email;
    UpdateData(false);
}

void CAddUserToAclDialog::OnOK() {
    if (foundUserId <= 0)
        OnFind();
    if (foundUserId <= 0)
        return;
    accept();
}

void CAddUserToAclDialog::OnShow() {
    if (foundUserId < 1) {
        ShowMessage(107);
        return;
    }
    if (viewWindow)
        SendMessage(viewWindow.data(), UM_OPEN_USER_DIALOG, static_cast<WPARAM>(foundUserId),
                    reinterpret_cast<LPARAM>(&foundUser));
}

void CAddUserToAclDialog::OnDirectoryClick(int row) {
    QTableWidgetItem* accountId = row < 0 ? nullptr : directoryList_->item(row, 0);
    accountIdText = accountId ? accountId->text().toStdString() : std::string();
    // A click outside the rows finds nobody: an empty record.
    auto entry = directory.find(row);
    foundUser = entry == directory.end() ? UserRecord() : entry->second;
    foundUserId = foundUser.id;
    UpdateData(false);
}

void CAddUserToAclDialog::OnReload() {
    directoryList_->DeleteAllItems();
    directory.clear();
    ServiceClient& client = Client();
    const FailureWatch watch(client);
    {
        WaitCursor wait;
        directoryList_->hide();
        directoryList_->DeleteAllItems();
        FillDirectory(client.GetPublicDirectory());
        directoryList_->show();
    }
    // A failed fetch is no empty directory.
    if (watch.Failed())
        ShowMessage(client.GetLastError());
}

void CAddUserToAclDialog::FillDirectory(const std::string& text) {
    const XmlNode root(text);
    for (const XmlNode& child : root.children()) {
        if (child.name() != wire::xml::element::kUser)
            continue;
        UserRecord user = UserRecord::FromNode(child);
        directory[directoryList_->AppendUser(user)] = std::move(user);
    }
    directoryList_->SizeColumns();
}

} // namespace velmora
