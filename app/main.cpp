#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "backup.h"
#include "backupschedule.h"
#include "mvapplication.h"
#include "startup.h"
#include "windowsloader.h"

int main(int argc, char **argv)
{
    // --restore FILE: a backup into a new file beside the database; no window.
    if (argc == 3 && qstrcmp(argv[1], "--restore") == 0) {
        QCoreApplication app(argc, argv);
        return mv::restoreFromCommandLine(QString::fromLocal8Bit(argv[2]), TmvlabDm::defaultDatabasePath());
    }
    mv::Application app(argc, argv);
    return mv::runStartUp({
        [] {
            mvlabDm = new TmvlabDm();
            fmDocumentList = new TfmDocumentList(mvlabDm, nullptr, TfmDocumentList::TreeLoading::AfterFirstPaint);
            mv::connectProgramCommands(fmDocumentList);
            // exit(), not quit(): quit() first asks every window to close again.
            QObject::connect(fmDocumentList, &TfmDocumentList::closed, qApp, [] { QCoreApplication::exit(0); },
                             Qt::QueuedConnection);
            fmDocumentList->show();
            new mv::BackupSchedule(mvlabDm->IBDatabaseMV.databaseName(), fmDocumentList);
        },
        [] {
            delete fmDocumentList;
            delete mvlabDm;
            mvlabDm = nullptr;
        },
        [] { fmDocumentList->Exit1Click(); },
    });
}
