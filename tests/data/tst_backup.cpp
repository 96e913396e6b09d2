// Backups through the engine's service while the program writes, their
// restore into a new file only, and the daily schedule.

#include "UnitDM.h"
#include "backup.h"
#include "backupschedule.h"
#include "fbsql.h"
#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>

using mv::db::DbError;
using mv::db::Query;

namespace {

QStringList ids(const QString &path)
{
    return mvtest::rowsOf(path, QStringLiteral("select id from documents order by id"));
}

void insert(TmvlabDm &dm, int id)
{
    Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("insert into documents(id,title,content,typeid) values(:id,:title,:content,1)"));
    q.setParam(QStringLiteral("id"), QString::number(id));
    q.setParam(QStringLiteral("title"), QStringLiteral("文档%1").arg(id));
    q.setParam(QStringLiteral("content"), QStringLiteral("<BODY>%1</BODY>").arg(QString(2000, QChar(0x4E2D))));
    q.execute();
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT
private slots:
    void backupWhileUnitsRunHoldsEveryCommittedRow();
    void restoreRefused_data();
    void restoreRefused();
    void newestSevenKept();
    void scheduleTakesOneADayAndLogsFailure();
    void restoreFromTheCommandLine();
};

void TestBackup::backupWhileUnitsRunHoldsEveryCommittedRow()
{
    mvtest::TestDb db;
    {
        TmvlabDm dm(db.path());
        dm.runUnit([&] {
            for (int id = 1; id <= 200; ++id)
                insert(dm, id);
        });
    }
    // Another connection commits unit after unit meanwhile; each unit
    // stays open a little while after its insert, so that units run while
    // the backup starts and while it reads.
    std::mutex mutex;
    QStringList committed; // in the order of their commits
    std::atomic_bool stop{false};
    std::atomic_int inFlight{0};
    std::thread writer([&] {
        TmvlabDm dm(db.path());
        for (int id = 1000; !stop; ++id) {
            dm.runUnit([&] {
                insert(dm, id);
                ++inFlight;
                QThread::msleep(5);
            });
            std::lock_guard<std::mutex> lock(mutex);
            committed << QString::number(id);
        }
    });
    QTRY_VERIFY(inFlight > 20);
    QStringList before;
    {
        std::lock_guard<std::mutex> lock(mutex);
        before = committed;
    }
    const QString folder = db.dir() + QStringLiteral("/backups");
    const QString file = mv::backupDatabase(db.path(), folder);
    const int during = inFlight;
    QTRY_VERIFY(inFlight > during + 20); // the writer went on after it
    stop = true;
    writer.join();
    QCOMPARE(mv::backupsIn(folder, db.path()), QStringList{file});

    const QString restored = db.dir() + QStringLiteral("/restored.fdb");
    mv::restoreBackup(file, restored);
    QStringList expected;
    for (int id = 1; id <= 200; ++id)
        expected << QString::number(id);
    const QStringList found = ids(restored);
    // Every row committed before the backup started, and then the units
    // committed before its snapshot, in their order: nothing half.
    QVERIFY2(found.size() >= expected.size() + before.size(), qPrintable(QString::number(found.size())));
    QCOMPARE(found.mid(0, 200), expected);
    QCOMPARE(found.mid(200), committed.mid(0, found.size() - 200));
    QVERIFY(found.size() - 200 < committed.size());
    // The database itself has all of them.
    QCOMPARE(ids(db.path()).size(), 200 + committed.size());
}

void TestBackup::restoreRefused_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("target exists (the open database)") << "exists";
    QTest::newRow("damaged backup") << "damaged";
    QTest::newRow("no such backup") << "missing";
    QTest::newRow("backup of another kind of database") << "foreign";
}

void TestBackup::restoreRefused()
{
    QFETCH(QString, fault);
    mvtest::TestDb db;
    db.exec({QStringLiteral("insert into documents(id,title,content,typeid) values(1,'one','<BODY>1</BODY>',1)")});
    const QString folder = db.dir() + QStringLiteral("/backups");
    QString backup = mv::backupDatabase(db.path(), folder);
    QString target = db.dir() + QStringLiteral("/restored.fdb");

    TmvlabDm open(db.path());
    QCOMPARE(ids(db.path()), QStringList{"1"});
    if (fault == QLatin1String("exists")) {
        target = db.path();
    } else if (fault == QLatin1String("damaged")) {
        QFile f(backup);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(f.size() / 2);
        f.write(QByteArray(int(f.size() / 4), char(0x5a)));
    } else if (fault == QLatin1String("missing")) {
        backup += QStringLiteral(".gone");
    } else {
        const QString other = db.dir() + QStringLiteral("/other.fdb");
        mv::db::createDatabase(other, TmvlabDm::UserName, TmvlabDm::Password,
                               {QStringLiteral("create table notes(id integer, body blob sub_type text)")});
        backup = mv::backupDatabase(other, db.dir() + QStringLiteral("/otherbackups"));
    }
    const QByteArray openBefore = [&] {
        QFile f(db.path());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    try {
        mv::restoreBackup(backup, target);
        QFAIL("restored");
    } catch (const DbError &e) {
        qInfo().noquote() << e.message();
        QVERIFY(!e.message().isEmpty());
    }
    QCOMPARE(QDir(db.dir()).entryList({QStringLiteral("*.restoring")}, QDir::Files), QStringList());
    if (fault != QLatin1String("exists"))
        QVERIFY(!QFileInfo::exists(target));
    // The open database is as it was, and goes on working.
    QFile f(db.path());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll() == openBefore);
    open.runUnit([&] { insert(open, 2); });
    QCOMPARE(ids(db.path()), (QStringList{"1", "2"}));
}

void TestBackup::newestSevenKept()
{
    mvtest::TestDb db;
    const QString folder = db.dir() + QStringLiteral("/backups");
    QVERIFY(QDir().mkpath(folder));
    QStringList older;
    for (int day = 1; day <= 8; ++day) {
        const QString name = QStringLiteral("%1/mvlabnew-202001%2-120000.fbk").arg(folder).arg(day, 2, 10, QLatin1Char('0'));
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        older.prepend(name);
    }
    for (const QString &name : {QStringLiteral("/mvlabnew-20200101-120000.fbk.part"), QStringLiteral("/notes.txt"),
                                QStringLiteral("/other-20200101-120000.fbk")}) {
        QFile f(folder + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString made = mv::backupDatabase(db.path(), folder);
    QCOMPARE(mv::backupsIn(folder, db.path()), QStringList{made} + older.mid(0, 6));
    QVERIFY(mv::backupTime(made).secsTo(QDateTime::currentDateTime()) < 60);
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/mvlabnew-20200101-120000.fbk.part")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/notes.txt")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/other-20200101-120000.fbk")));
}

void TestBackup::scheduleTakesOneADayAndLogsFailure()
{
    mvtest::TestDb db;
    const QString folder = mv::backupFolderFor(db.path());
    const mv::BackupSchedule::Timing now{0, 60 * 60 * 1000, 5 * 60 * 1000};
    {
        mv::BackupSchedule schedule(db.path(), now);
        QSignalSpy finished(&schedule, &mv::BackupSchedule::finished);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().at(0).toBool(), true);
    }
    QCOMPARE(mv::backupsIn(folder, db.path()).size(), 1);
    {
        // The next start on the same day takes none.
        mv::BackupSchedule schedule(db.path(), now);
        QSignalSpy finished(&schedule, &mv::BackupSchedule::finished);
        QVERIFY(!finished.wait(500));
        QVERIFY(!schedule.running());
    }
    QCOMPARE(mv::backupsIn(folder, db.path()).size(), 1);

    // Where no backup can be written: nothing but the log says so.
    mvtest::TestDb blocked;
    QFile notAFolder(mv::backupFolderFor(blocked.path()));
    QVERIFY(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^backup of .* failed: ")));
        mv::BackupSchedule schedule(blocked.path(), now);
        QSignalSpy finished(&schedule, &mv::BackupSchedule::finished);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QFile log(schedule.logFile());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(log.readAll()).contains(QStringLiteral("backup failed: ")));
    }
    // Tried again at the next start, and taken once it can be.
    QVERIFY(QFile::remove(notAFolder.fileName()));
    {
        mv::BackupSchedule schedule(blocked.path(), now);
        QSignalSpy finished(&schedule, &mv::BackupSchedule::finished);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().at(0).toBool(), true);
    }
    QCOMPARE(ids(blocked.path()), QStringList());
}

void TestBackup::restoreFromTheCommandLine()
{
    mvtest::TestDb db;
    db.exec({QStringLiteral("insert into documents(id,title,content,typeid) values(7,'seven','<BODY>7</BODY>',1)")});
    const QString backup = mv::backupDatabase(db.path(), mv::backupFolderFor(db.path()));
    QCOMPARE(mv::restoreFromCommandLine(backup, db.path()), 0);
    const QStringList made = QDir(db.dir()).entryList({QStringLiteral("mvlabnew-restored-*.fdb")}, QDir::Files);
    QCOMPARE(made.size(), 1);
    QCOMPARE(ids(QDir(db.dir()).filePath(made.first())), QStringList{"7"});
    QCOMPARE(mv::restoreFromCommandLine(backup + QStringLiteral(".none"), db.path()), 1);
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
