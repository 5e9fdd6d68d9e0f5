#include "command_line.h"
#include "qt_message_boxes.h"
#include "string_table.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    if (velmora::EndsAtOnce(arguments))
        return 0;

    QApplication app(argc, argv);
    velmora::InstallMessageBoxes(std::make_shared<velmora::QtMessageBoxes>());

    QMainWindow frame;
    frame.setWindowTitle(QString::fromStdString(velmora::LoadString(101)));
    frame.resize(800, 600);
    velmora::QtMessageBoxes::setMainWindow(&frame);
    frame.show();
    return app.exec();
}
