#include "stealth_dialog.h"

#include <QTimerEvent>

namespace velmora {

CStealthDialog::CStealthDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DontShowOnScreen);
    resize(416, 60);
    setEnabled(false);
}

void CStealthDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!timerId_)
        timerId_ = startTimer(10);
}

void CStealthDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_) {
        QDialog::timerEvent(event);
        return;
    }
    killTimer(timerId_);
    timerId_ = 0;
    accept();
}

} // namespace velmora
