// The document list without a window: statement shapes, the two listing
// rules, and the search over stored contents.

#include "UnitDM.h"
#include "documentquery.h"
#include "gbkcodec.h"
#include "dialogs.h"
#include "statementsearch.h"
#include "testdb.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

QStringList ids(const DocumentQuery &q)
{
    QStringList out;
    for (int r = 0; r < q.rowCount(); ++r)
        out.append(q.row(r).id);
    return out;
}

QString sql(const QString &s)
{
    QString t = s;
    return t.replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString insertDoc(int id, int type, const QString &content, const QString &title = QString())
{
    return QStringLiteral("insert into DOCUMENTS (ID, TITLE, TYPEID, CONTENT) values (%1, '%2', %3, %4)")
        .arg(id)
        .arg(title.isEmpty() ? QStringLiteral("文档%1").arg(id) : title)
        .arg(type)
        .arg(content.isNull() ? QStringLiteral("null") : QLatin1Char('\'') + sql(content) + QLatin1Char('\''));
}

// A character whose second byte is the letter A.
QString charEndingInA()
{
    return mv::GbkCodec::decode(QByteArray("\xB0\x41"));
}

} // namespace

class TestDocumentQuery : public QObject
{
    Q_OBJECT

private slots:
    void likePattern_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("pattern");
        QTest::newRow("empty") << QByteArray() << QByteArray("%%");
        QTest::newRow("plain") << QByteArray("abc") << QByteArray("%abc%");
        QTest::newRow("wildcards") << QByteArray("5%_x") << QByteArray("%5#%#_x%");
        QTest::newRow("escape char") << QByteArray("a#b") << QByteArray("%a##b%");
        QTest::newRow("quote and backslash") << QByteArray("it's \\n") << QByteArray("%it's \\n%");
        // A two-byte character whose second byte is "_" keeps both bytes, escaped.
        QTest::newRow("trail byte underscore") << QByteArray("\x81\x5F") << QByteArray("%\x81#\x5F%");
    }
    void likePattern()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, pattern);
        QCOMPARE(docsql::likePattern(text), pattern);
    }

    void boundaryMatch_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("needle");
        QTest::addColumn<bool>("hit");
        const QByteArray zhongwen = mv::GbkCodec::encode(QStringLiteral("中文"));
        QTest::newRow("xing inside zhongwen") << zhongwen << mv::GbkCodec::encode(QStringLiteral("形")) << false;
        QTest::newRow("wen in zhongwen") << zhongwen << mv::GbkCodec::encode(QStringLiteral("文")) << true;
        QTest::newRow("letter as second byte") << mv::GbkCodec::encode(charEndingInA()) << QByteArray("A") << false;
        QTest::newRow("letter after the char") << mv::GbkCodec::encode(charEndingInA() + QStringLiteral("A"))
                                               << QByteArray("A") << true;
        // The first hit is false, a later one is real.
        QTest::newRow("false then real") << mv::GbkCodec::encode(QStringLiteral("中文形")) << mv::GbkCodec::encode(QStringLiteral("形"))
                                         << true;
        const QByteArray four = mv::GbkCodec::encode(QStringLiteral("a\U0001F600b"));
        QTest::newRow("digit inside four-byte char") << four << four.mid(2, 1) << false;
        QTest::newRow("after four-byte char") << four << QByteArray("b") << true;
        QTest::newRow("empty needle") << QByteArray("x") << QByteArray() << true;
    }
    void boundaryMatch()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, needle);
        QFETCH(bool, hit);
        QCOMPARE(docsql::matchesOnCharBoundary(content, needle), hit);
    }

    void listingRules()
    {
        mvtest::TestDb db(false);
        QStringList s{
            QStringLiteral("insert into TYPE values (10, 0, '叶子')"),
            QStringLiteral("insert into TYPE values (1, 0, '父类')"),
            QStringLiteral("insert into TYPE values (2, 1, '子类')"),
            QStringLiteral("insert into TYPE values (3, 0, '空类')"),
            QStringLiteral("insert into TYPE values (4, 3, '空子类')"),
        };
        // Inserted out of id order: the list orders by id, not by row order.
        for (int i : {3, 15, 1, 7, 12, 2, 9, 14, 4, 6, 11, 5, 13, 8, 10})
            s.append(insertDoc(i, 10, QStringLiteral("<p>x</p>")));
        for (int i = 20; i < 32; ++i)
            s.append(insertDoc(i, i % 2 ? 1 : 2, QStringLiteral("<p>y</p>")));
        db.exec(s);
        TmvlabDm dm(db.path());
        DocumentQuery q;

        // No sub-categories: the 10 highest ids, highest first.
        q.openCategory(dm, QStringLiteral("10"));
        QCOMPARE(ids(q), QString("15,14,13,12,11,10,9,8,7,6").split(','));
        QCOMPARE(q.lastStatements(),
                 QStringList{QStringLiteral("select first 10 * from documents where  typeid=10 order by id desc")});

        // With sub-categories: every document of the subtree, more than 10.
        q.openCategory(dm, QStringLiteral("1"));
        QCOMPARE(ids(q), QString("31,30,29,28,27,26,25,24,23,22,21,20").split(','));
        QCOMPARE(q.lastStatements(),
                 QStringList{docsql::subtreeStatement(QStringLiteral("1"))});

        q.openCategory(dm, QStringLiteral("3"));
        QVERIFY(q.active());
        QCOMPARE(q.rowCount(), 0);

        q.openCategory(dm, QStringLiteral("10"));
        QCOMPARE(q.row(0).title, QStringLiteral("文档15"));
        QCOMPARE(q.fieldByName(0, QStringLiteral("typeid")), QStringLiteral("10"));
        QVERIFY(!q.row(0).date.isEmpty());
    }

    // Firebird 3 refuses an IN list of more than 1500 values; one statement still lists them all.
    void subtreeLargerThanOneInList()
    {
        mvtest::TestDb db(false);
        QStringList s{QStringLiteral("insert into TYPE values (1, 0, 'root')")};
        for (int i = 2; i <= 1700; ++i)
            s.append(QStringLiteral("insert into TYPE values (%1, %2, 'c')").arg(i).arg(i <= 50 ? 1 : i % 49 + 2));
        s.append(insertDoc(1, 1700, QStringLiteral("a")));
        s.append(insertDoc(2, 1, QStringLiteral("b")));
        s.append(insertDoc(3, 1600, QStringLiteral("c")));
        db.exec(s);
        TmvlabDm dm(db.path());
        DocumentQuery q;
        q.openCategory(dm, QStringLiteral("1"));
        QCOMPARE(ids(q), (QStringList{"3", "2", "1"}));
        QCOMPARE(q.lastStatements().size(), 1);
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("empty lists every content") << "" << QString("101,102,103,104,105,106,107,108,109").split(',');
        QTest::newRow("tag only in markup") << "<table>" << QStringList{"107"};
        QTest::newRow("wrong case") << "<TABLE>" << QStringList{};
        QTest::newRow("case sensitive word") << "World" << QStringList{"101"};
        QTest::newRow("single quote") << "it's" << QStringList{"103"};
        QTest::newRow("percent is literal") << "100%" << QStringList{"103"};
        QTest::newRow("underscore is literal") << "done_" << QStringList{"103"};
        QTest::newRow("lone percent") << "%" << QStringList{"103"};
        QTest::newRow("backslash") << "\\path" << QStringList{"103"};
        QTest::newRow("escape char itself") << "a#b" << QStringList{"109"};
        QTest::newRow("quote injection") << "' or ''='" << QStringList{};
        QTest::newRow("chinese word") << QStringLiteral("中文") << QStringList{"105"};
        QTest::newRow("second half of a word") << QStringLiteral("文") << QStringList{"105"};
        QTest::newRow("xing is not in zhongwen") << QStringLiteral("形") << QStringList{};
        QTest::newRow("letter that is a second byte") << "A" << QStringList{"108"};
    }
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, found);
        static std::unique_ptr<mvtest::TestDb> db;
        if (!db) {
            db = std::make_unique<mvtest::TestDb>(false);
            db->exec({
                insertDoc(101, 1, QStringLiteral("<p>Hello <b>World</b></p>")),
                insertDoc(102, 1, QStringLiteral("<p>hello world</p>")),
                insertDoc(103, 1, QStringLiteral("<p>it's 100% done_ok C:\\path</p>")),
                insertDoc(104, 1, QStringLiteral("<p>1000 percent, doneXok, C:path</p>")),
                insertDoc(105, 1, QStringLiteral("<p>中文</p>")),
                insertDoc(106, 1, QStringLiteral("<p>") + charEndingInA() + QStringLiteral("</p>")),
                insertDoc(107, 1, QStringLiteral("<table><tr><td>x</td></tr></table>")),
                insertDoc(108, 1, QStringLiteral("<p>A</p>")),
                insertDoc(109, 1, QStringLiteral("<p>a#b</p>")),
                insertDoc(110, 1, QString()),
            });
        }
        TmvlabDm dm(db->path());
        DocumentQuery q;
        q.openSearch(dm, text);
        QVERIFY(!q.searching());
        const QStringList direct = ids(q);
        QStringList got = direct;
        std::sort(got.begin(), got.end());
        QCOMPARE(got, found);

        // Off the caller's thread: the list empties at once, then the same
        // rows come in the same order.
        StatementSearch background(db->path());
        DocumentQuery b;
        b.setStatementSearch(&background);
        QSignalSpy done(&b, &DocumentQuery::searchFinished);
        b.openSearch(dm, text);
        QVERIFY(b.searching());
        QCOMPARE(b.rowCount(), 0);
        QVERIFY(done.wait(10000));
        QVERIFY(!b.searching());
        QCOMPARE(ids(b), direct);
        QCOMPARE(b.lastStatements(), q.lastStatements());
    }

    // Only the latest request counts: a search superseded while its
    // statement waits is never shown, nor one overtaken by a listing.
    void backgroundSearchShowsOnlyTheLatest()
    {
        mvtest::TestDb db(false);
        db.exec({insertDoc(1, 1, QStringLiteral("alpha")), insertDoc(2, 1, QStringLiteral("beta")),
                 insertDoc(3, 1, QStringLiteral("alpha beta"))});
        TmvlabDm dm(db.path());
        StatementSearch background(db.path());
        std::mutex m;
        std::condition_variable cv;
        bool hold = true;
        std::atomic<int> entered{0};
        background.setStatementHook([&] {
            ++entered;
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return !hold; });
        });
        auto setHold = [&](bool on) {
            {
                std::lock_guard<std::mutex> lock(m);
                hold = on;
            }
            cv.notify_all();
        };
        DocumentQuery q;
        q.setStatementSearch(&background);
        QSignalSpy done(&q, &DocumentQuery::searchFinished);

        q.openSearch(dm, QStringLiteral("alpha"));
        QTRY_COMPARE(entered.load(), 1); // held before its statement
        q.openSearch(dm, QStringLiteral("beta"));
        setHold(false);
        QVERIFY(done.wait(10000));
        QStringList got = ids(q);
        std::sort(got.begin(), got.end());
        QCOMPARE(got, (QStringList{"2", "3"}));
        QTest::qWait(300);
        QCOMPARE(done.count(), 1);

        setHold(true);
        entered = 0;
        q.openSearch(dm, QStringLiteral("alpha"));
        QTRY_COMPARE(entered.load(), 1);
        q.openCategory(dm, QStringLiteral("1"));
        QVERIFY(!q.searching());
        const QStringList listed = ids(q);
        QCOMPARE(listed, (QStringList{"3", "2", "1"}));
        setHold(false);
        QTest::qWait(300);
        QCOMPARE(done.count(), 1);
        QCOMPARE(ids(q), listed);
    }

    // The statement's failure is told with the engine's message (the window
    // shows it as an error box); the model itself opens none, and the list
    // stays empty.
    void backgroundSearchFailureIsReported()
    {
        mvtest::TestDb db(false);
        TmvlabDm dm(db.path());
        StatementSearch background(db.dir() + QStringLiteral("/missing.fdb"));
        DocumentQuery q;
        q.setStatementSearch(&background);
        QSignalSpy done(&q, &DocumentQuery::searchFinished);
        QSignalSpy failed(&q, &DocumentQuery::searchFailed);
        mv::DialogRecorder boxes;
        q.openSearch(dm, QStringLiteral("x"));
        QVERIFY(done.wait(10000));
        QCOMPARE(boxes.boxes().size(), 0);
        QCOMPARE(failed.size(), 1);
        const QString message = failed[0][0].toString();
        QVERIFY2(message.contains(QStringLiteral("missing.fdb")), qPrintable(message));
        QCOMPARE(q.rowCount(), 0);
        QVERIFY(!q.searching());
    }

    void failedOpenLeavesListEmpty()
    {
        mvtest::TestDb db(false);
        db.exec({insertDoc(1, 1, QStringLiteral("x"))});
        TmvlabDm dm(db.path());
        DocumentQuery q;
        q.openSearch(dm, QString());
        QCOMPARE(q.rowCount(), 1);
        dm.IBDatabaseMV.failOnStatement(1);
        QVERIFY_THROWS_EXCEPTION(mv::db::DbError, q.openSearch(dm, QStringLiteral("x")));
        QCOMPARE(q.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDocumentQuery)
#include "tst_documentquery.moc"
