#include "UnitDM.h"
#include "fbsql.h"
#include "gbkcodec.h"
#include "schema.h"
#include "testdb.h"

#include <QDate>
#include <QElapsedTimer>

#include <QFile>
#include <QTest>

#include <atomic>
#include <thread>

using mv::db::DbError;
using mv::db::Query;
using mvtest::TestDb;

class TestFbSql : public QObject
{
    Q_OBJECT
private slots:
    void parseNamedParams_data();
    void parseNamedParams();
    void textIsStoredAsExactGbkBytes();
    void parametersRoundTrip_data();
    void parametersRoundTrip();
    void overlongTextParameterRefused_data();
    void overlongTextParameterRefused();
    void fieldsByNameAndPositionWithNulls();
    void errorsCarryTheClientText();
    void failedOpenRetriesOnNextStatement();
    void unitCommitsTogetherOrNotAtAll();
    void injectedFaults();
    void queryClosedWhenTextReloaded();
    void schemaMatchesWhatTheProgramRelyOn();
    void cancelOperationStopsARunningStatement();
    void readsSeeOtherConnectionsCommitsAndHoldNothing();
    void queryLeftOpenIsLetGoOnceTheProgramWaits();
    void changeOutsideAUnitIsRefused();
    void oldVersionsStayCollectableAcrossARun();
};

namespace {
QString scalar(mv::db::Connection &c, const QString &sql)
{
    Query q(c);
    q.setSql(sql);
    q.open();
    return q.field(0);
}

// The transactions the engine must keep the old record versions for: from
// the oldest snapshot still in use to the next transaction to start. Asked
// on a connection of its own, closed again at once.
qint64 snapshotGap(const QString &path)
{
    mv::db::Connection c(path, TmvlabDm::UserName, TmvlabDm::Password);
    Query q(c);
    q.setSql(QStringLiteral("select mon$next_transaction - mon$oldest_snapshot from mon$database"));
    q.open();
    return q.field(0).toLongLong();
}
} // namespace

void TestFbSql::parseNamedParams_data()
{
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("insert") << QByteArray("insert into d(id,t)  values(:id,:title)")
                            << QByteArray("insert into d(id,t)  values(?,?)") << QStringList{"ID", "TITLE"};
    QTest::newRow("quoted colon stays") << QByteArray("select ':x' from t where a=:a")
                                        << QByteArray("select ':x' from t where a=?") << QStringList{"A"};
    QTest::newRow("doubled quote") << QByteArray("select 'it''s :no' from t where b = :b")
                                   << QByteArray("select 'it''s :no' from t where b = ?") << QStringList{"B"};
    QTest::newRow("comments") << QByteArray("select 1 -- :c\nfrom t /* :d */ where e=:e")
                              << QByteArray("select 1 -- :c\nfrom t /* :d */ where e=?") << QStringList{"E"};
    QTest::newRow("repeated") << QByteArray("select * from t where a=:x or b=:X")
                              << QByteArray("select * from t where a=? or b=?") << QStringList{"X", "X"};
}

void TestFbSql::parseNamedParams()
{
    QFETCH(QByteArray, sql);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, names);
    const mv::db::ParsedSql p = mv::db::parseNamedParams(sql);
    QCOMPARE(p.text, text);
    QCOMPARE(p.names, names);
}

void TestFbSql::textIsStoredAsExactGbkBytes()
{
    TestDb db;
    {
        TmvlabDm dm(db.path());
        dm.runUnit([&] {
            Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("insert into documents(id,title,content,typeid)  values(:id,:title,:content,:typeid)"));
            q.setParam("id", "1");
            q.setParam("title", QStringLiteral("中文€"));
            q.setParam("content", QStringLiteral("中文"));
            q.setParam("typeid", "1");
            q.execute();
        });
    }
    // Read the stored bytes one by one on the server side, not through our codec.
    const QStringList r = db.rows(QStringLiteral(
        "select octet_length(title), ascii_val(substring(title from 1 for 1)), ascii_val(substring(title from 2 for 1)),"
        " ascii_val(substring(title from 3 for 1)), ascii_val(substring(title from 4 for 1)),"
        " ascii_val(substring(title from 5 for 1)), octet_length(content) from documents"));
    QCOMPARE(r, QStringList{"5|214|208|206|196|128|4"});
}

void TestFbSql::parametersRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("quotes and wildcards") << QStringLiteral("it's 100% \"_x_\" \\ -- /* */ ; drop table type");
    QTest::newRow("chinese") << QStringLiteral("学而时习之，不亦说乎？");
    QTest::newRow("outside code page") << QString::fromUcs4(U"emoji \U0001F600 rare \U00020000 \u0100");
    QTest::newRow("empty") << QString();
    QString big;
    while (big.size() < 3 * 1024 * 1024)
        big += QStringLiteral("<P>段落 paragraph 段落</P>\n");
    QTest::newRow("3 MB blob") << big;
}

void TestFbSql::parametersRoundTrip()
{
    QFETCH(QString, text);
    TestDb db;
    TmvlabDm dm(db.path());
    dm.runUnit([&] {
        Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("insert into documents(id,title,content,typeid)  values(:id,:title,:content,:typeid)"));
        q.setParam("id", "7");
        q.setParam("title", text.left(30));
        q.setParam("content", text);
        q.setParam("typeid", "1");
        q.execute();
    });
    Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select * from documents where id=7"));
    q.open();
    QVERIFY(!q.eof());
    QCOMPARE(q.field("content"), text);
    QCOMPARE(q.field("TITLE"), text.left(30));
    q.next();
    QVERIFY(q.eof());
}

void TestFbSql::overlongTextParameterRefused_data()
{
    QTest::addColumn<int>("bytes");
    QTest::newRow("past what a text holds") << 40000;
    // Its length in two bytes would read 10: once the first 10 bytes were stored.
    QTest::newRow("past 64 KB") << 65546;
}

void TestFbSql::overlongTextParameterRefused()
{
    QFETCH(int, bytes);
    TestDb db;
    TmvlabDm dm(db.path());
    try {
        dm.runUnit([&] {
            Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("insert into type(id,parentid,typename) values(2,1,:typename)"));
            q.setParam("typename", QString(bytes, QLatin1Char('x')));
            q.execute();
        });
        QFAIL("an overlong text was accepted");
    } catch (const DbError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("太长")), qPrintable(e.message()));
    }
    QCOMPARE(db.rows(QStringLiteral("select count(*) from type")), QStringList{"1"});
}

void TestFbSql::fieldsByNameAndPositionWithNulls()
{
    TestDb db;
    db.exec({QStringLiteral("insert into documents(id,title,typeid) values(3,null,2)")});
    TmvlabDm dm(db.path());
    Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select * from documents"));
    q.open();
    QCOMPARE(q.fieldCount(), 5);
    QCOMPARE(q.fieldName(2), QStringLiteral("DATE"));
    QCOMPARE(q.field(0), QStringLiteral("3"));
    QCOMPARE(q.field("typeid"), QStringLiteral("2"));
    QVERIFY(q.isNull("title"));
    QCOMPARE(q.field("title"), QString());
    QVERIFY(q.isNull("content"));
    // The database fills the date itself.
    QCOMPARE(q.field("date"), QDate::currentDate().toString(Qt::ISODate));
    QVERIFY_THROWS_EXCEPTION(DbError, q.field("nosuch"));
}

void TestFbSql::errorsCarryTheClientText()
{
    TestDb db;
    TmvlabDm dm(db.path());
    dm.IBQueryTemp.setSql(QStringLiteral("select * from documents where  content like '%it's%'"));
    try {
        dm.IBQueryTemp.open();
        QFAIL("a broken statement was accepted");
    } catch (const DbError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("Token unknown")), qPrintable(e.message()));
    }
    // The connection goes on after a failed statement.
    dm.IBQueryTemp.setSql(QStringLiteral("select count(*) from TYPE"));
    dm.IBQueryTemp.open();
    QCOMPARE(dm.IBQueryTemp.field(0), QStringLiteral("1"));
}

void TestFbSql::failedOpenRetriesOnNextStatement()
{
    TestDb db;
    const QString moved = db.path() + QStringLiteral(".away");
    QVERIFY(QFile::rename(db.path(), moved));
    TmvlabDm dm(db.path());
    dm.IBQueryTemp.setSql(QStringLiteral("select count(*) from TYPE"));
    QVERIFY_THROWS_EXCEPTION(DbError, dm.IBQueryTemp.open());
    QVERIFY(!dm.IBDatabaseMV.connected());
    QVERIFY(QFile::rename(moved, db.path()));
    dm.IBQueryTemp.open();
    QVERIFY(dm.IBDatabaseMV.connected());
    QCOMPARE(dm.IBQueryTemp.field(0), QStringLiteral("1"));
}

void TestFbSql::unitCommitsTogetherOrNotAtAll()
{
    TestDb db;
    {
        TmvlabDm dm(db.path());
        QVERIFY_THROWS_EXCEPTION(DbError, dm.runUnit([&] {
            Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("delete from type where id in(1)"));
            q.execute();
            q.setSql(QStringLiteral("delete from nosuchtable"));
            q.execute();
        }));
        // Not visible in this run either: the group was undone.
        QCOMPARE(db.rows(QStringLiteral("select count(*) from type")).value(0), QStringLiteral("1"));
        dm.runUnit([&] {
            Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("insert into type(id,parentid,typename) values(2,1,'b')"));
            q.execute();
        });
        // Committed at once: another connection sees it while this one is still open.
        dm.IBQueryTemp.setSql(QStringLiteral("select count(*) from type"));
        dm.IBQueryTemp.open();
        QCOMPARE(dm.IBQueryTemp.field(0), QStringLiteral("2"));
    }
    QCOMPARE(db.rows(QStringLiteral("select id from type order by id")), (QStringList{"1", "2"}));
}

void TestFbSql::injectedFaults()
{
    TestDb db;
    TmvlabDm dm(db.path());
    auto insert = [&](int id) {
        dm.runUnit([&] {
            Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("insert into type(id,parentid,typename) values(%1,0,'x')").arg(id));
            q.execute();
        });
    };
    dm.IBDatabaseMV.failOnStatement(2);
    insert(2);
    QVERIFY_THROWS_EXCEPTION(DbError, insert(3));
    dm.IBDatabaseMV.failOnCommit(1);
    QVERIFY_THROWS_EXCEPTION(DbError, insert(4));
    insert(5);
    QCOMPARE(db.rows(QStringLiteral("select id from type order by id")), (QStringList{"1", "2", "5"}));
}

void TestFbSql::queryClosedWhenTextReloaded()
{
    TestDb db;
    TmvlabDm dm(db.path());
    dm.IBQueryTemp.setSql(QStringLiteral("select * from type"));
    dm.IBQueryTemp.open();
    QVERIFY(dm.IBQueryTemp.active());
    dm.IBQueryTemp.setSql(QStringLiteral("select max(id) from type"));
    QVERIFY(!dm.IBQueryTemp.active());
    dm.IBQueryTemp.open();
    QCOMPARE(dm.IBQueryTemp.field(0), QStringLiteral("1"));
}

void TestFbSql::schemaMatchesWhatTheProgramRelyOn()
{
    TestDb db;
    // Column order of TYPE, the quoted DATE column, types and lengths.
    const QStringList cols = db.rows(QStringLiteral(
        "select trim(rf.rdb$relation_name), trim(rf.rdb$field_name), f.rdb$field_type, f.rdb$field_length,"
        " coalesce(f.rdb$field_sub_type, 0) from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = rf.rdb$field_source"
        " where rf.rdb$relation_name in ('DOCUMENTS', 'TYPE') order by rf.rdb$relation_name, rf.rdb$field_position"));
    QCOMPARE(cols, (QStringList{"DOCUMENTS|ID|8|4|0", "DOCUMENTS|TITLE|37|100|0", "DOCUMENTS|DATE|12|4|0",
                                "DOCUMENTS|TYPEID|8|4|0", "DOCUMENTS|CONTENT|261|8|1", "TYPE|ID|8|4|0",
                                "TYPE|PARENTID|8|4|0", "TYPE|TYPENAME|37|200|0"}));
    // The change log's counter and the file's tag; the log's triggers and
    // those that announce committed changes to other programs: nothing else
    // generates values or acts on a write.
    QCOMPARE(db.rows(QStringLiteral("select trim(rdb$generator_name) from rdb$generators where rdb$system_flag = 0 order by 1")),
             (QStringList{"MV_CHANGE_SEQ", "MV_DATABASE_TAG"}));
    QCOMPARE(db.rows(QStringLiteral("select trim(rdb$relation_name), trim(rdb$trigger_name) from rdb$triggers"
                                    " where rdb$system_flag = 0 order by 2")),
             (QStringList{"DOCUMENTS|MV_CHANGE_LOG_AD", "DOCUMENTS|MV_CHANGE_LOG_AI", "DOCUMENTS|MV_CHANGE_LOG_AU",
                          "DOCUMENTS|MV_DOCUMENTS_CHANGED", "TYPE|MV_TYPE_CHANGED"}));
    QCOMPARE(db.rows(QStringLiteral("select count(*) from rdb$relation_constraints where rdb$constraint_type = 'FOREIGN KEY'")).value(0), "0");
    QCOMPARE(db.rows(QStringLiteral("select trim(rdb$relation_name), trim(rdb$index_name) from rdb$indices where rdb$system_flag = 0"
                                    " and rdb$index_name starting with 'IX_' order by 1")),
             (QStringList{"DOCUMENTS|IX_DOCUMENTS_TYPEID", "TYPE|IX_TYPE_PARENTID"}));
    QCOMPARE(db.rows(QStringLiteral("select id, parentid from type")), QStringList{"1|0"});
    // The maker never overwrites a file.
    QVERIFY_THROWS_EXCEPTION(DbError, mv::createSchemaDatabase(db.path()));
}

void TestFbSql::cancelOperationStopsARunningStatement()
{
    TestDb db;
    TmvlabDm dm(db.path());
    mv::db::Connection &c = dm.IBDatabaseMV;
    c.ensureOpen();
    std::atomic<bool> done{false};
    QString error;
    // Billions of rows: it never ends by itself within the test.
    std::thread t([&] {
        try {
            Query q(c);
            q.setSql(QStringLiteral("select count(*) from rdb$fields a, rdb$fields b, rdb$fields c, rdb$fields d"));
            q.open();
        } catch (const DbError &e) {
            error = e.message();
        }
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    // Nothing to cancel before the statement has started: ask until it ends.
    while (!done && timer.elapsed() < 60000) {
        QTest::qSleep(50);
        c.cancelOperation();
    }
    t.join();
    QVERIFY2(error.contains(QStringLiteral("cancel")), qPrintable(error));
    QVERIFY(timer.elapsed() < 60000);
    // The connection goes on.
    Query q(c);
    q.setSql(QStringLiteral("select count(*) from rdb$database"));
    q.open();
    QCOMPARE(q.field(0), QStringLiteral("1"));
    // And with nothing running, a cancel does nothing.
    c.cancelOperation();
    Query again(c);
    again.setSql(QStringLiteral("select count(*) from rdb$database"));
    again.open();
    QCOMPARE(again.field(0), QStringLiteral("1"));
}

void TestFbSql::readsSeeOtherConnectionsCommitsAndHoldNothing()
{
    TestDb db;
    TmvlabDm dm(db.path());
    QCOMPARE(scalar(dm.IBDatabaseMV, QStringLiteral("select count(*) from type")), QStringLiteral("1"));
    QCOMPARE(dm.IBDatabaseMV.openTransactions(), 0);
    {
        TmvlabDm other(db.path());
        other.runUnit([&] {
            Query q(other.IBDatabaseMV);
            q.setSql(QStringLiteral("insert into type(id,parentid,typename) values(2,1,'from elsewhere')"));
            q.execute();
        });
        // Still attached while the program reads again.
        QCOMPARE(scalar(dm.IBDatabaseMV, QStringLiteral("select typename from type where id=2")),
                 QStringLiteral("from elsewhere"));
    }
    // And a unit reads what was committed before it started.
    dm.runUnit([&] {
        QCOMPARE(scalar(dm.IBDatabaseMV, QStringLiteral("select count(*) from type")), QStringLiteral("2"));
        QCOMPARE(dm.IBDatabaseMV.openTransactions(), 1);
    });
    QCOMPARE(dm.IBDatabaseMV.openTransactions(), 0);
}

void TestFbSql::queryLeftOpenIsLetGoOnceTheProgramWaits()
{
    TestDb db;
    db.exec({QStringLiteral("insert into type(id,parentid,typename) values(2,1,'b')"),
             QStringLiteral("insert into type(id,parentid,typename) values(3,1,'c')")});
    TmvlabDm dm(db.path());
    Query &q = dm.IBQueryTemp;
    q.setSql(QStringLiteral("select id from type order by id"));
    q.open();
    QCOMPARE(q.field(0), QStringLiteral("1"));
    q.next();
    QCOMPARE(q.field(0), QStringLiteral("2"));
    QCOMPARE(dm.IBDatabaseMV.openTransactions(), 1);
    // Back in the event loop, as while waiting for the user.
    QTest::qWait(1);
    QCOMPARE(dm.IBDatabaseMV.openTransactions(), 0);
    QVERIFY(!q.active());
    // Going on with it is an error, not a short list.
    QVERIFY_THROWS_EXCEPTION(DbError, q.next());
    q.open();
    QCOMPARE(q.field(0), QStringLiteral("1"));
    // Read to the end, it holds nothing without waiting.
    q.next();
    q.next();
    q.next();
    QVERIFY(q.eof());
    QCOMPARE(dm.IBDatabaseMV.openTransactions(), 0);
}

void TestFbSql::changeOutsideAUnitIsRefused()
{
    TestDb db;
    TmvlabDm dm(db.path());
    Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("insert into type(id,parentid,typename) values(2,1,'stray')"));
    try {
        q.execute();
        QFAIL("a change outside a unit was made");
    } catch (const DbError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("read-only")), qPrintable(e.message()));
    }
    QCOMPARE(dm.IBDatabaseMV.openTransactions(), 0);
    QCOMPARE(db.rows(QStringLiteral("select count(*) from type")), QStringList{"1"});
}

void TestFbSql::oldVersionsStayCollectableAcrossARun()
{
    TestDb db;
    TmvlabDm dm(db.path());
    const qint64 before = snapshotGap(db.path());
    for (int i = 0; i < 40; ++i) {
        dm.runUnit([&] {
            Query q(dm.IBDatabaseMV);
            q.setSql(QStringLiteral("update type set typename=:name where id=1"));
            q.setParam(QStringLiteral("name"), QString::number(i));
            q.execute();
        });
        QCOMPARE(scalar(dm.IBDatabaseMV, QStringLiteral("select typename from type")), QString::number(i));
    }
    // A query standing on a row, as a window might leave it.
    dm.IBQueryTemp.setSql(QStringLiteral("select * from type"));
    dm.IBQueryTemp.open();
    // Some eighty transactions have come and gone: none of them holds the
    // oldest snapshot back.
    QVERIFY2(snapshotGap(db.path()) <= before + 2, qPrintable(QString::number(snapshotGap(db.path()))));
}

QTEST_GUILESS_MAIN(TestFbSql)
#include "tst_fbsql.moc"
