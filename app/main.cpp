#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "commandline.h"
#include "databasechoice.h"
#include "databaselocation.h"
#include "dialogs.h"
#include "backup.h"
#include "backupschedule.h"
#include "mvapplication.h"
#include "startup.h"
#include "windowsloader.h"
#include "fbsql.h"
#include "schema.h"
#include "serverlogin.h"

#include <QDebug>

#include <QStandardPaths>

#include <cstdio>

int main(int argc, char **argv)
{
    // The name of the user's data folder (start-up later gives the
    // application the window title as its name, for the taskbar).
    QCoreApplication::setApplicationName(QStringLiteral("mvlab"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MV_VERSION));
    mv::CommandLine commandLine;
    if (const std::optional<int> answered = commandLine.answerInformation(mv::CommandLine::arguments(argc, argv)))
        return *answered;

    // --restore FILE: a backup into a new file beside the database; no window.
    if (!commandLine.restore().isEmpty()) {
        QCoreApplication app(argc, argv);
        const QString database =
            mv::DatabaseLocation::choose(QCoreApplication::applicationDirPath(),
                                         QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                                         commandLine.database())
                .path;
        if (mv::db::isServerName(database)) {
            // The restored file is made beside the database: there is no
            // "beside" here for one on a server.
            std::fputs("--restore 只能恢复到本机上的数据库旁边；服务器上的数据库请在服务器上恢复。\n", stderr);
            return 1;
        }
        return mv::restoreFromCommandLine(commandLine.restore(), database);
    }

    mv::Application app(argc, argv);
    if (const std::optional<int> wrong = commandLine.parse(QCoreApplication::arguments()))
        return *wrong;
    QGuiApplication::setDesktopFileName(QStringLiteral("mvlab"));
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QString database;
    return mv::runStartUp({
        .createWindows =
            [&] {
                mvlabDm = new TmvlabDm(database);
                fmDocumentList =
                    new TfmDocumentList(mvlabDm, nullptr, TfmDocumentList::TreeLoading::AfterFirstPaint);
                mv::connectProgramCommands(fmDocumentList);
                // exit(), not quit(): quit() first asks every window to close again.
                QObject::connect(fmDocumentList, &TfmDocumentList::closed, qApp,
                                 [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
                fmDocumentList->show();
                // A database on a server is backed up where it is kept.
                if (!mv::db::isServerName(database))
                    new mv::BackupSchedule(mvlabDm->IBDatabaseMV.databaseName(), fmDocumentList);
            },
        .destroyWindows =
            [] {
                delete fmDocumentList;
                delete mvlabDm;
                mvlabDm = nullptr;
            },
        .beforeWindows =
            [&]() -> std::optional<int> {
                QString failure;
                const std::optional<mv::ServerLogin> login = mv::ServerLogin::resolve(
                    commandLine.user(), commandLine.passwordFile(), mv::CommandLine::settingsFile(), &failure);
                if (!login) {
                    mv::Dialogs::error(failure);
                    return 1;
                }
                if (!login->user.isEmpty())
                    mv::db::setServerLogin(login->user, login->password);
                const QString requested = commandLine.database().isEmpty() ? login->database : commandLine.database();
                const mv::DatabaseChoiceResult chosen =
                    mv::chooseDatabase(QCoreApplication::applicationDirPath(), userData, requested);
                if (chosen.path.isEmpty())
                    return chosen.exitCode;
                database = chosen.path;
                try {
                    // A database made before the change events gets them now;
                    // without them the program still works, but sees others'
                    // changes only when it reads again.
                    mv::ensureChangeEvents(database);
                } catch (const mv::db::DbError &e) {
                    qWarning().noquote() << "change events not added:" << e.message();
                }
                return std::nullopt;
            },
        .exitCommand =
            [] {
                if (fmDocumentList)
                    fmDocumentList->Exit1Click();
                else
                    QCoreApplication::exit(0);
            },
    });
}
