#pragma once

#include <QDialog>

class QPushButton;

namespace velmora {

// "About Velmora Media Player"; Help... opens the help page on the service
// host and port in use.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 100, IDC_LEGAL = 1004, IDC_HELP = 1019 };

    explicit CAboutDlg(QWidget* parent = nullptr);
    QPushButton* helpButton() const { return helpButton_; }

private:
    void OnHelp();
    QPushButton* helpButton_;
};

} // namespace velmora
