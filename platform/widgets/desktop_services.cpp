#include "desktop_services.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace velmora {

namespace {
DesktopActions& installed() {
    static DesktopActions actions;
    return actions;
}
} // namespace

bool OpenUrl(const std::string& url) {
    if (auto open = installed().openUrl)
        return open(url);
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
    if (auto start = installed().startProgram)
        return start(program, arguments);
    if (program.empty())
        return false;
    QStringList args;
    for (const auto& a : arguments)
        args << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), args);
}

DesktopActions InstallDesktopActions(DesktopActions actions) {
    std::swap(installed(), actions);
    return actions;
}

} // namespace velmora
