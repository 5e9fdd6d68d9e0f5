#pragma once

#include <QDialog>

namespace velmora {

// A hidden dialog that ends itself with OK after one 10 ms timer tick: a
// short pause in which the window messages already queued are handled.
class CStealthDialog : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 205 };
    explicit CStealthDialog(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int timerId_ = 0;
};

} // namespace velmora
