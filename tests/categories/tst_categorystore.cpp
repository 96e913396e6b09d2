#include "documentstore.h"
#include "testdb.h"

#include <QTest>

using mv::InputError;
using mvtest::TestDb;

class TestCategoryStore : public QObject
{
    Q_OBJECT
private slots:
    void namesStoredExactly_data();
    void namesStoredExactly();
    void idTexts_data();
    void idTexts();
    void newIdsAreLargestPlusOne();
    void renameTouchesOnlyTheNamedRow();
    void deleteSubtree_data();
    void deleteSubtree();
    void failedSecondDeletionKeepsEverything();
    void subtreeLargerThanOneInList();
};

void TestCategoryStore::namesStoredExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("quote") << QStringLiteral("O'Brien's notes");
    QTest::newRow("statement text") << QStringLiteral("x'); delete from type; --");
    QTest::newRow("wildcards") << QStringLiteral("100% _done_ \\path");
    QTest::newRow("chinese with blanks and dash") << QStringLiteral("读书 笔记-2026");
    QTest::newRow("outside code page") << QString::fromUcs4(U"表情\U0001F600");
    QTest::newRow("blanks only") << QStringLiteral("   ");
}

void TestCategoryStore::namesStoredExactly()
{
    QFETCH(QString, name);
    TestDb db;
    TmvlabDm dm(db.path());
    QCOMPARE(dm.store().addCategory("1", name), QStringLiteral("2"));
    QCOMPARE(db.rows("select id, parentid, typename from type order by id"), (QStringList{"1|0|我的资料", "2|1|" + name}));
    dm.store().renameCategory("2", name + name);
    QCOMPARE(db.rows("select typename from type where id=2"), QStringList{name + name});
}

void TestCategoryStore::idTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored"); // empty: refused
    QTest::newRow("top level") << "0" << "0";
    QTest::newRow("unknown parent") << "42" << "42";
    QTest::newRow("negative") << "-5" << "-5";
    QTest::newRow("leading zeros") << "007" << "7";
    QTest::newRow("largest") << "2147483647" << "2147483647";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("word") << "abc" << "";
    QTest::newRow("statement text") << "1); delete from type; --" << "";
    QTest::newRow("or clause") << "1 or 1=1" << "";
    QTest::newRow("beyond 32 bits") << "2147483648" << "";
    QTest::newRow("blank around") << " 3" << "";
    QTest::newRow("plus sign") << "+3" << "";
    QTest::newRow("fraction") << "3.0" << "";
}

void TestCategoryStore::idTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    TestDb db;
    TmvlabDm dm(db.path());
    if (stored.isEmpty()) {
        try {
            dm.store().addCategory(text, "n");
            QFAIL("accepted");
        } catch (const InputError &e) {
            QVERIFY(e.message().contains(text.isEmpty() ? QStringLiteral("“”") : text));
        }
        QVERIFY_THROWS_EXCEPTION(InputError, dm.store().renameCategory(text, "n"));
        QVERIFY_THROWS_EXCEPTION(InputError, dm.store().deleteCategorySubtree(text, true));
        QCOMPARE(db.rows("select id, parentid, typename from type"), QStringList{"1|0|我的资料"});
    } else {
        dm.store().addCategory(text, "n");
        QCOMPARE(db.rows("select parentid from type where id=2"), QStringList{stored});
    }
}

void TestCategoryStore::newIdsAreLargestPlusOne()
{
    TestDb db(false);
    TmvlabDm dm(db.path());
    QCOMPARE(dm.store().addCategory("0", "a"), QStringLiteral("1"));
    dm.store().insertCategory("7", "0", "b");
    QCOMPARE(dm.store().addCategory("1", "c"), QStringLiteral("8"));
}

void TestCategoryStore::renameTouchesOnlyTheNamedRow()
{
    TestDb db;
    db.exec({"insert into type(id,parentid,typename) values(2,1,'two')"});
    TmvlabDm dm(db.path());
    dm.store().renameCategory("2", "新名");
    dm.store().renameCategory("99", "nobody"); // no row: nothing changes, no error
    QCOMPARE(db.rows("select id, typename from type order by id"), (QStringList{"1|我的资料", "2|新名"}));
}

void TestCategoryStore::deleteSubtree_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("withDocuments");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("typesLeft");
    QTest::addColumn<QStringList>("docsLeft");
    // 1 > 2 > 3 > 4 (three levels below 1... and 5 beside 3), 6 elsewhere
    QTest::newRow("three levels, documents too") << "2" << true << "2,3,4,5" << QStringList{"1", "6"} << QStringList{"10", "60"};
    QTest::newRow("three levels, documents kept") << "2" << false << "2,3,4,5" << QStringList{"1", "6"}
                                                  << QStringList{"10", "20", "40", "50", "60"};
    QTest::newRow("leaf") << "4" << true << "4" << QStringList{"1", "2", "3", "5", "6"} << QStringList{"10", "20", "50", "60"};
}

void TestCategoryStore::deleteSubtree()
{
    QFETCH(QString, id);
    QFETCH(bool, withDocuments);
    QFETCH(QString, list);
    QFETCH(QStringList, typesLeft);
    QFETCH(QStringList, docsLeft);
    TestDb db;
    db.exec({"insert into type(id,parentid,typename) values(2,1,'b')", "insert into type(id,parentid,typename) values(3,2,'c')",
             "insert into type(id,parentid,typename) values(4,3,'d')", "insert into type(id,parentid,typename) values(5,2,'e')",
             "insert into type(id,parentid,typename) values(6,0,'f')"});
    for (int t : {1, 2, 4, 5, 6})
        db.exec({QStringLiteral("insert into documents(id,title,typeid) values(%1,'t',%2)").arg(t * 10).arg(t)});
    TmvlabDm dm(db.path());
    QCOMPARE(dm.store().deleteCategorySubtree(id, withDocuments), list);
    QCOMPARE(db.rows("select id from type order by id"), typesLeft);
    QCOMPARE(db.rows("select id from documents order by id"), docsLeft);
}

void TestCategoryStore::failedSecondDeletionKeepsEverything()
{
    TestDb db;
    db.exec({"insert into type(id,parentid,typename) values(2,1,'b')",
             "insert into documents(id,title,typeid) values(1,'t',2)"});
    TmvlabDm dm(db.path());
    dm.IBDatabaseMV.ensureOpen();
    // statements: the subtree query, the document deletion, then the category deletion fails
    dm.IBDatabaseMV.failOnStatement(3);
    QVERIFY_THROWS_EXCEPTION(mv::db::DbError, dm.store().deleteCategorySubtree("1", true));
    QCOMPARE(db.rows("select id from type order by id"), (QStringList{"1", "2"}));
    QCOMPARE(db.rows("select id from documents"), QStringList{"1"});
    // and the same run can still delete afterwards
    dm.store().deleteCategorySubtree("2", true);
    QCOMPARE(db.rows("select id from type"), QStringList{"1"});
}

// Firebird refuses an IN list of more than 1,500 values: a subtree of 2,000
// categories could not be deleted at all. It goes in slices, still as one
// unit: a slice that fails keeps everything.
void TestCategoryStore::subtreeLargerThanOneInList()
{
    TestDb db;
    QStringList s;
    for (int id = 2; id <= 2001; ++id)
        s << QStringLiteral("insert into type(id,parentid,typename) values(%1,%2,'c')").arg(id).arg(id < 10 ? 1 : id / 10);
    for (int id = 1; id <= 2001; id += 4)
        s << QStringLiteral("insert into documents(id,title,typeid) values(%1,'t',%1)").arg(id);
    s << "insert into type(id,parentid,typename) values(3000,0,'other')"
      << "insert into documents(id,title,typeid) values(3000,'t',3000)";
    db.exec(s);
    TmvlabDm dm(db.path());
    dm.IBDatabaseMV.ensureOpen();
    // the subtree query and two slices of documents go through, the third slice fails
    dm.IBDatabaseMV.failOnStatement(4);
    QVERIFY_THROWS_EXCEPTION(mv::db::DbError, dm.store().deleteCategorySubtree("1", true));
    QCOMPARE(db.rows("select count(*) from type"), QStringList{"2002"});
    QCOMPARE(db.rows("select count(*) from documents"), QStringList{"502"});

    QCOMPARE(dm.store().deleteCategorySubtree("1", true).count(QLatin1Char(',')), 2000);
    QCOMPARE(db.rows("select id from type"), QStringList{"3000"});
    QCOMPARE(db.rows("select id from documents"), QStringList{"3000"});
}

QTEST_GUILESS_MAIN(TestCategoryStore)
#include "tst_categorystore.moc"
