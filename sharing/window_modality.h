#pragma once

class QDialog;
class QWidget;

namespace velmora {

// Makes the dialog modal to the window `over` stands in (with the windows that
// window stands on), not to the whole program: a user's conversation window,
// a top-level window of its own, keeps taking input while the dialog runs.
// Without such a window to block, the dialog stays modal to the program.
// Call before the dialog is shown.
void MakeModalToWindowOf(QDialog& dialog, QWidget* over);

} // namespace velmora
