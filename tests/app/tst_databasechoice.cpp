// The database a start settles on, and what the user sees on the way: the
// first start makes the user's own database silently, a named file that is
// missing is made only when the user agrees, and one that cannot serve ends
// the run with one message, before any window, leaving it as it was.

#include "UnitDM.h"
#include "databasechoice.h"
#include "databaselocation.h"
#include "dialogs.h"
#include "fbsql.h"
#include "schema.h"
#include "singleinstance.h"
#include "startup.h"
#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using mv::DatabaseLocation;
using mvtest::folderSnapshot;

namespace {

int documentCount(const QString &path)
{
    TmvlabDm dm(path);
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select count(*) from DOCUMENTS"));
    q.open();
    return q.field(0).toInt();
}

using Fixture = std::function<void(const QString &path)>;

} // namespace

Q_DECLARE_METATYPE(Fixture)

class TestDatabaseChoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0")); }

    void firstStartMakesTheUserDatabaseThenKeepsIt()
    {
        QTemporaryDir root;
        const QString program = root.filePath(QStringLiteral("bin"));
        const QString userData = root.filePath(QStringLiteral("home/.local/share/mvlab"));
        QVERIFY(QDir().mkpath(program));
        mv::DialogRecorder boxes;

        const mv::DatabaseChoiceResult first = mv::chooseDatabase(program, userData, {});
        QCOMPARE(first.path, QDir(userData).filePath(QStringLiteral("mvlabnew.fdb")));
        QCOMPARE(DatabaseLocation::inspect(first.path).state, DatabaseLocation::State::Usable);
        QCOMPARE(documentCount(first.path), 0);
        QVERIFY(boxes.lines().isEmpty());
        QVERIFY(folderSnapshot(program).isEmpty());

        {
            TmvlabDm dm(first.path);
            dm.runUnit([&] {
                mv::db::Query q(dm.IBDatabaseMV);
                q.setSql(QStringLiteral("insert into documents(id,title,content,typeid) values(1,'a','b',1)"));
                q.execute();
            });
        }
        const mv::DatabaseChoiceResult again = mv::chooseDatabase(program, userData, {});
        QCOMPARE(again.path, first.path);
        QCOMPARE(documentCount(again.path), 1);
        QVERIFY(boxes.lines().isEmpty());
    }

    void databaseBesideTheProgramIsUsedAsItIs()
    {
        QTemporaryDir root;
        const QString beside = root.filePath(QStringLiteral("mvlabnew.fdb"));
        mv::createSchemaDatabase(beside);
        const QString userData = root.filePath(QStringLiteral("userdata"));
        mv::DialogRecorder boxes;

        QCOMPARE(mv::chooseDatabase(root.path(), userData, {}).path, beside);
        QVERIFY(boxes.lines().isEmpty());
        QVERIFY(!QFileInfo::exists(userData));
    }

    void userFolderThatCannotBeMadeEndsTheRun()
    {
        QTemporaryDir root;
        const QString blocker = root.filePath(QStringLiteral("share"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly)); // a file where the data folder's parent should be
        f.close();
        mv::DialogRecorder boxes;

        const mv::DatabaseChoiceResult r = mv::chooseDatabase(root.path(), blocker + QStringLiteral("/mvlab"), {});
        QVERIFY(r.path.isEmpty());
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes()[0].kind, mv::Dialogs::Kind::Error);
        QVERIFY2(boxes.boxes()[0].text.startsWith(QStringLiteral("无法新建数据库文件")), qPrintable(boxes.lines().join('\n')));
        QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("share")});
    }

    void namedFile_data()
    {
        QTest::addColumn<Fixture>("fixture");
        QTest::addColumn<bool>("answer");        // to a question, when one is asked
        QTest::addColumn<int>("boxKind");        // Dialogs::Kind of the one box; -1: no box
        QTest::addColumn<QString>("boxText");    // how its text starts
        QTest::addColumn<int>("exitCode");       // -1: the run goes on with the file
        QTest::addColumn<bool>("leftAsItWas");   // the folder and the file, byte for byte

        const int Question = int(mv::Dialogs::Kind::Question);
        const int Error = int(mv::Dialogs::Kind::Error);
        const auto nothing = [](const QString &) {};
        QTest::newRow("this program's database")
            << Fixture(mv::createSchemaDatabase) << true << -1 << QString() << -1 << false;
        QTest::newRow("missing, user agrees")
            << Fixture(nothing) << true << Question << QStringLiteral("数据库文件不存在") << -1 << false;
        QTest::newRow("missing, user declines")
            << Fixture(nothing) << false << Question << QStringLiteral("数据库文件不存在") << 0 << true;
        QTest::newRow("folder missing")
            << Fixture([](const QString &p) { QDir().rmdir(QFileInfo(p).path()); }) << true
            << Error << QStringLiteral("文件夹不存在") << 1 << true;
        QTest::newRow("not a database")
            << Fixture([](const QString &p) {
                   QFile f(p);
                   QVERIFY(f.open(QIODevice::WriteOnly));
                   f.write("just some notes\n");
               })
            << true << Error << QStringLiteral("无法把这个文件作为数据库打开") << 1 << true;
        QTest::newRow("database of another program")
            << Fixture([](const QString &p) {
                   mv::db::createDatabase(p, TmvlabDm::UserName, TmvlabDm::Password,
                                          {QStringLiteral("create table NOTES (ID integer)")});
               })
            << true << Error << QStringLiteral("这个数据库不是本程序的数据库") << 1 << false;
    }

    void namedFile()
    {
        QFETCH(Fixture, fixture);
        QFETCH(bool, answer);
        QFETCH(int, boxKind);
        QFETCH(QString, boxText);
        QFETCH(int, exitCode);
        QFETCH(bool, leftAsItWas);

        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir(QStringLiteral("place")));
        const QString place = root.filePath(QStringLiteral("place"));
        const QString path = QDir(place).filePath(QStringLiteral("notes.fdb"));
        fixture(path);
        const QStringList before = folderSnapshot(place);
        // Never the one beside the program, nor the user's own.
        const QString program = root.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(program));
        mv::createSchemaDatabase(QDir(program).filePath(QStringLiteral("mvlabnew.fdb")));
        const QString userData = root.filePath(QStringLiteral("userdata"));

        mv::DialogRecorder boxes;
        boxes.answerNext(answer);
        const mv::DatabaseChoiceResult r = mv::chooseDatabase(program, userData, path);

        if (boxKind < 0) {
            QVERIFY(boxes.lines().isEmpty());
        } else {
            QCOMPARE(boxes.boxes().size(), 1);
            const mv::Dialogs::Box &b = boxes.boxes()[0];
            QCOMPARE(int(b.kind), boxKind);
            QVERIFY2(b.text.startsWith(boxText), qPrintable(b.text));
            QVERIFY2(b.text.contains(QFileInfo(path).path()), qPrintable(b.text));
            QCOMPARE(b.caption, b.kind == mv::Dialogs::Kind::Question ? QStringLiteral("新建数据库")
                                                                       : mv::applicationTitle());
        }
        if (exitCode < 0) {
            QCOMPARE(r.path, path);
            QCOMPARE(DatabaseLocation::inspect(path).state, DatabaseLocation::State::Usable);
        } else {
            QVERIFY(r.path.isEmpty());
            QCOMPARE(r.exitCode, exitCode);
        }
        if (leftAsItWas)
            QCOMPARE(folderSnapshot(place), before);
        QVERIFY(!QFileInfo::exists(userData));
    }

    // A refusal ends the run before any window and lets the next start in.
    void refusalEndsBeforeTheWindowsAndFreesTheLock()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QTemporaryDir root;
        mv::DialogRecorder boxes;
        bool windows = false;

        const int code = mv::runStartUp({
            .createWindows = [&] { windows = true; },
            .destroyWindows = [&] { windows = true; },
            .beforeWindows = [&]() -> std::optional<int> {
                const auto r = mv::chooseDatabase(root.path(), root.path(), root.filePath(QStringLiteral("no/x.fdb")));
                return r.path.isEmpty() ? std::optional<int>(r.exitCode) : std::nullopt;
            },
        });
        QCOMPARE(code, 1);
        QVERIFY(!windows);
        QCOMPARE(boxes.boxes().size(), 1);
        mv::SingleInstanceLock next(QString::fromLatin1(mv::InstanceLockName));
        QCOMPARE(next.acquire(), mv::SingleInstanceLock::Result::Acquired);
    }
};

QTEST_MAIN(TestDatabaseChoice)
#include "tst_databasechoice.moc"
