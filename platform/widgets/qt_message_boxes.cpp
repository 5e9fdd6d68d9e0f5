#include "qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace velmora {

QPointer<QWidget>& QtMessageBoxes::mainWindowRef() {
    static QPointer<QWidget> window;
    return window;
}

void QtMessageBoxes::setMainWindow(QWidget* window) {
    mainWindowRef() = window;
}

QWidget* QtMessageBoxes::mainWindow() {
    return mainWindowRef().data();
}

BoxAnswer QtMessageBoxes::exec(const MessageBoxRequest& request) {
    QWidget* parent =
        request.owner == BoxOwner::MainWindow ? mainWindow() : QApplication::activeWindow();
    if (!parent)
        parent =
            request.owner == BoxOwner::MainWindow ? QApplication::activeWindow() : mainWindow();
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdString(request.caption));
    box.setText(QString::fromStdString(request.text));
    box.setTextFormat(Qt::PlainText);
    if (request.buttons == BoxButtons::Ok) {
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return BoxAnswer::Ok;
    }
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

} // namespace velmora
