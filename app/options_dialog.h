#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace velmora {

// "Velmora Player - Options": service host and port, clean-up and repeat.
class COptionsDialog : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 197, IDC_HOST = 1005, IDC_PORT = 1006, IDC_CLEANUP = 1014, IDC_REPEAT = 1015 };

    explicit COptionsDialog(QWidget* parent = nullptr);

    // Shows the values in the controls.
    void SetValues(const std::string& host, const std::string& port, bool cleanUp, bool repeat);

    // Read back on OK; host and port trimmed.
    std::string host;
    std::string port;
    bool cleanUp = false;
    bool repeat = false;

    QLineEdit* hostEdit() const { return hostEdit_; }
    QLineEdit* portEdit() const { return portEdit_; }
    QCheckBox* cleanUpBox() const { return cleanUpBox_; }
    QCheckBox* repeatBox() const { return repeatBox_; }
    QPushButton* okButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOK();

    QLineEdit* hostEdit_;
    QLineEdit* portEdit_;
    QCheckBox* cleanUpBox_;
    QCheckBox* repeatBox_;
    QPushButton* okButton_;
};

} // namespace velmora
