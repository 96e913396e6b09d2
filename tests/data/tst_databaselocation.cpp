// Where the run's database is, and what is made of a path someone names:
// every kind of file that cannot serve is told apart, and looking at it
// leaves it and its folder as they were.

#include "databaselocation.h"
#include "fbsql.h"
#include "readonlyfolder.h"
#include "testdb.h"
#include "schema.h"
#include "UnitDM.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using mv::DatabaseLocation;
using mvtest::folderSnapshot;
using State = DatabaseLocation::State;
using Source = DatabaseLocation::Source;

Q_DECLARE_METATYPE(DatabaseLocation::State)
Q_DECLARE_METATYPE(DatabaseLocation::Source)

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

void makeDatabase(const QString &path, const QStringList &statements)
{
    mv::db::createDatabase(path, TmvlabDm::UserName, TmvlabDm::Password, statements);
}

// Puts something at path (in an empty folder of its own) for one case.
using Fixture = std::function<void(const QString &path)>;

} // namespace

Q_DECLARE_METATYPE(Fixture)

class TestDatabaseLocation : public QObject
{
    Q_OBJECT

private slots:
    void choose_data()
    {
        QTest::addColumn<bool>("besideExists");
        QTest::addColumn<QString>("requested");
        QTest::addColumn<Source>("source");
        QTest::addColumn<QString>("expected"); // relative to program/, userdata/ or the working folder

        QTest::newRow("nothing anywhere: the user's folder") << false << QString() << Source::UserData
                                                             << QStringLiteral("userdata/mvlabnew.fdb");
        QTest::newRow("a file beside the program") << true << QString() << Source::BesideProgram
                                                   << QStringLiteral("program/mvlabnew.fdb");
        QTest::newRow("named, over one beside the program")
            << true << QStringLiteral("elsewhere/other.fdb") << Source::Requested
            << QStringLiteral("elsewhere/other.fdb");
        QTest::newRow("named with dots, made absolute")
            << false << QStringLiteral("program/../x.fdb") << Source::Requested << QStringLiteral("x.fdb");
    }

    void choose()
    {
        QFETCH(bool, besideExists);
        QFETCH(QString, requested);
        QFETCH(Source, source);
        QFETCH(QString, expected);

        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("program")));
        const QString program = root.filePath(QStringLiteral("program"));
        if (besideExists)
            writeFile(root.filePath(QStringLiteral("program/mvlabnew.fdb")), "x");
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root.path()));
        const DatabaseLocation::Choice choice =
            DatabaseLocation::choose(program, root.filePath(QStringLiteral("userdata")), requested);
        QDir::setCurrent(cwd);

        QCOMPARE(choice.source, source);
        QCOMPARE(choice.path, QDir::cleanPath(root.filePath(expected)));
        // Choosing makes nothing.
        QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("userdata"))));
    }

    void inspect_data()
    {
        QTest::addColumn<Fixture>("fixture");
        QTest::addColumn<State>("state");
        QTest::addColumn<QString>("detail"); // a part of it; empty: none expected

        const auto nothing = [](const QString &) {};
        QTest::newRow("this program's database") << Fixture(mv::createSchemaDatabase) << State::Usable << QString();
        QTest::newRow("one without its first category")
            << Fixture([](const QString &p) {
                   mv::createSchemaDatabase(p);
                   TmvlabDm dm(p);
                   dm.runUnit([&] {
                       mv::db::Query q(dm.IBDatabaseMV);
                       q.setSql(QStringLiteral("delete from type"));
                       q.execute();
                   });
               })
            << State::Usable << QString();
        QTest::newRow("no file, folder writable") << Fixture(nothing) << State::Missing << QString();
        QTest::newRow("folder missing") << Fixture([](const QString &p) { QDir().rmdir(QFileInfo(p).path()); })
                                        << State::FolderMissing << QString();
        QTest::newRow("a folder") << Fixture([](const QString &p) { QDir().mkdir(p); }) << State::NotAFile << QString();
        QTest::newRow("a link to nowhere")
            << Fixture([](const QString &p) { QFile::link(QStringLiteral("/nonexistent/mvlab.fdb"), p); })
            << State::NotAFile << QString();
        QTest::newRow("empty file") << Fixture([](const QString &p) { writeFile(p, {}); }) << State::NotADatabase
                                    << QString();
        QTest::newRow("text") << Fixture([](const QString &p) { writeFile(p, "<html>not a database</html>\n"); })
                              << State::NotADatabase << QString();
        QTest::newRow("64 KB of noise") << Fixture([](const QString &p) {
            QByteArray noise(64 * 1024, '\0');
            QRandomGenerator gen(18);
            for (char &c : noise)
                c = char(gen.bounded(256));
            writeFile(p, noise);
        }) << State::NotADatabase << QString();
        QTest::newRow("a database of other tables")
            << Fixture([](const QString &p) {
                   makeDatabase(p, {QStringLiteral("create table NOTES (ID integer, BODY varchar(10))")});
               })
            << State::OtherSchema << QStringLiteral("缺少表 DOCUMENTS，缺少表 TYPE");
        QTest::newRow("DOCUMENTS without CONTENT")
            << Fixture([](const QString &p) {
                   makeDatabase(p, {QStringLiteral("create table DOCUMENTS (ID integer, TITLE varchar(100),"
                                                   " \"DATE\" date, TYPEID integer)"),
                                    QStringLiteral("create table TYPE (ID integer, PARENTID integer,"
                                                   " TYPENAME varchar(200))")});
               })
            << State::OtherSchema << QStringLiteral("CONTENT");
        QTest::newRow("TYPE's columns in another order")
            << Fixture([](const QString &p) {
                   makeDatabase(p, {QStringLiteral("create table DOCUMENTS (ID integer, TITLE varchar(100),"
                                                   " \"DATE\" date, TYPEID integer, CONTENT blob sub_type text)"),
                                    QStringLiteral("create table TYPE (TYPENAME varchar(200), ID integer,"
                                                   " PARENTID integer)")});
               })
            << State::OtherSchema << QStringLiteral("TYPE");
    }

    void inspect()
    {
        QFETCH(Fixture, fixture);
        QFETCH(State, state);
        QFETCH(QString, detail);

        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir(QStringLiteral("place")));
        const QString path = root.filePath(QStringLiteral("place/mvlab.fdb"));
        fixture(path);
        const QStringList before = folderSnapshot(root.filePath(QStringLiteral("place")));

        const DatabaseLocation::Check check = DatabaseLocation::inspect(path);
        QCOMPARE(check.state, state);
        if (!detail.isEmpty())
            QVERIFY2(check.detail.contains(detail), qPrintable(check.detail));
        if (state == State::NotADatabase)
            QVERIFY(!check.detail.isEmpty()); // the engine's own words, for whoever has to look into it

        // The engine writes its counters into a database it attaches to;
        // everything else is left exactly as it was.
        if (state != State::Usable && state != State::OtherSchema)
            QCOMPARE(folderSnapshot(root.filePath(QStringLiteral("place"))), before);
        else
            QCOMPARE(folderSnapshot(root.filePath(QStringLiteral("place"))).size(), before.size());

        // The message names the place and ends so that the error box adds
        // no full stop.
        const QString message = DatabaseLocation::refusal(path, check);
        if (state == State::Usable || state == State::Missing) {
            QVERIFY(message.isEmpty());
        } else {
            QVERIFY2(message.contains(state == State::FolderMissing ? QFileInfo(path).path() : path), qPrintable(message));
            QVERIFY(message.endsWith(QLatin1Char('!')));
        }
    }

    // A read-only mount (or, for a user other than root, a folder without
    // write permission): a new file cannot be made there, an existing
    // database cannot be used, and neither is touched.
    void readOnlyPlace_data()
    {
        QTest::addColumn<bool>("withDatabase");
        QTest::addColumn<State>("state");
        QTest::newRow("no file yet") << false << State::FolderReadOnly;
        QTest::newRow("a database") << true << State::FileReadOnly;
    }

    void readOnlyPlace()
    {
        QFETCH(bool, withDatabase);
        QFETCH(State, state);
        QTemporaryDir root;
        const QString path = root.filePath(QStringLiteral("mvlabnew.fdb"));
        if (withDatabase)
            mv::createSchemaDatabase(path);
        mvtest::ReadOnlyFolder readOnly(root.path());
        if (!readOnly.ok())
            QSKIP(qPrintable(readOnly.reason()));
        const QStringList before = folderSnapshot(root.path());

        const DatabaseLocation::Check check = DatabaseLocation::inspect(path);
        QCOMPARE(check.state, state);
        QCOMPARE(folderSnapshot(root.path()), before);
        QVERIFY(DatabaseLocation::refusal(path, check).contains(state == State::FileReadOnly ? path : root.path()));
    }

    void createMakesFoldersSchemaAndFirstCategoryOnly()
    {
        QTemporaryDir root;
        const QString path = root.filePath(QStringLiteral("share/mvlab/mvlabnew.fdb"));
        DatabaseLocation::create(path);
        QCOMPARE(DatabaseLocation::inspect(path).state, State::Usable);

        TmvlabDm dm(path);
        mv::db::Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("select ID, PARENTID, TYPENAME from TYPE"));
        q.open();
        QCOMPARE(q.field(0) + QLatin1Char('|') + q.field(1) + QLatin1Char('|') + q.field(2), QStringLiteral("1|0|我的资料"));
        q.next();
        QVERIFY(q.eof());
        q.setSql(QStringLiteral("select count(*) from DOCUMENTS"));
        q.open();
        QCOMPARE(q.field(0), QStringLiteral("0"));
        q.close();
        dm.IBDatabaseMV.close();

        // Never over an existing file.
        const QStringList before = folderSnapshot(QFileInfo(path).path());
        QVERIFY_THROWS_EXCEPTION(mv::db::DbError, DatabaseLocation::create(path));
        QCOMPARE(folderSnapshot(QFileInfo(path).path()), before);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseLocation)
#include "tst_databaselocation.moc"
