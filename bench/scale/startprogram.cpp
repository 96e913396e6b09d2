// The program's own start-up, built as the program is (the same libraries,
// the windows module loaded later), with a database of the benchmark's
// choosing. Prints "SHOWN" at the main window's first paint, "TREE" once its
// tree has been painted with nodes and "MODULE" once the windows module is
// loaded, then ends.
//   bench-startprogram DBPATH
//   bench-startprogram DBPATH --stalls   then for 3 s more, prints "STALL n":
//                                        the longest the event loop did not
//                                        answer (ms) after the tree
//   bench-startprogram --empty     one empty window, shown by this program
#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "mvapplication.h"
#include "startup.h"
#include "treeview.h"
#include "windowsloader.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <algorithm>
#include <memory>

namespace {

void say(const char *what)
{
    std::puts(what);
    std::fflush(stdout);
}

// Watches the paints of every widget of a window (a window covered by its
// children gets none itself).
class PaintWatch : public QObject
{
public:
    PaintWatch(QWidget *window, QTreeWidget *tree, bool stalls = false)
        : window_(window), tree_(tree), stalls_(stalls)
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject *o, QEvent *e) override
    {
        auto *w = qobject_cast<QWidget *>(o);
        if (e->type() == QEvent::Paint && w && w->window() == window_) {
            if (!shown_) {
                shown_ = true;
                say("SHOWN");
                if (!tree_)
                    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
            }
            if (tree_ && w == tree_->viewport() && tree_->topLevelItemCount() > 0) {
                say("TREE");
                qApp->removeEventFilter(this);
                if (stalls_)
                    watchStalls();
                waitForModule();
            }
        }
        return QObject::eventFilter(o, e);
    }

private:
    void waitForModule()
    {
        if (mv::WindowsModule::isLoaded()) {
            say("MODULE");
            if (!stalls_)
                QCoreApplication::exit(0);
            return;
        }
        QTimer::singleShot(1, this, &PaintWatch::waitForModule);
    }

    void watchStalls()
    {
        auto *tick = new QTimer(this);
        tick->setInterval(1);
        auto last = std::make_shared<QElapsedTimer>();
        auto longest = std::make_shared<double>(0);
        last->start();
        connect(tick, &QTimer::timeout, this, [last, longest] {
            *longest = std::max(*longest, last->nsecsElapsed() / 1e6);
            last->restart();
        });
        tick->start();
        QTimer::singleShot(3000, this, [longest] {
            std::printf("STALL %.1f\n", *longest);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }

    QWidget *window_;
    QTreeWidget *tree_;
    bool stalls_;
    bool shown_ = false;
};

} // namespace

int main(int argc, char **argv)
{
    mv::Application app(argc, argv);
    if (argc < 2)
        return 2;
    if (qstrcmp(argv[1], "--empty") == 0) {
        QWidget w;
        w.resize(781, 568);
        PaintWatch watch(&w, nullptr);
        w.show();
        return app.exec();
    }
    const QString db = QString::fromLocal8Bit(argv[1]);
    std::unique_ptr<PaintWatch> watch;
    return mv::runStartUp({
        [&] {
            // As main() does it.
            mvlabDm = new TmvlabDm(db);
            fmDocumentList = new TfmDocumentList(mvlabDm, nullptr, TfmDocumentList::TreeLoading::AfterFirstPaint);
            mv::connectProgramCommands(fmDocumentList);
            watch = std::make_unique<PaintWatch>(fmDocumentList, fmDocumentList->RzTreeView1,
                                                 argc > 2 && qstrcmp(argv[2], "--stalls") == 0);
            fmDocumentList->show();
        },
        [] {
            delete fmDocumentList;
            delete mvlabDm;
        },
    });
}
