#pragma once

#include <QDialog>

#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

// "Velmora Player - Prompt": one line of text for a name or an address.
class CInputBoxDialog : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 250, IDC_INPUT = 1012, IDC_PROMPT = 1013 };

    explicit CInputBoxDialog(QWidget* parent = nullptr);

    void SetPrompt(const std::string& prompt);
    void SetValue(const std::string& value);
    // The trimmed value, read back on OK.
    std::string value;

    QLabel* promptLabel() const { return promptLabel_; }
    QLineEdit* inputEdit() const { return inputEdit_; }
    QPushButton* okButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOK();

    QLabel* promptLabel_;
    QLineEdit* inputEdit_;
    QPushButton* okButton_;
};

// Asks for one line; the typed text on OK, an empty text on Cancel (OK
// refuses an empty value, so empty always means Cancel).
std::string Prompt(const std::string& prompt,
                   const std::optional<std::string>& initial = std::nullopt);

} // namespace velmora
