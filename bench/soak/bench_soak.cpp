// A long run in a few minutes: N saves, updates and deletes of documents
// through the store, as the editor makes them, with a search from the index
// after each and now and then a category listing, on a database of 10,000
// generated documents. Every 10,000 operations it prints the database
// file's size, the gap between the oldest snapshot the engine keeps and the
// next transaction (what it cannot collect grows with it), the resident
// memory (and of it the heap in use and the search index's share) and the
// index's document slots. The last line compares the end with the first
// 10,000:
//   soak: N operations, file growth X, snapshot gap G, memory growth M
// G is the largest gap seen.
//
//   bench-soak [N] [--keep DIR]
// --keep leaves the database in DIR (made when missing) instead of a
// temporary folder.

#include "UnitDM.h"
#include "documentquery.h"
#include "documentstore.h"
#include "fbsql.h"
#include "generator.h"
#include "searchindexer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Documents = 10000;
constexpr int Categories = 200;
constexpr int DefaultOperations = 50000;
constexpr int Checkpoint = 10000;

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

qint64 residentBytes()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

// Measured from a connection of its own, opened for this and closed again,
// so that the measurement holds no transaction of its own afterwards.
qint64 snapshotGap(const QString &path)
{
    mv::db::Connection c(path, TmvlabDm::UserName, TmvlabDm::Password);
    mv::db::Query q(c);
    q.setSql(QStringLiteral("select mon$oldest_snapshot, mon$next_transaction from mon$database"));
    q.open();
    const qint64 gap = q.field(1).toLongLong() - q.field(0).toLongLong();
    q.close();
    c.close();
    return std::max<qint64>(gap, 0);
}

bool waitReady(SearchIndexer &indexer)
{
    if (indexer.index())
        return true;
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&indexer, &SearchIndexer::ready, &loop, [&] {
        ok = true;
        loop.quit();
    });
    QObject::connect(&indexer, &SearchIndexer::failed, &loop, &QEventLoop::quit);
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
    return ok;
}

// What the program's heap holds in use, apart from what it keeps free.
qint64 heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
}

struct Sample {
    qint64 operations;
    qint64 fileBytes;
    qint64 gap;
    qint64 resident;
    qint64 heap;
    qint64 indexBytes;
    qint64 documentSlots;
    double seconds;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString keep;
    if (const qsizetype at = args.indexOf(QStringLiteral("--keep")); at >= 0 && at + 1 < args.size()) {
        keep = args[at + 1];
        args.remove(at, 2);
    }
    bool ok = true;
    const int operations = args.isEmpty() ? DefaultOperations : args.first().toInt(&ok);
    if (!ok || operations <= 0) {
        std::fprintf(stderr, "usage: bench-soak [N] [--keep DIR]\n");
        return 2;
    }

    QTemporaryDir temp;
    const QString dir = keep.isEmpty() ? temp.path() : QDir(keep).absolutePath();
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("soak.fdb"));
    QFile::remove(path);
    const mvbench::GenStats gen = mvbench::generate(path, Categories, Documents, 17);
    say(QStringLiteral("database: %1 documents, %2 categories, %3 MB of content, made in %4 s")
            .arg(gen.documents)
            .arg(gen.categories)
            .arg(double(gen.contentBytes) / 1e6, 0, 'f', 1)
            .arg(gen.seconds, 0, 'f', 1));

    TmvlabDm dm(path);
    SearchIndexer indexer(dm);
    indexer.start();
    if (!waitReady(indexer)) {
        std::fprintf(stderr, "bench-soak: the search index was not built\n");
        return 1;
    }
    DocumentQuery list;
    list.setIndexer(&indexer);

    std::vector<qint64> ids;
    for (qint64 id = 1; id <= Documents; ++id)
        ids.push_back(id);
    mvbench::DocumentMaker maker(4242);
    const QStringList needles{QStringLiteral("数据库"), QStringLiteral("会议记录"), QStringLiteral("<TABLE"),
                              QStringLiteral("备份"), QStringLiteral("Firebird"), QStringLiteral("春天的")};
    const auto anyCategory = [&] { return QString::number(1 + maker.below(Categories)); };

    const int every = std::min(Checkpoint, operations);
    std::vector<Sample> samples;
    QElapsedTimer clock;
    clock.start();
    say(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
            .arg(QStringLiteral("operations"), 10)
            .arg(QStringLiteral("file MB"), 9)
            .arg(QStringLiteral("gap"), 8)
            .arg(QStringLiteral("RSS MB"), 8)
            .arg(QStringLiteral("heap MB"), 8)
            .arg(QStringLiteral("index MB"), 9)
            .arg(QStringLiteral("slots"), 8)
            .arg(QStringLiteral("s"), 7));
    for (int op = 1; op <= operations; ++op) {
        const int dice = maker.below(100);
        if (dice < 25 || ids.empty()) {
            const QString id = dm.store().insertDocument(maker.title(), anyCategory(), maker.document());
            ids.push_back(id.toLongLong());
        } else if (dice < 75) {
            const qint64 id = ids[size_t(maker.below(int(ids.size())))];
            dm.store().updateDocument(QString::number(id), maker.title(), anyCategory(), maker.document());
        } else {
            const size_t at = size_t(maker.below(int(ids.size())));
            dm.store().deleteDocument(QString::number(ids[at]));
            ids[at] = ids.back();
            ids.pop_back();
        }
        list.openSearch(dm, needles[maker.below(int(needles.size()))]);
        if (op % 10 == 0)
            list.openCategory(dm, anyCategory());
        if (op % 100 == 0)
            QCoreApplication::processEvents();
        if (op % every == 0 || op == operations) {
            list.close();
            QCoreApplication::processEvents();
            const SearchIndex *index = indexer.index();
            const SearchIndex::Stats stats = index ? index->stats() : SearchIndex::Stats{};
            Sample s{op,
                     QFileInfo(path).size(),
                     snapshotGap(path),
                     residentBytes(),
                     heapInUse(),
                     stats.contentBytes + stats.indexBytes,
                     index ? stats.documentSlots : -1,
                     clock.nsecsElapsed() / 1e9};
            samples.push_back(s);
            say(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                    .arg(s.operations, 10)
                    .arg(double(s.fileBytes) / 1048576.0, 9, 'f', 1)
                    .arg(s.gap, 8)
                    .arg(double(s.resident) / 1048576.0, 8, 'f', 1)
                    .arg(double(s.heap) / 1048576.0, 8, 'f', 1)
                    .arg(double(s.indexBytes) / 1048576.0, 9, 'f', 1)
                    .arg(s.documentSlots, 8)
                    .arg(s.seconds, 7, 'f', 0));
        }
    }
    const Sample &first = samples.front();
    const Sample &last = samples.back();
    qint64 gap = 0;
    for (const Sample &s : samples)
        gap = std::max(gap, s.gap);
    say(QStringLiteral("soak: %1 operations, file growth %2, snapshot gap %3, memory growth %4")
            .arg(operations)
            .arg(double(last.fileBytes) / double(first.fileBytes), 0, 'f', 2)
            .arg(gap)
            .arg(double(last.resident) / double(first.resident), 0, 'f', 2));
    return 0;
}
