// Start-up in real processes: the single-instance lock, the two refusals,
// a start after a killed run, and a missing database.

#include "singleinstance.h"
#include "testdb.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <vector>

class TestStartUp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir runtime_;

    QString probe() const { return QStringLiteral(MV_BUILD_DIR "/tests/mvstartprobe"); }

    void prepare(QProcess &p, const QString &runtimeDir) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::SeparateChannels);
    }

    // Runs the probe to its end; returns its stdout lines.
    QStringList runToEnd(const QString &runtimeDir, const QString &db, int *exitCode)
    {
        QProcess p;
        prepare(p, runtimeDir);
        p.start(probe(), {db, QStringLiteral("quit")});
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return {QStringLiteral("TIMEOUT")};
        }
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void lockOutcomesInProcess()
    {
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        mv::SingleInstanceLock first(QStringLiteral("LockTest"));
        QCOMPARE(first.acquire(), mv::SingleInstanceLock::Result::Acquired);
        mv::SingleInstanceLock second(QStringLiteral("LockTest"));
        QCOMPARE(second.acquire(), mv::SingleInstanceLock::Result::AlreadyRunning);
        first.release();
        QCOMPARE(second.acquire(), mv::SingleInstanceLock::Result::Acquired);

        QFile plain(QDir(runtime_.path()).filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        qputenv("XDG_RUNTIME_DIR", plain.fileName().toLocal8Bit());
        mv::SingleInstanceLock broken(QStringLiteral("LockTest"));
        QCOMPARE(broken.acquire(), mv::SingleInstanceLock::Result::Failed);

        // Without a runtime folder: a private per-user folder.
        qunsetenv("XDG_RUNTIME_DIR");
        const QString dir = mv::SingleInstanceLock::lockDirectory();
        QVERIFY(!dir.isEmpty());
        QCOMPARE(QFileInfo(dir).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                                                  | QFile::WriteOther),
                 QFileDevice::Permissions());
    }

    void secondStartRefusedAndKilledRunDoesNotBlock()
    {
        mvtest::TestDb db;
        QProcess first;
        prepare(first, runtime_.path());
        first.start(probe(), {db.path(), QStringLiteral("hold")});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(first.peek(4096)).contains(QLatin1String("WINDOW|1|")), 60000);

        // Refused: the box, exit code 0, no window, and the database (here a
        // path that does not exist) never opened, or an error box would show.
        int code = -2;
        const QStringList refused =
            runToEnd(runtime_.path(), QDir(runtime_.path()).filePath(QStringLiteral("absent.fdb")), &code);
        QCOMPARE(refused, QStringList{QStringLiteral("BOX|notice|信息提示|你已经运行了这该软件!")});
        QCOMPARE(code, 0);
        QCOMPARE(first.state(), QProcess::Running);

        first.kill(); // SIGKILL: no chance to release anything
        QVERIFY(first.waitForFinished());

        const QStringList after = runToEnd(runtime_.path(), db.path(), &code);
        QCOMPARE(after.size(), 1);
        QVERIFY2(after.first().startsWith(QStringLiteral("WINDOW|1|Morvane资料系统V1.0")), qPrintable(after.join('\n')));
        QCOMPARE(code, 0);

        // And after a run that ended normally, a start succeeds again.
        QCOMPARE(runToEnd(runtime_.path(), db.path(), &code), after);
    }

    void racingStartsLeaveExactlyOne()
    {
        // Started together, all reach the lock at about the same time; one
        // window, the others refused, whatever the order.
        mvtest::TestDb db;
        QTemporaryDir runtime;
        constexpr int starts = 4;
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < starts; ++i) {
            runs.push_back(std::make_unique<QProcess>());
            prepare(*runs.back(), runtime.path());
        }
        for (auto &p : runs)
            p->start(probe(), {db.path(), QStringLiteral("hold")});
        const auto stop = qScopeGuard([&] {
            for (auto &p : runs) {
                p->kill();
                p->waitForFinished();
            }
        });

        int refused = 0;
        QProcess *winner = nullptr;
        for (auto &p : runs) {
            // A refused start may have ended already: only a failed start counts.
            if (p->state() == QProcess::Starting)
                p->waitForStarted();
            QVERIFY(p->error() != QProcess::FailedToStart);
            QTRY_VERIFY_WITH_TIMEOUT(p->canReadLine() || p->state() == QProcess::NotRunning, 60000);
            const QString line = QString::fromUtf8(p->readLine()).trimmed();
            if (line == QStringLiteral("BOX|notice|信息提示|你已经运行了这该软件!")) {
                if (p->state() != QProcess::NotRunning)
                    QVERIFY(p->waitForFinished(30000));
                QCOMPARE(p->exitStatus(), QProcess::NormalExit);
                QCOMPARE(p->exitCode(), 0);
                ++refused;
            } else {
                QVERIFY2(line.startsWith(QStringLiteral("WINDOW|1|")), qPrintable(line));
                QVERIFY2(!winner, "two starts both opened a window");
                winner = p.get();
            }
        }
        QVERIFY(winner);
        QCOMPARE(refused, starts - 1);
        QCOMPARE(winner->state(), QProcess::Running);
    }

    void lockThatCannotBeCreated()
    {
        // A runtime folder that is a plain file: no lock can be made in it.
        QFile notAFolder(QDir(runtime_.path()).filePath(QStringLiteral("plainfile")));
        QVERIFY(notAFolder.open(QIODevice::WriteOnly));
        notAFolder.close();
        int code = -2;
        const QStringList out = runToEnd(notAFolder.fileName(), QStringLiteral("/nonexistent.fdb"), &code);
        QCOMPARE(out, QStringList{QStringLiteral("BOX|notice|Error|创建互斥对象失败!")});
        QCOMPARE(code, 0);
    }

    // SIGTERM and SIGINT end the program as its exit command does: the
    // connection still works to the end, everything is committed and the
    // file is sound. (Left to the database engine, they shut the connection
    // down and the program goes on unable to save.)
    void terminationSignalEndsTheRunCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void terminationSignalEndsTheRunCleanly()
    {
        QFETCH(int, signal);
        mvtest::TestDb db;
        QTemporaryDir runtime;
        QProcess p;
        prepare(p, runtime.path());
        p.start(probe(), {db.path(), QStringLiteral("write")});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(p.peek(4096)).contains(QLatin1String("WROTE|")), 60000);
        ::kill(pid_t(p.processId()), signal);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            QFAIL("the program did not end on the signal");
        }
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(out.value(1), QStringLiteral("WROTE|2"));
        QCOMPARE(out.value(2), QStringLiteral("CLOSED|2"));
        QCOMPARE(out.size(), 3);
        QCOMPARE(db.rows(QStringLiteral("select id, typename from type where id=2")), QStringList{"2|写好的"});
        QProcess check;
        check.start(QStringLiteral("gfix"), {QStringLiteral("-v"), QStringLiteral("-full"), QStringLiteral("-user"),
                                             QStringLiteral("sysdba"), QStringLiteral("-password"), QStringLiteral("x"),
                                             db.path()});
        QVERIFY(check.waitForFinished(60000));
        QCOMPARE(check.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(check.readAllStandardOutput() + check.readAllStandardError()).trimmed(), QString());
    }

    void missingDatabaseGivesOneErrorThenEmptyWindow()
    {
        QTemporaryDir empty;
        int code = -2;
        const QStringList out = runToEnd(runtime_.path(), empty.filePath(QStringLiteral("mvlabnew.fdb")), &code);
        QCOMPARE(out.size(), 2);
        QVERIFY2(out[0].startsWith(QStringLiteral("BOX|error|Morvane资料系统V1.0|")), qPrintable(out[0]));
        QVERIFY(out[0].size() > int(QStringLiteral("BOX|error|Morvane资料系统V1.0|").size()));
        QCOMPARE(out[1], QStringLiteral("WINDOW|0|Morvane资料系统V1.0"));
        QCOMPARE(code, 0);
    }
};

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"
