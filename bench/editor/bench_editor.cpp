// The editor with a document of about 100 KB: from constructing the window in
// edit mode (what the list's double click does) to a shown, editable
// document, the first and the second time in one run, and the time of Save.
// Prints milliseconds; run with QT_QPA_PLATFORM=offscreen where there is no
// display. Usage: bench-editor [folder for the database] [--shot picture.png]
// With --shot it also opens a short Chinese document and saves a picture of
// the screen (needs a real display, e.g. under xvfb-run).
#include "UnitDM.h"
#include "UnitTemp.h"
#include "dialogs.h"
#include "gbkcodec.h"
#include "generator.h"
#include "uHtmlEdit.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstdio>

namespace {


QVariant js(TfmTemp &ed, const QString &script) { return ed.HtmlEdit1->Document()->Evaluate(script); }

// Constructs the editor in edit mode, shows it, and waits until the whole
// document is laid out and editable. Returns milliseconds.
double constructedAt = 0;

double openEditable(const QString &id, std::unique_ptr<TfmTemp> &ed)
{
    QElapsedTimer t;
    t.start();
    ed.reset(new TfmTemp(nullptr, id + QStringLiteral("-Edit-none")));
    constructedAt = t.nsecsElapsed() / 1e6;
    ed->show();
    if (!QTest::qWaitForWindowExposed(ed.get()))
        std::fprintf(stderr, "window not exposed\n");
    ed->sbEdit->click();
    // The last paragraph exists and has been laid out; design mode is on.
    for (int i = 0; i < 1000; ++i) {
        const bool ready = js(*ed, QStringLiteral("var e = document.getElementById('last');"
                                                  "return !!e && e.getBoundingClientRect().height > 0"
                                                  " && document.designMode === 'on';"))
                               .toBool();
        if (ready)
            break;
        QTest::qWait(1);
    }
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0"));
    QTemporaryDir tmp;
    QStringList args = app.arguments().mid(1);
    QString shot;
    if (const qsizetype i = args.indexOf(QStringLiteral("--shot")); i >= 0) {
        shot = args.value(i + 1);
        args.remove(i, 2);
    }
    const QString folder = args.isEmpty() ? tmp.path() : args.first();
    const QString dbPath = QDir(folder).filePath(QStringLiteral("bench-editor.fdb"));
    QFile::remove(dbPath);
    mvbench::generate(dbPath, 200, 2000, 7);

    mvlabDm = new TmvlabDm(dbPath);
    const QString body = mvbench::richBody(100 * 1024);
    mvlabDm->runUnit([&] {
        mv::db::Query q(mvlabDm->IBDatabaseMV);
        q.setSql(QStringLiteral("insert into documents(id,title,content,typeid) values(:id,:title,:content,1)"));
        q.setParam(QStringLiteral("id"), QStringLiteral("100000"));
        q.setParam(QStringLiteral("title"), QStringLiteral("大文档"));
        q.setParam(QStringLiteral("content"), body);
        q.execute();
    });
    const QString id = QStringLiteral("100000");

    mv::DialogRecorder boxes;
    std::unique_ptr<TfmTemp> ed;
    const double first = openEditable(id, ed);
    const double firstBuilt = constructedAt;
    const int stored = js(*ed, QStringLiteral("return document.body.outerHTML.length;")).toInt();
    ed.reset();
    const double second = openEditable(id, ed);
    const double secondBuilt = constructedAt;

    QElapsedTimer t;
    t.start();
    ed->sbSave->click();
    const double save = t.nsecsElapsed() / 1e6;
    const QStringList shown = boxes.lines();
    ed.reset();
    const double third = openEditable(id, ed);
    ed.reset();

    if (!shot.isEmpty()) {
        mvlabDm->runUnit([&] {
            mv::db::Query q(mvlabDm->IBDatabaseMV);
            q.setSql(QStringLiteral("insert into documents(id,title,content,typeid) values(100001,:title,:content,1)"));
            q.setParam(QStringLiteral("title"), QStringLiteral("《论语》读书笔记"));
            q.setParam(QStringLiteral("content"),
                       QStringLiteral("<BODY><h3 style=\"text-align:center\">学而篇</h3>"
                                      "<p><b>子曰：</b>“学而时习之，不亦说乎？有朋自远方来，不亦乐乎？"
                                      "人不知而不愠，不亦君子乎？”</p>"
                                      "<p><font color=\"#c00000\">心得：</font>温故而知新，可以为师矣。"
                                      "<span style=\"background-color:#ffff66\">每天复习一遍</span>。</p>"
                                      "<ol><li>按时复习</li><li>与朋友讨论</li><li>不求人知</li></ol>"
                                      "<p id=\"last\"><i>记于二〇二四年春</i></p></BODY>"));
            q.execute();
        });
        openEditable(QStringLiteral("100001"), ed);
        QTest::qWait(500);
        const QPixmap screen = ed->screen()->grabWindow(0);
        screen.copy(ed->frameGeometry()).save(shot);
        ed.reset();
    }

    std::printf("document: %lld bytes stored (code page 936), %d characters of BODY HTML\n",
                (long long)mv::GbkCodec::encode(body).size(), stored);
    std::printf("open to editable, first:  %8.1f ms (window built and row read in %.1f ms; includes starting the web engine)\n",
                first, firstBuilt);
    std::printf("open to editable, second: %8.1f ms (window built and row read in %.1f ms)\n", second, secondBuilt);
    std::printf("open to editable, third:  %8.1f ms (after the save)\n", third);
    std::printf("save (update and commit): %8.1f ms  [%s]\n", save, qPrintable(shown.join(QStringLiteral("; "))));
    delete mvlabDm;
    mvlabDm = nullptr;
    return 0;
}
