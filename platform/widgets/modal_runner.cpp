#include "modal_runner.h"

#include <QDialog>

namespace velmora {

namespace {
ModalRunner& installed() {
    static ModalRunner runner;
    return runner;
}
} // namespace

int RunModal(QDialog& dialog) {
    // Copied, so a runner may install another one while it runs.
    ModalRunner runner = installed();
    return runner ? runner(dialog) : dialog.exec();
}

ModalRunner InstallModalRunner(ModalRunner runner) {
    std::swap(installed(), runner);
    return runner;
}

} // namespace velmora
