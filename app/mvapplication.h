#pragma once

#include <QApplication>

#include <type_traits>
#include <utility>

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

// A handler to connect to a signal: an error it throws goes to the standard
// error box right here, so it never unwinds through the toolkit's own code
// (which is not built to be unwound through). Application::notify stays as
// the last resort for anything else.
template<typename Receiver, typename... Args>
auto reported(Receiver *receiver, void (Receiver::*handler)(Args...))
{
    return [receiver, handler](Args... args) {
        try {
            (receiver->*handler)(args...);
        } catch (...) {
            Application::reportCurrentException();
        }
    };
}

// The same for a function object.
template<typename F>
auto reported(F f)
{
    // Constrained, so that a signal's extra arguments are left out as for
    // any handler that takes fewer.
    return [f]<typename... Args>(Args &&...args) requires std::is_invocable_v<const F &, Args...>
    {
        try {
            f(std::forward<Args>(args)...);
        } catch (...) {
            Application::reportCurrentException();
        }
    };
}

// Maps the fonts the windows name onto fonts that exist here (with a CJK
// fallback so every Chinese caption renders).
void installFontSubstitutes();

} // namespace mv
