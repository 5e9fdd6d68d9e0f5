#include "folder_browser.h"

#include "message_boxes.h"

#include <QFileInfo>

#include <utility>

namespace velmora {

namespace {

CFolderBrowser::FolderChooser& Chooser() {
    static CFolderBrowser::FolderChooser chooser;
    return chooser;
}

} // namespace

CFolderBrowser::CFolderBrowser(QWidget* parent) : QFileDialog(parent, kTitle) {
    // Qt's own dialog, so the typed path comes to accept() and is checked
    // here rather than by a platform dialog of its own rules.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::ShowDirsOnly, true);
    setFileMode(QFileDialog::Directory);
    setAcceptMode(QFileDialog::AcceptOpen);
}

void CFolderBrowser::accept() {
    const QStringList chosen = selectedFiles();
    if (chosen.isEmpty() || !QFileInfo(chosen.front()).isDir()) {
        ShowMessage(135);
        return;
    }
    QFileDialog::accept();
}

std::string CFolderBrowser::ChooseFolder(QWidget* parent) {
    if (Chooser())
        return Chooser()();
    CFolderBrowser browser(parent);
    if (browser.exec() != QDialog::Accepted || browser.selectedFiles().isEmpty())
        return {};
    return browser.selectedFiles().front().toStdString();
}

CFolderBrowser::ScopedFolderChooser::ScopedFolderChooser(FolderChooser chooser)
    : previous_(std::exchange(Chooser(), std::move(chooser))) {}

CFolderBrowser::ScopedFolderChooser::~ScopedFolderChooser() {
    Chooser() = std::move(previous_);
}

} // namespace velmora
