// Runs the program's real start-up sequence with a database of the test's
// choosing, and prints every box (instead of showing it) and the window's
// creation on stdout, so a test in another process can follow it.
//   mvstartprobe DBPATH hold|quit|write
// write: once the window is there, adds a category ("WROTE|id") and waits;
// when the run ends through the exit command (the tray's, or a signal), the
// categories are counted on the same connection ("CLOSED|count").

#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "documentstore.h"
#include "dialogs.h"
#include "mvapplication.h"
#include "startup.h"

#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

#include "treeview.h"

static void say(const QString &line)
{
    // One line per event: a multi-line message keeps its breaks as "\n".
    QString one = line;
    one.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    std::fputs(one.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int main(int argc, char **argv)
{
    mv::Application app(argc, argv);
    if (argc < 3)
        return 2;
    const QString dbPath = QString::fromLocal8Bit(argv[1]);
    const bool quit = qstrcmp(argv[2], "quit") == 0;
    const bool write = qstrcmp(argv[2], "write") == 0;
    mv::Dialogs::setHandler([](const mv::Dialogs::Box &b) {
        static const char *const kinds[] = {"info", "error", "question", "notice", "savequestion"};
        say(QStringLiteral("BOX|%1|%2|%3").arg(QString::fromLatin1(kinds[int(b.kind)]), b.caption, b.text));
        return true;
    });
    return mv::runStartUp({
        .createWindows =
            [&] {
            mvlabDm = new TmvlabDm(dbPath);
            fmDocumentList = new TfmDocumentList(mvlabDm);
            // exit(), not quit(): quit() first asks every window to close again.
            QObject::connect(fmDocumentList, &TfmDocumentList::closed, qApp, [] { QCoreApplication::exit(0); },
                             Qt::QueuedConnection);
            fmDocumentList->show();
            say(QStringLiteral("WINDOW|%1|%2").arg(fmDocumentList->RzTreeView1->topLevelItemCount()).arg(mv::applicationTitle()));
            if (quit)
                QTimer::singleShot(0, fmDocumentList, &TfmDocumentList::Exit1Click);
            if (write) {
                QObject::connect(fmDocumentList, &TfmDocumentList::closed, [] {
                    mv::db::Query q(mvlabDm->IBDatabaseMV);
                    q.setSql(QStringLiteral("select count(*) from type"));
                    q.open();
                    say(QStringLiteral("CLOSED|") + q.field(0));
                });
                say(QStringLiteral("WROTE|") + mvlabDm->store().addCategory(QStringLiteral("1"), QStringLiteral("写好的")));
            }
        },
        .destroyWindows =
            [] {
            delete fmDocumentList;
            delete mvlabDm;
        },
        .exitCommand = [] { fmDocumentList->Exit1Click(); },
    });
}
