// Main window figures on one generated database (10,000 categories,
// 100,000 documents; category 2 roots a 5,000-category subtree holding
// 20,000 documents):
//  - start-up until the main window is first painted, as a ratio to a
//    minimal Qt Widgets program showing one empty window (both run here,
//    in child processes, alternately);
//  - a click on category 2 until its rows are in the grid and painted;
//  - one search keystroke over all documents: the plain LIKE statement
//    alone, and the list's whole search (bound pattern, boundary filter).
//
//   bench-mainwindow [DBPATH]   (generates into a temporary folder without)

#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "documentquery.h"
#include "generator.h"
#include "mvapplication.h"
#include "startup.h"
#include "treeview.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QTextStream out(stdout);

// Prints "SHOWN" at the first paint of any widget of the watched window
// (a window covered by its children gets none itself), then ends the run.
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget *window, std::function<void()> done) : window_(window), done_(std::move(done))
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject *o, QEvent *e) override
    {
        auto *w = qobject_cast<QWidget *>(o);
        if (e->type() == QEvent::Paint && !seen_ && w && w->window() == window_) {
            seen_ = true;
            std::puts("SHOWN");
            std::fflush(stdout);
            QTimer::singleShot(0, done_);
        }
        return QObject::eventFilter(o, e);
    }

private:
    QWidget *window_;
    std::function<void()> done_;
    bool seen_ = false;
};

int runEmptyWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget w;
    w.resize(781, 568);
    FirstPaint watch(&w, [] { QCoreApplication::exit(0); });
    w.show();
    return app.exec();
}

int runProgram(int argc, char **argv, const QString &db)
{
    mv::Application app(argc, argv);
    FirstPaint *watch = nullptr;
    return mv::runStartUp({
        [&] {
            mvlabDm = new TmvlabDm(db);
            fmDocumentList = new TfmDocumentList(mvlabDm);
            watch = new FirstPaint(fmDocumentList, [] { QCoreApplication::exit(0); });
            fmDocumentList->show();
        },
        [&] {
            delete fmDocumentList;
            delete mvlabDm;
            delete watch;
        },
    });
}

double median(std::vector<double> v)
{
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Wall time from starting the process to its "SHOWN" line, in ms.
double timeToShown(const QString &self, const QStringList &args, const QString &runtimeDir)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(self, args);
    QByteArray seen;
    while (!seen.contains("SHOWN")) {
        if (!p.waitForReadyRead(120000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        seen += p.readAllStandardOutput();
    }
    const double ms = t.nsecsElapsed() / 1e6;
    if (!p.waitForFinished(120000)) {
        p.kill(); // the next start must not find the lock held
        p.waitForFinished();
        return -1;
    }
    return ms;
}

template<typename F>
double timeMs(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && qstrcmp(argv[1], "--empty") == 0)
        return runEmptyWindow(argc, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--program") == 0)
        return runProgram(argc, argv, QString::fromLocal8Bit(argv[2]));

    QTemporaryDir tmp;
    QString db = argc >= 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (db.isEmpty()) {
        db = tmp.filePath(QStringLiteral("mvlabnew.fdb"));
        const mvbench::GenStats s = mvbench::generate(db, 10000, 100000, 20240601, 5000, 20000);
        out << "generated " << s.categories << " categories, " << s.documents << " documents, "
            << s.contentBytes / 1024 / 1024 << " MB of content in " << s.seconds << " s\n";
        out.flush();
    }
    const QString self = QString::fromLocal8Bit(argv[0]);

    // Start-up: alternate the two programs so both see the same machine.
    std::vector<double> empty, program;
    timeToShown(self, {QStringLiteral("--program"), db}, tmp.path()); // warm the file cache
    for (int i = 0; i < 5; ++i) {
        empty.push_back(timeToShown(self, {QStringLiteral("--empty")}, tmp.path()));
        program.push_back(timeToShown(self, {QStringLiteral("--program"), db}, tmp.path()));
    }
    out << "start-up to main window shown: " << median(program) << " ms; empty Qt window: " << median(empty)
        << " ms; ratio " << median(program) / median(empty) << " (median of 5)\n";
    out.flush();

    mv::Application app(argc, argv);
    TmvlabDm dm(db);
    TfmDocumentList w(&dm);
    w.show();
    QCoreApplication::processEvents();

    // Category click on the 5,000-category subtree.
    QTreeWidgetItem *two = w.RzTreeView1->findItems(QStringLiteral("2 "), Qt::MatchStartsWith | Qt::MatchRecursive).value(0);
    std::vector<double> clicks;
    int rows = 0;
    for (int i = 0; i < 5 && two; ++i) {
        w.RzTreeView1->setCurrentItem(two);
        clicks.push_back(timeMs([&] {
            w.RzTreeView1Click();
            w.DBGridEh1->repaint();
        }));
        rows = w.IBQueryDocument->rowCount();
    }
    out << "click on a 5,000-category subtree: " << median(clicks) << " ms to " << rows
        << " rows shown (median of 5; statements: " << w.IBQueryDocument->lastStatements().size() << ")\n";
    out.flush();

    // One search keystroke over every document.
    for (const QString &text : {QStringLiteral("zqxj"), QStringLiteral("<table"), QStringLiteral("的"),
                                QStringLiteral("a")}) {
        std::vector<double> plain, full;
        int plainRows = 0;
        for (int i = 0; i < 3; ++i) {
            plain.push_back(timeMs([&] {
                mv::db::Query q(dm.IBDatabaseMV);
                q.setSql(QStringLiteral("select * from documents where  content like '%") + text + QStringLiteral("%'"));
                q.open();
                plainRows = 0;
                while (!q.eof()) {
                    q.field(QStringLiteral("TITLE"));
                    ++plainRows;
                    q.next();
                }
            }));
            full.push_back(timeMs([&] {
                w.EdFind->setText(text); // runs the list's search
                w.DBGridEh1->repaint();
                w.EdFind->blockSignals(true);
                w.EdFind->clear();
                w.EdFind->blockSignals(false);
            }));
        }
        out << "search \"" << text << "\" over 100,000 documents: plain LIKE " << median(plain) << " ms ("
            << plainRows << " rows); the list's search " << median(full) << " ms (" << w.IBQueryDocument->rowCount()
            << " rows)\n";
        out.flush();
    }
    return 0;
}
