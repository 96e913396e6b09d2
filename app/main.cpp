#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "mvapplication.h"
#include "startup.h"
#include "windowsloader.h"

int main(int argc, char **argv)
{
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
        },
        [] {
            delete fmDocumentList;
            delete mvlabDm;
            mvlabDm = nullptr;
        },
        [] { fmDocumentList->Exit1Click(); },
    });
}
