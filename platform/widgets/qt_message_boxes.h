#pragma once

#include "message_boxes.h"

#include <QPointer>
#include <QWidget>

namespace velmora {

// The real message boxes: QMessageBox with the requested caption and buttons,
// parented to the main window or to the active window.
class QtMessageBoxes : public MessageBoxes {
public:
    BoxAnswer exec(const MessageBoxRequest& request) override;

    // The main window that owns the program's messages, once it exists.
    static void setMainWindow(QWidget* window);
    static QWidget* mainWindow();

private:
    static QPointer<QWidget>& mainWindowRef();
};

} // namespace velmora
