#include "startup.h"

#include "dialogs.h"
#include "singleinstance.h"
#include "terminationsignals.h"

#include <QApplication>

namespace mv {

int runStartUp(const StartUp &steps)
{
    SingleInstanceLock lock(QString::fromLatin1(InstanceLockName));
    switch (lock.acquire()) {
    case SingleInstanceLock::Result::Failed:
        Dialogs::notice(QStringLiteral("创建互斥对象失败!"), QStringLiteral("Error"));
        return 0;
    case SingleInstanceLock::Result::AlreadyRunning:
        Dialogs::notice(QStringLiteral("你已经运行了这该软件!"), QStringLiteral("信息提示"));
        return 0;
    case SingleInstanceLock::Result::Acquired:
        break;
    }

    const QString title = QStringLiteral("Morvane资料系统V1.0");
    setApplicationTitle(title);
    QCoreApplication::setApplicationName(title);
    // Hiding the main window to the tray, then closing some dialog, must not
    // end the run: only the main window's own close does.
    QApplication::setQuitOnLastWindowClosed(false);

    // Before the windows open the database, so that the engine never gets
    // to end the program's connections on these signals.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, qApp, [&steps] {
        if (steps.exitCommand)
            steps.exitCommand();
        else
            QCoreApplication::exit(0);
    });

    steps.createWindows();
    QApplication::exec();
    lock.release();
    if (steps.destroyWindows)
        steps.destroyWindows();
    return 0;
}

} // namespace mv
