#include "startup.h"

#include "dialogs.h"
#include "privatefolder.h"
#include "singleinstance.h"
#include "terminationsignals.h"

#include <QApplication>
#include <QDir>
#include <QFile>

namespace mv {

namespace {

void refuse(const QString &failure)
{
    // The path and the reason after the message, so the user can mend it.
    Dialogs::notice(QStringLiteral("创建互斥对象失败!\n") + failure, QStringLiteral("Error"));
}

} // namespace

bool useEngineLockFolder(const QString &privateDir, QString *failure)
{
    if (!qEnvironmentVariableIsEmpty(EngineLockVariable))
        return true;
    const QString folder = QDir(privateDir).filePath(QStringLiteral("%1-firebird").arg(QLatin1String(InstanceLockName)));
    QString why;
    if (!PrivateFolder::ensure(folder, &why)) {
        if (failure)
            *failure = QDir::toNativeSeparators(folder) + QStringLiteral(": ") + why;
        return false;
    }
    qputenv(EngineLockVariable, QFile::encodeName(folder));
    return true;
}

int runStartUp(const StartUp &steps)
{
    SingleInstanceLock lock(QString::fromLatin1(InstanceLockName));
    switch (lock.acquire()) {
    case SingleInstanceLock::Result::Failed:
        refuse(lock.failure());
        return 0;
    case SingleInstanceLock::Result::AlreadyRunning:
        Dialogs::notice(QStringLiteral("你已经运行了这该软件!"), QStringLiteral("信息提示"));
        return 0;
    case SingleInstanceLock::Result::Acquired:
        break;
    }
    QString failure;
    if (!useEngineLockFolder(lock.directory(), &failure)) {
        refuse(failure);
        return 0;
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

    if (steps.beforeWindows) {
        if (const std::optional<int> end = steps.beforeWindows()) {
            lock.release();
            return *end;
        }
    }
    steps.createWindows();
    QApplication::exec();
    lock.release();
    if (steps.destroyWindows)
        steps.destroyWindows();
    return 0;
}

} // namespace mv
