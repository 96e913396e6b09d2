#include "okbutton.h"

#include <QAbstractButton>
#include <QDialog>

namespace mv {

void connectOkButton(QDialog *dialog, QAbstractButton *button, std::function<void()> handler)
{
    QObject::connect(button, &QAbstractButton::clicked, dialog, [dialog, handler = std::move(handler)] {
        // Not from a destructor: closing runs the dialog's own handlers, and
        // one that failed while an error was on its way would end the process.
        try {
            handler();
        } catch (...) {
            dialog->accept();
            throw;
        }
        dialog->accept();
    });
}

} // namespace mv
