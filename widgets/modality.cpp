#include "modality.h"

#include <QDialog>
#include <QWindow>

namespace mv {

int execModal(QDialog *dialog, QWidget *over)
{
    if (!over)
        over = dialog->parentWidget();
    QWindow *ownerWindow = over ? over->window()->windowHandle() : nullptr;
    if (ownerWindow) {
        dialog->setWindowModality(Qt::WindowModal);
        // A dialog without owner is tied to the window by the platform's
        // transient-parent link, which is what window modality follows.
        if (!dialog->parentWidget()) {
            dialog->winId();
            if (QWindow *own = dialog->windowHandle())
                own->setTransientParent(ownerWindow);
        }
    }
    return dialog->exec();
}

} // namespace mv
