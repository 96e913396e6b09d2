// The database file unusable in each way it can be at start-up or between two
// changes: missing, read-only, opened by another process, damaged. Each must
// give a DbError carrying the client's own message, must not cost anything
// already saved, and the same data module must work again once the fault is
// gone (the connection retries on the next statement).
//
// The other process is this executable started with --hold DBPATH: it opens
// the file through a data module, prints "held", and keeps the connection
// until its stdin closes.
//
// Then the faults that come while the program runs: the file replaced or
// deleted under an open connection, and the connection shut down by the
// engine.

#include "UnitDM.h"
#include "fbsql.h"
#include "storagefailure.h"
#include "testdb.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <functional>
#include <unistd.h>

using mv::db::DbError;
using mv::db::Query;

namespace {

int runHolder(const QString &path)
{
    TmvlabDm dm(path);
    Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select count(*) from documents"));
    q.open();
    q.close();
    std::printf("held\n");
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}

void insertDocument(TmvlabDm &dm, int id, const QString &title)
{
    dm.runUnit([&] {
        Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("insert into documents(id,title,content,typeid) values(:id,:title,:content,:typeid)"));
        q.setParam("id", QString::number(id));
        q.setParam("title", title);
        q.setParam("content", QStringLiteral("<BODY>%1</BODY>").arg(title));
        q.setParam("typeid", "1");
        q.execute();
    });
}

QStringList documentRows(TmvlabDm &dm)
{
    Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select id, title from documents order by id"));
    q.open();
    QStringList out;
    while (!q.eof()) {
        out << q.field(0) + QLatin1Char('|') + q.field(1);
        q.next();
    }
    q.close();
    return out;
}

bool runTool(const QString &program, const QStringList &args)
{
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty())
        return false;
    QProcess p;
    p.start(exe, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

enum class Fault { Missing, ReadOnly, Locked, Damaged };

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void faultGivesErrorAndConnectionRecovers_data();
    void faultGivesErrorAndConnectionRecovers();
    void replacedFileRefusesTheChangeAndIsReopened_data();
    void replacedFileRefusesTheChangeAndIsReopened();
    void connectionShutDownIsReopenedAtTheNextAction_data();
    void connectionShutDownIsReopenedAtTheNextAction();
};

void TestFaults::faultGivesErrorAndConnectionRecovers_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QStringList>("expected"); // each must be in the message
    QTest::addColumn<QString>("storageReason");
    QTest::newRow("missing") << Fault::Missing << QStringList{QStringLiteral("No such file or directory")}
                             << QStringLiteral("找不到数据库文件");
    QTest::newRow("read-only") << Fault::ReadOnly << QStringList{QStringLiteral("read-write access")} << QString();
    QTest::newRow("held by another process") << Fault::Locked << QStringList{QStringLiteral("lock")}
                                             << QStringLiteral("数据库文件正被另一个程序使用");
    QTest::newRow("damaged header") << Fault::Damaged << QStringList{QStringLiteral("not a valid database")}
                                    << QString();
}

void TestFaults::faultGivesErrorAndConnectionRecovers()
{
    QFETCH(Fault, fault);
    QFETCH(QStringList, expected);
    QFETCH(QString, storageReason);

    mvtest::TestDb db;
    db.exec({QStringLiteral("insert into documents(id,title,content,typeid) values(1,'one','<BODY>1</BODY>',1)"),
             QStringLiteral("insert into documents(id,title,content,typeid) values(2,'two','<BODY>2</BODY>',1)")});
    const QStringList saved{QStringLiteral("1|one"), QStringLiteral("2|two")};

    // The file the data module is pointed at; for a damaged file it is a
    // damaged copy, so the original stays the proof of what was saved.
    QString target = db.path();
    const QString original = db.dir() + QStringLiteral("/original.fdb");
    QProcess holder;
    bool immutable = false;
    std::function<void()> removeFault;

    switch (fault) {
    case Fault::Missing:
        QVERIFY(QFile::rename(db.path(), original));
        removeFault = [&] { QVERIFY(QFile::rename(original, db.path())); };
        break;
    case Fault::ReadOnly:
        QVERIFY(QFile::setPermissions(db.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        if (::geteuid() == 0) {
            // Permissions do not stop root; the immutable flag does.
            if (!runTool(QStringLiteral("chattr"), {QStringLiteral("+i"), db.path()})) {
                QFile::setPermissions(db.path(), QFile::ReadOwner | QFile::WriteOwner);
                QSKIP("running as root and chattr +i is not available here, so no file can be made read-only");
            }
            immutable = true;
        }
        removeFault = [&] {
            if (immutable) {
                QVERIFY(runTool(QStringLiteral("chattr"), {QStringLiteral("-i"), db.path()}));
                immutable = false;
            }
            QVERIFY(QFile::setPermissions(db.path(), QFile::ReadOwner | QFile::WriteOwner));
        };
        break;
    case Fault::Locked:
        holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold"), db.path()});
        QVERIFY(holder.waitForStarted());
        QVERIFY(holder.waitForReadyRead(30000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
        removeFault = [&] {
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(30000));
            QCOMPARE(holder.exitStatus(), QProcess::NormalExit);
            QCOMPARE(holder.exitCode(), 0);
        };
        break;
    case Fault::Damaged: {
        target = db.dir() + QStringLiteral("/damaged.fdb");
        QVERIFY(QFile::copy(db.path(), target));
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QCOMPARE(f.write(QByteArray(1024, char(0x5a))), qint64(1024));
        f.close();
        removeFault = [&] {
            QVERIFY(QFile::remove(target));
            QVERIFY(QFile::copy(db.path(), target));
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
        };
        break;
    }
    }
    // Whatever happens below, leave nothing behind that the fixture cannot remove.
    const auto cleanup = qScopeGuard([&] {
        if (immutable)
            runTool(QStringLiteral("chattr"), {QStringLiteral("-i"), db.path()});
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished();
        }
    });

    TmvlabDm dm(target);
    QString message;
    QString reason;
    try {
        insertDocument(dm, 3, QStringLiteral("three"));
        QFAIL("a change on an unusable file was reported done");
    } catch (const DbError &e) {
        message = e.message();
        reason = mv::db::storageFailureReason(e);
    }
    qInfo().noquote() << "client message:" << message;
    // The user must be able to tell which file is at fault.
    QVERIFY2(message.contains(target), qPrintable(message));
    for (const QString &part : expected)
        QVERIFY2(message.contains(part, Qt::CaseInsensitive), qPrintable(message));
    QVERIFY(!dm.IBDatabaseMV.connected());
    // Told from the engine's codes, for the message a failed change shows.
    QCOMPARE(reason, storageReason);

    removeFault();
    if (QTest::currentTestFailed())
        return;

    // The same module connects again on its next statement, finds what was
    // saved before the fault, and the change that failed can now be made.
    QCOMPARE(documentRows(dm), saved);
    QVERIFY(dm.IBDatabaseMV.connected());
    insertDocument(dm, 3, QStringLiteral("three"));
    dm.IBDatabaseMV.close();
    TmvlabDm fresh(target);
    QCOMPARE(documentRows(fresh), saved + QStringList{QStringLiteral("3|three")});
}

void TestFaults::replacedFileRefusesTheChangeAndIsReopened_data()
{
    QTest::addColumn<bool>("removed"); // else copied and moved over it
    QTest::addColumn<bool>("heldElsewhere"); // another connection keeps the old file meanwhile
    QTest::newRow("cp and mv over it") << false << false;
    QTest::newRow("rm") << true << false;
    // The engine would give a new attachment the old file it still has
    // open under that path: the changes would go where nobody sees them.
    QTest::newRow("cp and mv, old file held") << false << true;
}

void TestFaults::replacedFileRefusesTheChangeAndIsReopened()
{
    QFETCH(bool, removed);
    QFETCH(bool, heldElsewhere);
    mvtest::TestDb db;
    db.exec({QStringLiteral("insert into documents(id,title,content,typeid) values(1,'one','<BODY>1</BODY>',1)")});
    const QStringList saved{QStringLiteral("1|one")};
    TmvlabDm dm(db.path());
    QCOMPARE(documentRows(dm), saved);
    TmvlabDm holder(db.path());
    if (heldElsewhere)
        QCOMPARE(documentRows(holder), saved);

    // What a sync tool or a restore does while the program runs.
    const QString aside = db.dir() + QStringLiteral("/aside.fdb");
    QVERIFY(QFile::copy(db.path(), aside));
    if (removed) {
        QVERIFY(QFile::remove(db.path()));
    } else {
        const QString copy = db.dir() + QStringLiteral("/copy.fdb");
        QVERIFY(QFile::copy(db.path(), copy));
        QCOMPARE(::rename(QFile::encodeName(copy).constData(), QFile::encodeName(db.path()).constData()), 0);
    }

    try {
        insertDocument(dm, 2, QStringLiteral("two"));
        QFAIL("a change to a file no longer there was reported done");
    } catch (const DbError &e) {
        QVERIFY2(e.message().contains(db.path()), qPrintable(e.message()));
    }
    if (removed) {
        // The next action opens the path again, and says it is not there.
        QVERIFY_THROWS_EXCEPTION(DbError, documentRows(dm));
        QVERIFY(QFile::rename(aside, db.path()));
    }
    if (heldElsewhere) {
        // Not while the old file is open elsewhere in the program.
        QVERIFY_THROWS_EXCEPTION(DbError, documentRows(dm));
        QVERIFY_THROWS_EXCEPTION(DbError, insertDocument(dm, 2, QStringLiteral("two")));
        holder.IBDatabaseMV.close();
    }
    // The file the path names now is the one read and written.
    QCOMPARE(documentRows(dm), saved);
    insertDocument(dm, 2, QStringLiteral("two"));
    dm.IBDatabaseMV.close();
    TmvlabDm fresh(db.path());
    QCOMPARE(documentRows(fresh), saved + QStringList{QStringLiteral("2|two")});
}

void TestFaults::connectionShutDownIsReopenedAtTheNextAction_data()
{
    QTest::addColumn<bool>("write"); // the next action writes, else it reads
    QTest::newRow("a read") << false;
    QTest::newRow("a change") << true;
}

void TestFaults::connectionShutDownIsReopenedAtTheNextAction()
{
    QFETCH(bool, write);
    mvtest::TestDb db;
    db.exec({QStringLiteral("insert into documents(id,title,content,typeid) values(1,'one','<BODY>1</BODY>',1)")});
    TmvlabDm dm(db.path());
    Query me(dm.IBDatabaseMV);
    me.setSql(QStringLiteral("select current_connection from rdb$database"));
    me.open();
    const QString id = me.field(0);
    me.close();

    // Another connection ends this one, as the engine does on a shutdown.
    TmvlabDm other(db.path());
    other.runUnit([&] {
        Query q(other.IBDatabaseMV);
        q.setSql(QStringLiteral("delete from mon$attachments where mon$attachment_id = ") + id);
        q.execute();
    });

    if (write)
        insertDocument(dm, 2, QStringLiteral("two"));
    QCOMPARE(documentRows(dm), write ? (QStringList{"1|one", "2|two"}) : (QStringList{"1|one"}));
    me.open();
    QVERIFY(me.field(0) != id);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--hold") == 0)
        return runHolder(QString::fromLocal8Bit(argv[2]));
    TestFaults t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_faults.moc"
