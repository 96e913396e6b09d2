// A change reported done must survive the process being killed right after.

#include "fbsql.h"
#include "testdb.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstring>

using mv::db::Query;

namespace {

// Child: one change committed as a unit, then one in a unit that does not
// end: it reports and waits to be killed in the middle of it.
int runChild(const QString &path)
{
    TmvlabDm dm(path);
    dm.runUnit([&] {
        Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("insert into documents(id,title,content,typeid)  values(:id,:title,:content,:typeid)"));
        q.setParam("id", "1");
        q.setParam("title", QStringLiteral("保存了"));
        q.setParam("content", QStringLiteral("<BODY>内容</BODY>"));
        q.setParam("typeid", "1");
        q.execute();
    });
    dm.runUnit([&] {
        Query open(dm.IBDatabaseMV);
        open.setSql(QStringLiteral("insert into type(id,parentid,typename) values(99,0,'pending')"));
        open.execute();
        std::printf("done\n");
        std::fflush(stdout);
        for (;;)
            QThread::sleep(1);
    });
    return 0;
}

} // namespace

class TestDurability : public QObject
{
    Q_OBJECT
private slots:
    void reportedChangeSurvivesSigkill();
};

void TestDurability::reportedChangeSurvivesSigkill()
{
    mvtest::TestDb db;
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), db.path()});
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForReadyRead(30000));
    QCOMPARE(child.readLine().trimmed(), QByteArray("done"));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    QCOMPARE(db.rows(QStringLiteral("select id, title, content from documents")),
             QStringList{QStringLiteral("1|保存了|<BODY>内容</BODY>")});
    // What was never committed is gone, so the kill really cut the run short.
    QCOMPARE(db.rows(QStringLiteral("select count(*) from type where id=99")), QStringList{"0"});
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestDurability t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_durability.moc"
