#pragma once

#include <functional>

class QDialog;

namespace velmora {

// Every modal dialog of the program runs through RunModal, so tests can fill
// in a dialog and press its buttons instead of a person.
using ModalRunner = std::function<int(QDialog&)>;

// Runs the dialog modally (QDialog::exec, or the installed runner) and
// returns its result code.
int RunModal(QDialog& dialog);

// Installs a runner and returns the one it replaces; an empty runner puts
// QDialog::exec back.
ModalRunner InstallModalRunner(ModalRunner runner);

} // namespace velmora
