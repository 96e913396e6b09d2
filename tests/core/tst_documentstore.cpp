// The document store: each write is one unit, and its listeners hear of it
// only once it is committed. Links the core alone (see CMakeLists.txt: the
// executable is checked to need no Qt Gui or Widgets).

#include "UnitDM.h"
#include "documentstore.h"
#include "fbsql.h"
#include "testdb.h"

#include <QTest>

#include <functional>

using mvtest::TestDb;

namespace {

// Records every notice as one line.
class Recorder : public mv::StoreListener
{
public:
    QStringList heard;
    void documentWritten(const QString &id) override { heard << "written " + id; }
    void documentDeleted(const QString &id) override { heard << "deleted " + id; }
    void categoryDocumentsDeleted(const QStringList &typeIds) override
    {
        heard << "emptied " + typeIds.join(QLatin1Char(','));
    }
    void categoriesChanged() override { heard << QStringLiteral("categories"); }
};

using Write = std::function<void(mv::DocumentStore &)>;

} // namespace
Q_DECLARE_METATYPE(Write)

class TestDocumentStore : public QObject
{
    Q_OBJECT

    // 1 Top > 2 Child > 3 Grandchild, 4 Other; documents 1 (in 2), 2 (in 3), 5 (in 4).
    static void fill(TestDb &db)
    {
        db.exec({"insert into type values (2, 1, 'Child')", "insert into type values (3, 2, 'Grandchild')",
                 "insert into type values (4, 0, 'Other')",
                 "insert into documents(id,title,content,typeid) values (1, 'one', '<p>1</p>', 2)",
                 "insert into documents(id,title,content,typeid) values (2, 'two', '<p>2</p>', 3)",
                 "insert into documents(id,title,content,typeid) values (5, 'five', '<p>5</p>', 4)"});
    }

private slots:
    void unitsAndTheirNotices_data()
    {
        QTest::addColumn<Write>("write");
        QTest::addColumn<QStringList>("heard");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("rows");
        const QString docs = QStringLiteral("select id, title, typeid from documents order by id");
        const QString types = QStringLiteral("select id, parentid, typename from type order by id");
        QTest::newRow("insert takes the largest id plus one")
            << Write([](mv::DocumentStore &s) { QCOMPARE(s.insertDocument("新的", "4", "<p>x</p>"), QString("6")); })
            << QStringList{"written 6"} << docs << QStringList{"1|one|2", "2|two|3", "5|five|4", "6|新的|4"};
        QTest::newRow("update")
            << Write([](mv::DocumentStore &s) { QVERIFY(s.updateDocument("2", "二", "4", "<p>2</p>")); })
            << QStringList{"written 2"} << docs << QStringList{"1|one|2", "2|二|4", "5|five|4"};
        // Nothing was stored, so nothing is told.
        QTest::newRow("update of a missing row")
            << Write([](mv::DocumentStore &s) { QVERIFY(!s.updateDocument("9", "x", "4", "")); }) << QStringList{}
            << docs << QStringList{"1|one|2", "2|two|3", "5|five|4"};
        QTest::newRow("delete") << Write([](mv::DocumentStore &s) { s.deleteDocument("1"); })
                                << QStringList{"deleted 1"} << docs << QStringList{"2|two|3", "5|five|4"};
        QTest::newRow("add category") << Write([](mv::DocumentStore &s) { QCOMPARE(s.addCategory("4", "新"), "5"); })
                                      << QStringList{"categories"} << types
                                      << QStringList{"1|0|我的资料", "2|1|Child", "3|2|Grandchild", "4|0|Other", "5|4|新"};
        QTest::newRow("rename category") << Write([](mv::DocumentStore &s) { s.renameCategory("3", "孙"); })
                                         << QStringList{"categories"} << types
                                         << QStringList{"1|0|我的资料", "2|1|Child", "3|2|孙", "4|0|Other"};
        QTest::newRow("subtree with its documents")
            << Write([](mv::DocumentStore &s) { QCOMPARE(s.deleteCategorySubtree("2", true), "2,3"); })
            << QStringList{"emptied 2,3", "categories"} << docs << QStringList{"5|five|4"};
        QTest::newRow("subtree without its documents")
            << Write([](mv::DocumentStore &s) { QCOMPARE(s.deleteCategorySubtree("1", false), "1,2,3"); })
            << QStringList{"categories"} << types << QStringList{"4|0|Other"};
    }

    void unitsAndTheirNotices()
    {
        QFETCH(Write, write);
        QFETCH(QStringList, heard);
        QFETCH(QString, sql);
        QFETCH(QStringList, rows);
        TestDb db;
        fill(db);
        TmvlabDm dm(db.path());
        Recorder first, second;
        dm.store().addListener(&first);
        dm.store().addListener(&second);
        write(dm.store());
        QCOMPARE(first.heard, heard);
        QCOMPARE(second.heard, heard);
        QCOMPARE(db.rows(sql), rows);
    }

    // Each statement of each unit in turn fails: the file keeps what it had
    // and no listener hears of a change that did not happen.
    void aFailingUnitNotifiesNothing_data()
    {
        QTest::addColumn<Write>("write");
        QTest::addColumn<int>("statements");
        QTest::newRow("insert") << Write([](mv::DocumentStore &s) { s.insertDocument("t", "4", "c"); }) << 2;
        QTest::newRow("update") << Write([](mv::DocumentStore &s) { s.updateDocument("1", "t", "4", "c"); }) << 2;
        QTest::newRow("delete") << Write([](mv::DocumentStore &s) { s.deleteDocument("1"); }) << 1;
        QTest::newRow("add category") << Write([](mv::DocumentStore &s) { s.addCategory("1", "n"); }) << 2;
        QTest::newRow("subtree") << Write([](mv::DocumentStore &s) { s.deleteCategorySubtree("1", true); }) << 3;
    }

    void aFailingUnitNotifiesNothing()
    {
        QFETCH(Write, write);
        QFETCH(int, statements);
        TestDb db;
        fill(db);
        const QString everything = QStringLiteral("select 'd', id, title, typeid from documents union all "
                                                  "select 't', id, parentid, typename from type");
        const QStringList before = db.rows(everything);
        for (int n = 1; n <= statements + 1; ++n) {
            TmvlabDm dm(db.path());
            Recorder listener;
            dm.store().addListener(&listener);
            // The last round fails the commit instead.
            if (n <= statements)
                dm.IBDatabaseMV.failOnStatement(n);
            else
                dm.IBDatabaseMV.failOnCommit(1);
            QVERIFY_THROWS_EXCEPTION(mv::db::DbError, write(dm.store()));
            QVERIFY2(listener.heard.isEmpty(), qPrintable(listener.heard.join(';')));
            QCOMPARE(db.rows(everything), before);
        }
    }

    // Refused before anything reaches the database: nothing told either.
    void idsThatAreNotNumbersAreRefused()
    {
        TestDb db;
        fill(db);
        TmvlabDm dm(db.path());
        Recorder listener;
        dm.store().addListener(&listener);
        QVERIFY_THROWS_EXCEPTION(mv::InputError, dm.store().deleteDocument("1 or 1=1"));
        QVERIFY_THROWS_EXCEPTION(mv::InputError, dm.store().updateDocument("1;", "t", "4", "c"));
        QVERIFY_THROWS_EXCEPTION(mv::InputError, dm.store().document("x"));
        QVERIFY(listener.heard.isEmpty());
        QCOMPARE(db.rows("select count(*) from documents"), QStringList{"3"});
    }

    void readsWhatTheWindowsShow()
    {
        TestDb db;
        fill(db);
        TmvlabDm dm(db.path());
        const std::optional<mv::StoredDocument> d = dm.store().document("2");
        QVERIFY(d);
        QCOMPARE(d->title, QStringLiteral("two"));
        QCOMPARE(d->typeId, QStringLiteral("3"));
        QCOMPARE(d->content, QStringLiteral("<p>2</p>"));
        QVERIFY(QDate::fromString(d->date, Qt::ISODate).isValid());
        QVERIFY(!dm.store().document("7"));
        // A number no row can have is no document, not an error.
        QVERIFY(!dm.store().document("99999999999"));
        QVERIFY(!dm.store().updateDocument("99999999999", "t", "4", "c"));
        QCOMPARE(dm.store().categoryName("3"), QStringLiteral("Grandchild"));
        QCOMPARE(dm.store().categoryName("99"), QString());
        QCOMPARE(dm.store().categoryName("3 or 1=1"), QString());
    }

    // A listener that leaves while being told does not stop the others.
    void aListenerMayLeaveWhileTold()
    {
        TestDb db;
        TmvlabDm dm(db.path());
        struct Leaver : Recorder {
            mv::DocumentStore *store = nullptr;
            void categoriesChanged() override { store->removeListener(this); heard << "left"; }
        } leaver;
        leaver.store = &dm.store();
        Recorder stays;
        dm.store().addListener(&leaver);
        dm.store().addListener(&stays);
        dm.store().addCategory("1", "a");
        dm.store().addCategory("1", "b");
        QCOMPARE(leaver.heard, QStringList{"left"});
        QCOMPARE(stays.heard, (QStringList{"categories", "categories"}));
    }
};

QTEST_GUILESS_MAIN(TestDocumentStore)
#include "tst_documentstore.moc"
