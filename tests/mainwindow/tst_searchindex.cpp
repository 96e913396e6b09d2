// The search index against the LIKE statement it replaces: the same
// documents in the same order for many random texts over a random corpus,
// before and after changes; kept in step with the program's changes, also
// those made while it is being built; and out of the way when it fails.

#include "UnitDM.h"
#include "documentstore.h"
#include "documentquery.h"
#include "gbkcodec.h"
#include "schema.h"
#include "searchindexer.h"
#include "testdb.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

QStringList ids(const DocumentQuery &q)
{
    QStringList out;
    for (int r = 0; r < q.rowCount(); ++r)
        out.append(q.row(r).id);
    return out;
}

// Pieces of text chosen to meet every case of the byte match: markup and
// wildcards, characters whose second byte is a letter or "_", characters
// stored in four bytes, the single-byte euro sign.
QStringList pieces()
{
    QStringList p{QStringLiteral("<p>"), QStringLiteral("</p>"), QStringLiteral("<b>"), QStringLiteral("\r\n"),
                  QStringLiteral("a"),   QStringLiteral("b"),    QStringLiteral("A"),   QStringLiteral("p"),
                  QStringLiteral(" "),   QStringLiteral("%"),    QStringLiteral("_"),   QStringLiteral("#"),
                  QStringLiteral("'"),   QStringLiteral("\\"),   QStringLiteral("\""),  QStringLiteral("0"),
                  QStringLiteral("5"),   QStringLiteral("中"),   QStringLiteral("文"),  QStringLiteral("数"),
                  QStringLiteral("据"),  QStringLiteral("的"),   QStringLiteral("€"),   QStringLiteral("😀"),
                  QString::fromUcs4(U"\U00020BB7")};
    for (const char *pair : {"\xB0\x41", "\xB0\x5F", "\x81\x40", "\xD6\x70", "\xB0\x61", "\xCE\x30"})
        p.append(mv::GbkCodec::decode(QByteArray(pair)));
    return p;
}

class Corpus
{
public:
    explicit Corpus(quint32 seed) : rng_(seed), pieces_(pieces()) {}

    QString text(int maxPieces)
    {
        QString s;
        const int n = int(rng_.bounded(maxPieces + 1));
        for (int i = 0; i < n; ++i)
            s += pieces_[int(rng_.bounded(pieces_.size()))];
        return s;
    }
    int below(int n) { return int(rng_.bounded(n)); }

    // Search texts: pieces, runs of pieces, parts of stored documents (also
    // cut in the middle of a character, so they straddle two).
    QStringList needles(const QList<QByteArray> &stored, int count)
    {
        QStringList out{QString(), QStringLiteral("%"), QStringLiteral("_"), QStringLiteral("#"), QStringLiteral("'"),
                        QStringLiteral("\\"), QStringLiteral("<p>"), QStringLiteral("</p><p>")};
        out += pieces_;
        while (out.size() < count) {
            switch (below(3)) {
            case 0:
                out.append(text(4));
                break;
            default: {
                const QByteArray &doc = stored[below(int(stored.size()))];
                if (doc.isEmpty())
                    break;
                const int from = below(int(doc.size()));
                const QString t = mv::GbkCodec::decode(doc.mid(from, 1 + below(12)));
                if (!t.isEmpty())
                    out.append(t);
            }
            }
        }
        return out;
    }

private:
    QRandomGenerator rng_;
    QStringList pieces_;
};

// Inserts or updates a document with content given as stored bytes (which
// the store does not write), and tells the store's listeners as it would.
void writeDocument(TmvlabDm &dm, int id, int type, const QByteArray *content, bool update)
{
    dm.runUnit([&] {
        mv::db::Query q(dm.IBDatabaseMV);
        q.setSql(update ? QStringLiteral("update documents set content=:content, typeid=:typeid where id=%1").arg(id)
                        : QStringLiteral("insert into documents(id,title,content,typeid) values(%1,:title,:content,:typeid)")
                              .arg(id));
        if (!update)
            q.setParam(QStringLiteral("title"), QStringLiteral("文档%1").arg(id));
        q.setParam(QStringLiteral("typeid"), QString::number(type));
        if (content)
            q.setParamBytes(QStringLiteral("content"), *content);
        else
            q.setParamNull(QStringLiteral("content"));
        q.execute();
    });
    for (DocumentListener *l : dm.store().listeners())
        l->documentWritten(QString::number(id));
}

void deleteDocument(TmvlabDm &dm, int id)
{
    dm.runUnit([&] {
        mv::db::Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("delete from documents where id=%1").arg(id));
        q.execute();
    });
    for (DocumentListener *l : dm.store().listeners())
        l->documentDeleted(QString::number(id));
}

// Changes made by a writer the indexer does not hear of: the change log
// alone tells it.
void changeBehindItsBack(const QString &path, Corpus &corpus, const QList<QByteArray> &stored, int &nextId)
{
    TmvlabDm other(path);
    for (int i = 0; i < 20; ++i)
        writeDocument(other, nextId++, 1 + corpus.below(7), &stored[corpus.below(int(stored.size()))], false);
    for (int i = 0; i < 20; ++i) {
        const QByteArray content = mv::GbkCodec::encode(corpus.text(corpus.below(2) ? 400 : 10));
        writeDocument(other, 1 + corpus.below(nextId), 1 + corpus.below(7), &content, true);
    }
    for (int i = 0; i < 20; ++i)
        deleteDocument(other, 1 + corpus.below(nextId));
    // An id changed in place is a delete and an insert.
    other.runUnit([&] {
        mv::db::Query q(other.IBDatabaseMV);
        q.setSql(QStringLiteral("update documents set id=%1 where id=(select min(id) from documents)").arg(nextId++));
        q.execute();
    });
}

// A database of the schema before the change log: its two tables only.
void makeOlderDatabase(const QString &path)
{
    QStringList statements = mv::schemaStatements();
    statements.removeIf([](const QString &s) { return s.contains(QLatin1String("MV_")); });
    mv::db::createDatabase(path, TmvlabDm::UserName, TmvlabDm::Password, statements);
}

bool waitReady(SearchIndexer &indexer)
{
    if (indexer.index())
        return true;
    QSignalSpy ready(&indexer, &SearchIndexer::ready);
    return ready.wait(60000);
}

// The program at work on path, killed by the test: builds its index, then
// changes documents (compactions write the index file now and then),
// printing a line after each commit. With changes 0 it kills itself right
// after one commit, before the index hears of it.
int runChangingChild(const QString &path, int changes)
{
    Corpus corpus(quint32(changes) + 5);
    TmvlabDm dm(path);
    for (int id = 1; id <= 150; ++id) {
        const QByteArray content = mv::GbkCodec::encode(corpus.text(60));
        writeDocument(dm, id, 1, &content, false);
    }
    SearchIndexer indexer(dm);
    indexer.start();
    if (!waitReady(indexer))
        return 1;
    if (changes == 0) {
        const QByteArray content = mv::GbkCodec::encode(QStringLiteral("<p>新的内容</p>"));
        dm.runUnit([&] {
            mv::db::Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("update documents set content=:c where id=1"));
            q.setParamBytes(QStringLiteral("c"), content);
            q.execute();
        });
        ::raise(SIGKILL);
    }
    for (int i = 0;; ++i) {
        const QByteArray content = mv::GbkCodec::encode(corpus.text(60));
        const int id = 1 + corpus.below(200);
        if (corpus.below(4) == 0)
            deleteDocument(dm, id);
        else
            writeDocument(dm, id, 1, &content, !mvtest::rowsOf(path, QStringLiteral("select 1 from documents where id=%1").arg(id)).isEmpty());
        std::printf("%d\n", i);
        std::fflush(stdout);
        QCoreApplication::processEvents();
    }
}

} // namespace

class TestSearchIndex : public QObject
{
    Q_OBJECT

    // Every needle gives the same ids in the same order both ways; returns
    // how many documents the index found in all.
    int compareAll(TmvlabDm &dm, SearchIndexer &indexer, const QStringList &needles)
    {
        DocumentQuery plain;
        DocumentQuery indexed;
        indexed.setIndexer(&indexer);
        int found = 0;
        for (const QString &n : needles) {
            plain.openSearch(dm, n);
            indexed.openSearch(dm, n);
            if (!indexed.answeredFromIndex() || ids(plain) != ids(indexed)) {
                qWarning() << "needle" << n << mv::GbkCodec::encode(n).toHex(' ');
                [&] { QVERIFY(indexed.answeredFromIndex()); }();
                [&] { QCOMPARE(ids(indexed), ids(plain)); }();
                return -1;
            }
            found += indexed.rowCount();
        }
        return found;
    }

private slots:
    void agreesWithTheStatement()
    {
        mvtest::TestDb db;
        Corpus corpus(20261210);
        QList<QByteArray> stored;
        {
            TmvlabDm dm(db.path());
            for (int id = 1; id <= 400; ++id) {
                QByteArray content = mv::GbkCodec::encode(corpus.text(id % 50 == 0 ? 3000 : 120));
                writeDocument(dm, id, 1 + id % 7, id % 97 == 0 ? nullptr : &content, false);
                stored.append(content);
            }
            // Bytes no encoder writes: a four-byte form around "<", lone lead bytes.
            const QByteArray odd[] = {QByteArray("ab\x81\x30<\x30" "cd"), QByteArray("x<p>\x81"), QByteArray("\x81<p>A")};
            for (int i = 0; i < 3; ++i)
                writeDocument(dm, 401 + i, 1, &odd[i], false);
            stored += {odd[0], odd[1], odd[2]};
        }
        const QStringList needles = corpus.needles(stored, 400);

        // Two runs of the program, each building the index and then making
        // changes. A run frees the space of what the run before it deleted,
        // so its inserts take record slots in the middle of the table and
        // the table's order drifts away from the order of the ids.
        int nextId = 1000;
        for (int run = 0; run < 2; ++run) {
            TmvlabDm dm(db.path());
            SearchIndexer indexer(dm);
            indexer.start();
            QVERIFY(waitReady(indexer));
            QVERIFY(compareAll(dm, indexer, needles) > 0);
            for (int round = 0; round < 2; ++round) {
                for (int i = 0; i < 40; ++i)
                    writeDocument(dm, nextId++, 1 + corpus.below(7), &stored[corpus.below(int(stored.size()))], false);
                for (int i = 0; i < 40; ++i) {
                    const QByteArray content = mv::GbkCodec::encode(corpus.text(corpus.below(2) ? 2000 : 10));
                    writeDocument(dm, 1 + corpus.below(403), 1 + corpus.below(7), &content, true);
                }
                for (int i = 0; i < 60; ++i)
                    deleteDocument(dm, 1 + corpus.below(nextId));
                QVERIFY(compareAll(dm, indexer, needles) >= 0);
            }
        }
        // The order checked above was really not the order of the ids.
        TmvlabDm dm(db.path());
        DocumentQuery all;
        all.openSearch(dm, QString());
        const QStringList natural = ids(all);
        QStringList byId = natural;
        std::sort(byId.begin(), byId.end(), [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
        QVERIFY(natural != byId);
        qInfo("%lld texts compared in 6 states of about 400 documents", qlonglong(needles.size()));
    }

    // A category click lists from the index after one statement for the
    // subtree: the same rows as the listing statements, leaf or not.
    void listingAgreesWithTheStatements()
    {
        mvtest::TestDb db;
        QStringList s;
        QRandomGenerator rng(7);
        for (int id = 2; id <= 60; ++id)
            s << QStringLiteral("insert into type values (%1, %2, '类%1')").arg(id).arg(rng.bounded(id));
        db.exec(s);
        TmvlabDm dm(db.path());
        const QByteArray text("<p>x</p>");
        for (int id = 1; id <= 300; ++id)
            writeDocument(dm, id, int(rng.bounded(64)), &text, false); // some under no category
        SearchIndexer indexer(dm);
        indexer.start();
        QVERIFY(waitReady(indexer));

        auto compare = [&] {
            DocumentQuery plain, indexed;
            indexed.setIndexer(&indexer);
            for (int type = 0; type <= 64; ++type) {
                const QString id = QString::number(type);
                plain.openCategory(dm, id);
                indexed.openCategory(dm, id);
                QVERIFY(indexed.answeredFromIndex());
                QCOMPARE(indexed.lastStatements(), QStringList{docsql::subtreeIdsStatement(id)});
                QCOMPARE(ids(indexed), ids(plain));
                for (int r = 0; r < plain.rowCount(); ++r) {
                    QCOMPARE(indexed.row(r).title, plain.row(r).title);
                    QCOMPARE(indexed.row(r).date, plain.row(r).date);
                    QCOMPARE(indexed.row(r).typeId, plain.row(r).typeId);
                }
            }
        };
        compare();
        if (QTest::currentTestFailed())
            return;
        for (int i = 0; i < 40; ++i)
            writeDocument(dm, 1 + int(rng.bounded(300)), int(rng.bounded(64)), &text, true);
        for (int i = 0; i < 40; ++i)
            deleteDocument(dm, 1 + int(rng.bounded(300)));
        dm.store().deleteCategorySubtree(QStringLiteral("5"), true);
        compare();
    }

    void catchesUpWithChangesMadeWhileBuilding()
    {
        mvtest::TestDb db;
        TmvlabDm dm(db.path());
        const QByteArray a("<p>alpha</p>"), b("<p>beta</p>");
        writeDocument(dm, 1, 1, &a, false);
        writeDocument(dm, 2, 1, &a, false);
        writeDocument(dm, 3, 1, &a, false);

        SearchIndexer indexer(dm);
        QSemaphore snapshotTaken, changesMade;
        indexer.setBuildHook([&] {
            snapshotTaken.release();
            changesMade.acquire();
        });
        indexer.start();
        QVERIFY(snapshotTaken.tryAcquire(1, 30000));
        QVERIFY(indexer.building());
        writeDocument(dm, 2, 1, &b, true); // the snapshot has the old text
        deleteDocument(dm, 3);
        writeDocument(dm, 4, 1, &b, false);
        changesMade.release();
        QVERIFY(waitReady(indexer));

        DocumentQuery q;
        q.setIndexer(&indexer);
        q.openSearch(dm, QStringLiteral("alpha"));
        QVERIFY(q.answeredFromIndex());
        QCOMPARE(ids(q), QStringList{QStringLiteral("1")});
        q.openSearch(dm, QStringLiteral("beta"));
        QCOMPARE(ids(q), QString("2,4").split(','));
    }

    void subtreeDeletionTakesItsDocuments()
    {
        mvtest::TestDb db;
        db.exec({QStringLiteral("insert into type values (2, 1, '子类')"),
                 QStringLiteral("insert into type values (3, 2, '孙类')")});
        TmvlabDm dm(db.path());
        const QByteArray text("<p>kept</p>");
        writeDocument(dm, 1, 1, &text, false);
        writeDocument(dm, 2, 2, &text, false);
        writeDocument(dm, 3, 3, &text, false);
        SearchIndexer indexer(dm);
        indexer.start();
        QVERIFY(waitReady(indexer));

        dm.store().deleteCategorySubtree(QStringLiteral("2"), true);
        DocumentQuery q;
        q.setIndexer(&indexer);
        q.openSearch(dm, QStringLiteral("kept"));
        QVERIFY(q.answeredFromIndex());
        QCOMPARE(ids(q), QStringList{QStringLiteral("1")});
    }

    // An index that could not follow a change would find stale rows: it is
    // dropped, the search asks the database, and a later search rebuilds it.
    void failedUpdateFallsBackToTheDatabase()
    {
        mvtest::TestDb db;
        TmvlabDm dm(db.path());
        const QByteArray old("<p>old</p>");
        writeDocument(dm, 1, 1, &old, false);
        SearchIndexer indexer(dm);
        indexer.start();
        QVERIFY(waitReady(indexer));
        QSignalSpy failed(&indexer, &SearchIndexer::failed);

        dm.runUnit([&] {
            mv::db::Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("update documents set content='<p>new</p>' where id=1"));
            q.execute();
        });
        dm.IBDatabaseMV.failOnStatement(1);
        indexer.documentWritten(QStringLiteral("1"));
        QCOMPARE(failed.count(), 1);
        QVERIFY(!indexer.index());

        DocumentQuery q;
        q.setIndexer(&indexer);
        q.openSearch(dm, QStringLiteral("new"));
        QVERIFY(!q.answeredFromIndex());
        QCOMPARE(ids(q), QStringList{QStringLiteral("1")});
        QVERIFY(waitReady(indexer));
        q.openSearch(dm, QStringLiteral("new"));
        QVERIFY(q.answeredFromIndex());
        QCOMPARE(ids(q), QStringList{QStringLiteral("1")});
        q.openSearch(dm, QStringLiteral("old"));
        QCOMPARE(q.rowCount(), 0);
    }

    // Documents replaced and deleted over a long run do not pile up in the
    // index: after many times its size in changes it holds about what an
    // index made afresh of the same table holds, finds what the statement
    // finds, and a list opened at the start still shows its rows.
    void replacedDocumentsDoNotPileUp()
    {
        mvtest::TestDb db;
        Corpus corpus(424242);
        TmvlabDm dm(db.path());
        QList<QByteArray> stored;
        for (int id = 1; id <= 200; ++id) {
            const QByteArray content = mv::GbkCodec::encode(corpus.text(80));
            writeDocument(dm, id, 1 + id % 5, &content, false);
            stored.append(content);
        }
        SearchIndexer indexer(dm);
        indexer.start();
        QVERIFY(waitReady(indexer));
        DocumentQuery held;
        held.setIndexer(&indexer);
        held.openSearch(dm, QStringLiteral("<p>"));
        const QStringList heldIds = ids(held);
        QVERIFY(!heldIds.isEmpty());

        QList<int> living;
        for (int id = 1; id <= 200; ++id)
            living.append(id);
        int nextId = 201;
        int compactions = 0;
        const SearchIndex *seen = indexer.index();
        for (int i = 0; i < 1200; ++i) {
            const QByteArray content = mv::GbkCodec::encode(corpus.text(80));
            const int at = corpus.below(int(living.size()));
            if (corpus.below(10) < 7) {
                writeDocument(dm, living[at], 1 + corpus.below(5), &content, true);
            } else {
                deleteDocument(dm, living[at]);
                living[at] = nextId;
                writeDocument(dm, nextId++, 1 + corpus.below(5), &content, false);
            }
            if (i % 50 == 0)
                QCoreApplication::processEvents();
            if (indexer.index() != seen) {
                seen = indexer.index();
                ++compactions;
            }
            QVERIFY(indexer.index());
        }
        QVERIFY(QTest::qWaitFor([&] { return !indexer.compacting(); }, 30000));
        QVERIFY(compactions > 0);

        mv::db::Connection c(db.path(), TmvlabDm::UserName, TmvlabDm::Password);
        const std::unique_ptr<SearchIndex> fresh = SearchIndex::load(c);
        const SearchIndex::Stats now = indexer.index()->stats();
        const SearchIndex::Stats made = fresh->stats();
        QCOMPARE(now.documents, made.documents);
        QVERIFY2(now.documentSlots <= now.documents + 64 + now.documents / 4, qPrintable(QString::number(now.documentSlots)));
        QVERIFY2(now.postings <= made.postings * 3 / 2, qPrintable(QStringLiteral("%1 against %2").arg(now.postings).arg(made.postings)));
        QVERIFY2(now.indexBytes <= made.indexBytes * 2, qPrintable(QStringLiteral("%1 against %2").arg(now.indexBytes).arg(made.indexBytes)));

        QVERIFY(compareAll(dm, indexer, corpus.needles(stored, 150)) > 0);
        QCOMPARE(ids(held), heldIds);
        for (int r = 0; r < held.rowCount(); ++r)
            QVERIFY(!held.row(r).title.isEmpty());
        qInfo("%d compactions; %lld slots for %lld documents", compactions, now.documentSlots, now.documents);
    }

    // A file put in place of the open one (a restore, a synchronisation)
    // holds other documents: the index built from the old file is not
    // used again, the search asks the database, and a new index is built.
    void fileReplacedUnderTheIndexIsNotSearched()
    {
        mvtest::TestDb db;
        TmvlabDm dm(db.path());
        const QByteArray old("<p>old text</p>");
        writeDocument(dm, 1, 1, &old, false);
        SearchIndexer indexer(dm);
        indexer.start();
        QVERIFY(waitReady(indexer));

        const QString copy = db.dir() + QStringLiteral("/copy.fdb");
        QVERIFY(QFile::copy(db.path(), copy));
        {
            TmvlabDm other(copy);
            const QByteArray changed("<p>new text</p>");
            writeDocument(other, 1, 1, &changed, true);
        }
        QCOMPARE(::rename(QFile::encodeName(copy).constData(), QFile::encodeName(db.path()).constData()), 0);

        DocumentQuery q;
        q.setIndexer(&indexer);
        q.openSearch(dm, QStringLiteral("new text"));
        QVERIFY(!q.answeredFromIndex());
        qWarning() << "DBG open" << dm.IBDatabaseMV.openFile().inode << "path" << mv::db::Connection::fileIdOf(db.path()).inode << dm.IBDatabaseMV.openTransactions();
        {
            TmvlabDm third(db.path());
            mv::db::Query t(third.IBDatabaseMV);
            t.setSql("select content from documents");
            t.open();
            qWarning() << "DBG third" << t.field(0);
        }
        QCOMPARE(ids(q), QStringList{QStringLiteral("1")});
        QVERIFY(waitReady(indexer));
        q.openSearch(dm, QStringLiteral("new text"));
        QVERIFY(q.answeredFromIndex());
        QCOMPARE(ids(q), QStringList{QStringLiteral("1")});
        q.openSearch(dm, QStringLiteral("old text"));
        QCOMPARE(q.rowCount(), 0);
    }

    // The index is written beside the database and opened from there at the
    // next start, caught up with what other writers changed meanwhile; a
    // file that is damaged, of another database or behind a pruned log is
    // never used: the index is made again from the table.
    void nextStartOpensTheFile_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("opened");
        QTest::newRow("intact") << QString() << true;
        QTest::newRow("truncated") << QStringLiteral("truncate") << false;
        QTest::newRow("a byte changed in its tables") << QStringLiteral("flip") << false;
        QTest::newRow("another database's index") << QStringLiteral("foreign") << false;
        QTest::newRow("the log emptied") << QStringLiteral("prune") << false;
        QTest::newRow("no file") << QStringLiteral("remove") << false;
    }
    void nextStartOpensTheFile()
    {
        QFETCH(QString, damage);
        QFETCH(bool, opened);
        mvtest::TestDb db;
        Corpus corpus(4711);
        QList<QByteArray> stored;
        int nextId = 1;
        {
            TmvlabDm dm(db.path());
            for (; nextId <= 200; ++nextId) {
                stored.append(mv::GbkCodec::encode(corpus.text(nextId % 40 == 0 ? 2000 : 100)));
                writeDocument(dm, nextId, 1 + nextId % 7, &stored.back(), false);
            }
        }
        const QStringList needles = corpus.needles(stored, 150);
        const QString file = SearchIndex::pathFor(db.path());
        for (int run = 0; run < 2; ++run) {
            TmvlabDm dm(db.path());
            SearchIndexer indexer(dm);
            indexer.start();
            QVERIFY(waitReady(indexer));
            QCOMPARE(indexer.openedFromFile(), run > 0 && opened);
            QVERIFY(indexer.index()->mapped());
            QVERIFY(compareAll(dm, indexer, needles) > 0);
            if (run > 0)
                break;
            QVERIFY(QFile::exists(file));
            changeBehindItsBack(db.path(), corpus, stored, nextId);
            QFile f(file);
            if (damage == QLatin1String("truncate")) {
                QVERIFY(f.resize(f.size() - 1));
            } else if (damage == QLatin1String("flip")) {
                QVERIFY(f.open(QIODevice::ReadWrite));
                f.seek(200); // the documents' table follows the header
                char c;
                QVERIFY(f.getChar(&c));
                f.seek(200);
                QVERIFY(f.putChar(char(c ^ 0x10)));
            } else if (damage == QLatin1String("foreign")) {
                mvtest::TestDb foreign;
                {
                    TmvlabDm other(foreign.path());
                    writeDocument(other, 1, 1, &stored[0], false);
                    SearchIndexer theirs(other);
                    theirs.start();
                    QVERIFY(waitReady(theirs));
                }
                QVERIFY(QFile::remove(file));
                QVERIFY(QFile::copy(SearchIndex::pathFor(foreign.path()), file));
            } else if (damage == QLatin1String("prune")) {
                db.exec({QStringLiteral("delete from MV_CHANGE_LOG")});
            } else if (damage == QLatin1String("remove")) {
                QVERIFY(QFile::remove(file));
            }
        }
        QVERIFY(QFile::exists(file));
    }

    // Killed at any moment, also between a commit and the index's catching
    // up with it, or while a compaction writes the file, the next start
    // finds what the statement finds.
    void survivesAKill_data()
    {
        QTest::addColumn<int>("changes"); // before the kill; 0: the child kills itself after one commit
        QTest::newRow("right after a commit") << 0;
        QTest::newRow("after 150 changes") << 150;
        QTest::newRow("after 400 changes") << 400;
    }
    void survivesAKill()
    {
        QFETCH(int, changes);
        mvtest::TestDb db;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--changing-child"), db.path(), QString::number(changes)});
        QVERIFY(child.waitForStarted());
        int seen = 0;
        QByteArray out;
        while (changes && seen < changes) {
            QVERIFY2(child.waitForReadyRead(60000), qPrintable(QString::fromLocal8Bit(child.readAllStandardError())));
            out += child.readAllStandardOutput();
            seen = int(out.count('\n'));
        }
        if (changes)
            ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        TmvlabDm dm(db.path());
        QList<QByteArray> stored;
        {
            mv::db::Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("select content from documents"));
            q.open();
            for (; !q.eof(); q.next())
                stored.append(q.fieldBytes(0));
        }
        QVERIFY(!stored.isEmpty());
        SearchIndexer indexer(dm);
        indexer.start();
        QVERIFY(waitReady(indexer));
        Corpus corpus(99);
        QVERIFY(compareAll(dm, indexer, corpus.needles(stored, 150)) > 0);
        qInfo("%d changes seen before the kill; the index %s", seen,
              indexer.openedFromFile() ? "was opened from its file" : "was made again");
    }

    // A database made before the change log gets it at the first start;
    // from then on a change committed by another writer reaches the index
    // when it is told to catch up, without the program's notice.
    void olderDatabaseGetsTheLog()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("old.fdb"));
        makeOlderDatabase(path);
        QVERIFY(mvtest::rowsOf(path, QStringLiteral("select 1 from rdb$relations where rdb$relation_name='MV_CHANGE_LOG'"))
                    .isEmpty());
        TmvlabDm dm(path);
        const QByteArray a("<p>alpha</p>"), b("<p>beta</p>");
        writeDocument(dm, 1, 1, &a, false);
        SearchIndexer indexer(dm);
        indexer.start();
        QVERIFY(waitReady(indexer));
        QVERIFY(indexer.index()->mapped());
        {
            TmvlabDm other(path); // tells no listener
            writeDocument(other, 2, 1, &b, false);
            writeDocument(other, 1, 1, &b, true);
        }
        DocumentQuery q;
        q.setIndexer(&indexer);
        indexer.catchUp();
        q.openSearch(dm, QStringLiteral("beta"));
        QVERIFY(q.answeredFromIndex());
        QCOMPARE(ids(q), QString("1,2").split(','));
        QCOMPARE(mvtest::rowsOf(path, QStringLiteral("select doc_id from MV_CHANGE_LOG order by seq")),
                 QString("2,1").split(','));
        // Adding it again changes nothing.
        mv::ensureChangeLog(dm.IBDatabaseMV);
        const quint64 tag = mv::databaseTag(dm.IBDatabaseMV);
        QVERIFY(tag != 0);
        mv::ensureChangeLog(dm.IBDatabaseMV);
        QCOMPARE(mv::databaseTag(dm.IBDatabaseMV), tag);
    }

    // The list keeps what it found while the index moves on.
    void listKeepsItsRowsAcrossChanges()
    {
        mvtest::TestDb db;
        TmvlabDm dm(db.path());
        const QByteArray text("<p>row</p>");
        writeDocument(dm, 1, 1, &text, false);
        writeDocument(dm, 2, 1, &text, false);
        SearchIndexer indexer(dm);
        indexer.start();
        QVERIFY(waitReady(indexer));
        DocumentQuery q;
        q.setIndexer(&indexer);
        q.openSearch(dm, QStringLiteral("row"));
        deleteDocument(dm, 1);
        for (int id = 10; id < 200; ++id)
            writeDocument(dm, id, 1, &text, false);
        QCOMPARE(ids(q), QString("1,2").split(','));
        QCOMPARE(q.row(0).title, QStringLiteral("文档1"));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--changing-child") == 0)
        return runChangingChild(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    TestSearchIndex t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_searchindex.moc"
