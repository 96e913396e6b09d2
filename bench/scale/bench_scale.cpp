// Speed at scale, each figure beside its anchor measured in the same run:
//  - search: keystroke to rows shown with the index, and the plain LIKE
//    statement for the same texts; the index's build time and memory;
//  - a click on a 5,000-category subtree with 20,000 documents;
//  - loading and building the tree of 10,000 categories;
//  - start-up to the main window shown, against a bare Qt window;
//  - the second opening of a 100 KB document in the editor, against a bare
//    web view loading about:blank.
//
//   bench-scale [DBPATH] [--only search|click|tree|startup|editor]...
// Without DBPATH the data (10,000 categories, 100,000 documents, a subtree
// of 5,000 categories holding 20,000) is generated in a temporary folder.

#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "documentquery.h"
#include "gbkcodec.h"
#include "generator.h"
#include "mvapplication.h"
#include "searchindexer.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QToolButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

template<typename F>
double timeMs(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

struct Figure {
    QString name;
    double ours;
    double anchor;
    QString anchorName;
    QString goal;
};
std::vector<Figure> figures;

void note(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// What a user types: words of the notes, markup, Latin terms, a number,
// texts that are nowhere, each keystroke a search.
const char *const Typed[] = {"数据库", "会议记录", "<table", "Firebird", "的", "color=\"#ff0000\"", "zqxj",
                             "2026", "项目计划", "服务器配置", "TCP/IP", "80%", "学生", "</p>"};

void benchSearch(TfmDocumentList &w, TmvlabDm &dm)
{
    SearchIndexer &indexer = *w.SearchIndexer1;
    QSignalSpy ready(&indexer, &SearchIndexer::ready);
    indexer.start();
    if (!ready.wait(600000)) {
        note(QStringLiteral("index not ready"));
        return;
    }
    const SearchIndex::Stats s = indexer.index()->stats();
    note(QStringLiteral("index built in %1 ms: %2 documents, %3 MB of content held, %4 MB of index (%5 lists, %6 postings)")
             .arg(indexer.buildMs(), 0, 'f', 0)
             .arg(s.documents)
             .arg(s.contentBytes / 1048576.0, 0, 'f', 1)
             .arg(s.indexBytes / 1048576.0, 0, 'f', 1)
             .arg(s.postingLists)
             .arg(s.postings));

    // Where the time of a keystroke goes, for a few texts.
    for (const char *t : {"数", "数据", "数据库", "Fir", "col"}) {
        const QByteArray needle = mv::GbkCodec::encode(QString::fromUtf8(t));
        indexer.index()->forgetRecentSearches();
        size_t n = 0;
        const double search = timeMs([&] { n = indexer.index()->search(needle)->size(); });
        const double again = timeMs([&] { n = indexer.index()->search(needle)->size(); });
        indexer.index()->forgetRecentSearches();
        const double list = timeMs([&] { w.IBQueryDocument->openSearch(dm, QString::fromUtf8(t)); });
        const double paint = timeMs([&] { w.DBGridEh1->repaint(); });
        note(QStringLiteral("  \"%1\": index search %2 ms (again %3 ms), list model %4 ms, paint %5 ms, %6 rows")
                 .arg(QString::fromUtf8(t))
                 .arg(search, 0, 'f', 2)
                 .arg(again, 0, 'f', 2)
                 .arg(list - search, 0, 'f', 2)
                 .arg(paint, 0, 'f', 2)
                 .arg(n));
    }
    indexer.index()->forgetRecentSearches();

    w.SpeedButton1->click();
    std::vector<double> ours, plain;
    std::vector<QString> keystrokes;
    for (const char *word : Typed) {
        const QString text = QString::fromUtf8(word);
        for (int n = 1; n <= text.size(); ++n)
            keystrokes.push_back(text.left(n));
    }
    // Each keystroke once, as typed: a word's later keystrokes may build on
    // its earlier ones, as they do for a user.
    for (const QString &k : keystrokes) {
        if (k.size() == 1) {
            w.EdFind->blockSignals(true);
            w.EdFind->clear();
            w.EdFind->blockSignals(false);
        }
        const double ms = timeMs([&] {
            w.EdFind->setText(k); // the keystroke runs the search
            w.DBGridEh1->repaint();
        });
        if (!w.IBQueryDocument->answeredFromIndex())
            note(QStringLiteral("  \"%1\" was not answered from the index").arg(k));
        ours.push_back(ms);
        note(QStringLiteral("  keystroke \"%1\": %2 ms, %3 rows").arg(k).arg(ms, 0, 'f', 2).arg(w.IBQueryDocument->rowCount()));
    }
    // The plain statement on every other keystroke: it takes seconds each.
    for (size_t i = 0; i < keystrokes.size(); i += 3) {
        const QString &k = keystrokes[i];
        int rows = 0;
        plain.push_back(timeMs([&] {
            mv::db::Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("select * from documents where  content like :P escape '#'"));
            q.setParamBytes(QStringLiteral("P"), docsql::likePattern(mv::GbkCodec::encode(k)));
            q.open();
            const int title = q.fieldIndex(QStringLiteral("TITLE"));
            while (!q.eof()) {
                q.field(title);
                ++rows;
                q.next();
            }
        }));
        note(QStringLiteral("  plain LIKE \"%1\": %2 ms, %3 rows").arg(k).arg(plain.back(), 0, 'f', 0).arg(rows));
    }
    figures.push_back({QStringLiteral("search keystroke to rows shown (median)"), median(ours), median(plain),
                       QStringLiteral("plain LIKE statement"), QStringLiteral("<= 30 ms, ratio <= 0.02")});
}

} // namespace

int main(int argc, char **argv)
{
    mv::Application app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QStringList only;
    for (qsizetype i = args.indexOf(QStringLiteral("--only")); i >= 0; i = args.indexOf(QStringLiteral("--only"))) {
        only << args.value(i + 1);
        args.remove(i, 2);
    }
    auto wanted = [&](const char *what) { return only.isEmpty() || only.contains(QLatin1String(what)); };

    QTemporaryDir tmp;
    QString db = args.value(0);
    if (db.isEmpty()) {
        db = tmp.filePath(QStringLiteral("mvlabnew.fdb"));
        const mvbench::GenStats s = mvbench::generate(db, 10000, 100000, 20240601, 5000, 20000);
        note(QStringLiteral("generated %1 categories, %2 documents, %3 MB of content in %4 s")
                 .arg(s.categories)
                 .arg(s.documents)
                 .arg(s.contentBytes / 1048576.0, 0, 'f', 0)
                 .arg(s.seconds, 0, 'f', 0));
    }

    {
        TmvlabDm dm(db);
        TfmDocumentList w(&dm);
        w.show();
        QCoreApplication::processEvents();
        if (wanted("search"))
            benchSearch(w, dm);
    }

    std::printf("\n%-44s %12s %12s %8s  %-28s %s\n", "figure", "ours", "anchor", "ratio", "anchor is", "goal");
    for (const Figure &f : figures)
        std::printf("%-44s %9.1f ms %9.1f ms %8.3f  %-28s %s\n", qPrintable(f.name), f.ours, f.anchor,
                    f.anchor > 0 ? f.ours / f.anchor : 0.0, qPrintable(f.anchorName), qPrintable(f.goal));
    return 0;
}
