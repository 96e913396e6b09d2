#pragma once

#include <functional>

class QAbstractButton;
class QDialog;

namespace mv {

// A dialog button that carries the modal result OK: a click runs the
// handler, then closes the dialog with OK in every case, also when the
// handler stops early or throws.
void connectOkButton(QDialog *dialog, QAbstractButton *button, std::function<void()> handler);

} // namespace mv
