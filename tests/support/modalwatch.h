#pragma once

#include <QApplication>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace mvtest {

// Watchers still waiting; dropModalWatchers() ends them when a test ends
// (their actions refer to the finished test's variables).
inline QList<QPointer<QTimer>> &modalWatchers()
{
    static QList<QPointer<QTimer>> watchers;
    return watchers;
}

inline void dropModalWatchers()
{
    for (const QPointer<QTimer> &t : std::as_const(modalWatchers()))
        delete t.data();
    modalWatchers().clear();
}

// Runs action on the next modal dialog of type T that comes up (other than
// except). A dialog that is still open afterwards (it was not ready to take
// the answer) gets the action again; after a few seconds it is rejected, so
// that a failing case fails instead of hanging.
template <typename T>
void onNextModal(std::function<void(T *)> action, QWidget *except = nullptr)
{
    auto *timer = new QTimer;
    modalWatchers().append(timer);
    timer->setInterval(20);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, action, except, tries] {
        QWidget *w = QApplication::activeModalWidget();
        T *d = qobject_cast<T *>(w);
        if (!d || d == except)
            return;
        if (++*tries > 250) {
            timer->stop();
            timer->deleteLater();
            static_cast<QDialog *>(d)->reject();
            return;
        }
        action(d);
        if (!d->isVisible()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace mvtest
