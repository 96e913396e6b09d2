#pragma once

class QDialog;
class QWidget;

namespace mv {

// Runs a dialog modally over one window only: its owner (the parent
// widget's window), or over for a dialog made without owner. The other
// windows of the program, above all the notification-area icon's, keep
// answering; a dialog modal to the whole application would block the icon
// too. Without any window to be modal to (or one not shown yet), the
// dialog is modal to the whole application.
int execModal(QDialog *dialog, QWidget *over = nullptr);

} // namespace mv
