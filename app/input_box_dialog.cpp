#include "input_box_dialog.h"

#include "message_boxes.h"
#include "modal_runner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

CInputBoxDialog::CInputBoxDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Velmora Player - Prompt");
    resize(610, 94);
    promptLabel_ = new QLabel(this);
    promptLabel_->setObjectName("1013");
    inputEdit_ = new QLineEdit(this);
    inputEdit_->setObjectName("1012");
    okButton_ = new QPushButton("Ok", this);
    okButton_->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);

    auto* fields = new QVBoxLayout;
    fields->addWidget(promptLabel_);
    fields->addWidget(inputEdit_);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(okButton_);
    buttons->addWidget(cancel);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);

    connect(okButton_, &QPushButton::clicked, this, &CInputBoxDialog::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CInputBoxDialog::SetPrompt(const std::string& prompt) {
    // The prompt names the field for a screen reader. It is no buddy label:
    // a label with a buddy would take an "&" in the text for a mnemonic.
    promptLabel_->setText(QString::fromStdString(prompt));
    inputEdit_->setAccessibleName(promptLabel_->text());
}

void CInputBoxDialog::SetValue(const std::string& v) {
    value = v;
    inputEdit_->setText(QString::fromStdString(v));
}

void CInputBoxDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    inputEdit_->setFocus();
}

void CInputBoxDialog::OnOK() {
    value = inputEdit_->text().trimmed().toStdString();
    if (value.empty()) {
        ShowMessage(106);
        inputEdit_->setFocus();
        return;
    }
    accept();
}

std::string Prompt(const std::string& prompt, const std::optional<std::string>& initial) {
    CInputBoxDialog dialog;
    dialog.SetPrompt(prompt);
    if (initial)
        dialog.SetValue(*initial);
    if (RunModal(dialog) != QDialog::Accepted)
        return {};
    return dialog.value;
}

} // namespace velmora
