#include "okbutton.h"

#include <QAbstractButton>
#include <QDialog>

namespace mv {

void connectOkButton(QDialog *dialog, QAbstractButton *button, std::function<void()> handler)
{
    QObject::connect(button, &QAbstractButton::clicked, dialog, [dialog, handler = std::move(handler)] {
        struct AcceptAtEnd {
            QDialog *d;
            ~AcceptAtEnd() { d->accept(); }
        } acceptAtEnd{dialog};
        handler();
    });
}

} // namespace mv
