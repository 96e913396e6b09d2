#pragma once

#include <QApplication>

namespace mv {

// The application object. Any error that reaches the event loop ends up in
// the standard error box, and the program goes on with the next event.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Shows the error box for the exception being handled.
    static void reportCurrentException();
};

// Maps the fonts the windows name onto fonts that exist here (with a CJK
// fallback so every Chinese caption renders).
void installFontSubstitutes();

} // namespace mv
