// Start-up in real processes: the single-instance lock, the two refusals,
// a start after a killed run, a missing database, the program's command
// line; the private folders for the lock and for the engine's lock files.

#include "privatefolder.h"
#include "singleinstance.h"
#include "startup.h"
#include "testdb.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <csignal>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The user another local user's folders belong to in these tests.
constexpr uid_t Nobody = 65534;

// The immutable flag: unlike permissions, it stops root from writing too.
bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

QString refusal(const QString &path, const QString &reason)
{
    return QStringLiteral("BOX|notice|Error|创建互斥对象失败!\\n") + path + QStringLiteral(": ") + reason;
}

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir runtime_;

    QString probe() const { return QStringLiteral(MV_BUILD_DIR "/tests/mvstartprobe"); }

    // An empty runtimeDir starts the probe without XDG_RUNTIME_DIR, with
    // tempDir as its temporary folder.
    void prepare(QProcess &p, const QString &runtimeDir, const QString &tempDir = QString()) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (runtimeDir.isEmpty())
            env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        else
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        if (!tempDir.isEmpty())
            env.insert(QStringLiteral("TMPDIR"), tempDir);
        env.remove(QString::fromLatin1(mv::EngineLockVariable));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::SeparateChannels);
    }

    // Runs the probe to its end; returns its stdout lines.
    QStringList runToEnd(const QString &runtimeDir, const QString &db, int *exitCode, const QString &tempDir = QString())
    {
        QProcess p;
        prepare(p, runtimeDir, tempDir);
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
        QCOMPARE(out, QStringList{refusal(notAFolder.fileName(), QStringLiteral("不是文件夹"))});
        QCOMPARE(code, 0);
    }

    // What may stand where the lock goes: the start goes on, or is refused
    // with the path and the reason after the message.
    void lockPlaceChecked_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("faulty"); // relative to the runtime folder; "" for the folder itself
        QTest::addColumn<QString>("reason"); // "" when the start goes on
        QTest::newRow("read-only lock file") << "read-only" << "" << "";
        QTest::newRow("lock path is a folder") << "folder" << "ProjectMvDocument.lock"
                                               << QString::fromLocal8Bit(std::strerror(EISDIR));
        QTest::newRow("lock path is a link") << "link" << "ProjectMvDocument.lock"
                                             << QStringLiteral("是一个符号链接，不是锁文件");
        QTest::newRow("runtime folder of another user") << "foreign" << "" << QStringLiteral("属于用户 65534，不属于当前用户 %1").arg(::getuid());
        QTest::newRow("runtime folder open to others") << "open" << "" << QStringLiteral("权限是 0755，应当是 0700");
        QTest::newRow("runtime folder is a link") << "runtime link" << "" << QStringLiteral("是一个符号链接，不是文件夹");
    }
    void lockPlaceChecked()
    {
        QFETCH(QString, setup);
        QFETCH(QString, faulty);
        QFETCH(QString, reason);
        mvtest::TestDb db;
        QTemporaryDir base;
        QString runtime = base.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkdir(runtime));
        QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString lock = QDir(runtime).filePath(QStringLiteral("ProjectMvDocument.lock"));
        bool immutable = false;
        const auto undo = qScopeGuard([&] {
            if (immutable)
                setImmutable(lock, false);
            ::chown(QFile::encodeName(runtime).constData(), ::getuid(), ::getgid());
        });
        if (setup == "read-only") {
            QFile f(lock);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            QVERIFY(QFile::setPermissions(lock, QFile::ReadOwner));
            // Permissions do not stop root; the immutable flag does.
            if (::geteuid() == 0) {
                if (!setImmutable(lock, true))
                    QSKIP("running as root and this file system has no immutable flag");
                immutable = true;
            }
        } else if (setup == "folder") {
            QVERIFY(QDir().mkdir(lock));
        } else if (setup == "link") {
            QVERIFY(QFile::link(base.filePath(QStringLiteral("elsewhere")), lock));
        } else if (setup == "foreign") {
            if (::geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            QCOMPARE(::chown(QFile::encodeName(runtime).constData(), Nobody, Nobody), 0);
        } else if (setup == "open") {
            QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                       | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        } else if (setup == "runtime link") {
            const QString link = base.filePath(QStringLiteral("runlink"));
            QVERIFY(QFile::link(runtime, link));
            runtime = link;
        }

        int code = -2;
        const QStringList out = runToEnd(runtime, db.path(), &code);
        QCOMPARE(code, 0);
        if (reason.isEmpty()) {
            QCOMPARE(out.size(), 1);
            QVERIFY2(out.first().startsWith(QStringLiteral("WINDOW|1|")), qPrintable(out.join('\n')));
        } else {
            QCOMPARE(out, QStringList{refusal(faulty.isEmpty() ? runtime : QDir(runtime).filePath(faulty), reason)});
        }
    }

    // Without XDG_RUNTIME_DIR, a folder another user made first under the
    // name the program would take in the temporary folder is passed over:
    // the start goes on, and a second start still finds the first.
    void takenTempFolderPassedOver_data()
    {
        QTest::addColumn<QString>("taken");
        QTest::newRow("another user's folder") << "foreign";
        QTest::newRow("folder open to everyone") << "open";
        QTest::newRow("link to another folder") << "link";
    }
    void takenTempFolderPassedOver()
    {
        QFETCH(QString, taken);
        mvtest::TestDb db;
        QTemporaryDir temp;
        const QString first = temp.filePath(QStringLiteral("ProjectMvDocument-%1").arg(::getuid()));
        const auto undo = qScopeGuard([&] { ::chown(QFile::encodeName(first).constData(), ::getuid(), ::getgid()); });
        if (taken == "link") {
            QVERIFY(QDir().mkdir(temp.filePath(QStringLiteral("planted"))));
            QVERIFY(QFile::link(temp.filePath(QStringLiteral("planted")), first));
        } else {
            QVERIFY(QDir().mkdir(first));
            QVERIFY(QFile::setPermissions(first, QFileDevice::Permissions(0x7777)));
            if (taken == "foreign") {
                if (::geteuid() != 0)
                    QSKIP("only root can give a folder to another user");
                QCOMPARE(::chown(QFile::encodeName(first).constData(), Nobody, Nobody), 0);
            }
        }
        QString failure;
        const QString chosen = mv::SingleInstanceLock::lockDirectoryFrom(QString(), QString(), temp.path(), &failure);
        QCOMPARE(chosen, first + QStringLiteral("-1"));
        QVERIFY(mv::PrivateFolder::check(chosen));

        QProcess holder;
        prepare(holder, QString(), temp.path());
        holder.start(probe(), {db.path(), QStringLiteral("hold")});
        const auto stop = qScopeGuard([&] {
            holder.kill();
            holder.waitForFinished();
        });
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(holder.peek(4096)).contains(QLatin1String("WINDOW|1|")), 60000);
        int code = -2;
        QCOMPARE(runToEnd(QString(), db.path(), &code, temp.path()),
                 QStringList{QStringLiteral("BOX|notice|信息提示|你已经运行了这该软件!")});
    }

    // The engine keeps its lock files in a private folder beside the
    // program's lock, not in the folder every user shares.
    void engineLocksInPrivateFolder()
    {
        mvtest::TestDb db;
        QTemporaryDir runtime;
        int code = -2;
        const QStringList out = runToEnd(runtime.path(), db.path(), &code);
        QCOMPARE(out.size(), 1);
        QVERIFY2(out.first().startsWith(QStringLiteral("WINDOW|1|")), qPrintable(out.join('\n')));
        const QString engine = QDir(runtime.path()).filePath(QStringLiteral("ProjectMvDocument-firebird"));
        QString why;
        QVERIFY2(mv::PrivateFolder::check(engine, &why), qPrintable(why));
        QVERIFY(!QDir(engine).entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty());
    }

    void engineLockFolderChoice()
    {
        QTemporaryDir dir;
        const QString engine = dir.filePath(QStringLiteral("ProjectMvDocument-firebird"));
        const QByteArray before = qgetenv(mv::EngineLockVariable);
        const auto restore = qScopeGuard([&] {
            if (before.isNull())
                qunsetenv(mv::EngineLockVariable);
            else
                qputenv(mv::EngineLockVariable, before);
            ::chown(QFile::encodeName(engine).constData(), ::getuid(), ::getgid());
        });
        // One set by the user is left as it is.
        qputenv(mv::EngineLockVariable, "/somewhere/chosen");
        QVERIFY(mv::useEngineLockFolder(dir.path(), nullptr));
        QCOMPARE(qgetenv(mv::EngineLockVariable), QByteArray("/somewhere/chosen"));
        QVERIFY(!QFileInfo::exists(engine));

        qunsetenv(mv::EngineLockVariable);
        QVERIFY(mv::useEngineLockFolder(dir.path(), nullptr));
        QCOMPARE(QFile::decodeName(qgetenv(mv::EngineLockVariable)), engine);
        QVERIFY(mv::PrivateFolder::check(engine));

        if (::geteuid() != 0)
            return;
        qunsetenv(mv::EngineLockVariable);
        QCOMPARE(::chown(QFile::encodeName(engine).constData(), Nobody, Nobody), 0);
        QString failure;
        QVERIFY(!mv::useEngineLockFolder(dir.path(), &failure));
        QCOMPARE(failure, engine + QStringLiteral(": 属于用户 65534，不属于当前用户 0"));
        QVERIFY(qgetenv(mv::EngineLockVariable).isEmpty());
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

    // The program itself: what it prints and ends with. --help and
    // --version are answered with no display to open, before any
    // application object would need one; the toolkit's own options are left
    // to it.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("display"); // false: no display at all
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // a pattern the whole of stdout matches; %1: the data folder
        QTest::addColumn<QString>("err"); // how stderr starts

        const QString help = QStringLiteral("(?s)用法: mvlab \\[--database 文件\\].*%1/mvlab/mvlabnew\\.fdb.*"
                                            "选项：\\n.*-h, --help.*-v, --version.*--database <文件>.*");
        const QString version = QStringLiteral("Morvane资料系统 \\d+\\.\\d+\\.\\d+\\n");
        const auto args = [](const char *line) { return QString::fromUtf8(line).split(QLatin1Char(' ')); };
        QTest::newRow("--version") << args("--version") << false << 0 << version << QString();
        QTest::newRow("-v") << args("-v") << false << 0 << version << QString();
        QTest::newRow("--help") << args("--help") << false << 0 << help << QString();
        QTest::newRow("-h among others") << args("--database /x.fdb -style fusion -h") << false << 0 << help
                                         << QString();
        QTest::newRow("unknown option") << args("--bogus") << true << 2 << QString() << QStringLiteral("参数有误：");
        QTest::newRow("--database without a file")
            << args("--database") << true << 2 << QString() << QStringLiteral("参数有误：");
        QTest::newRow("--database with an empty name, after Qt's own option")
            << args("-style fusion --database=") << true << 2 << QString() << QStringLiteral("参数有误：--database");
        QTest::newRow("a stray argument") << args("notes.fdb") << true << 2 << QString()
                                          << QStringLiteral("参数有误：多余的参数 notes.fdb");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, display);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);

        QTemporaryDir data;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), display ? QStringLiteral("offscreen") : QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MV_BUILD_DIR "/ProjectMvDocument"), arguments);
        QVERIFY(p.waitForFinished(30000));
        const QString stdOut = QString::fromUtf8(p.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == exitCode, qPrintable(stdErr));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(
                     QString(out).replace(QStringLiteral("%1"), QRegularExpression::escape(data.path()))))
                     .match(stdOut)
                     .hasMatch(),
                 qPrintable(stdOut));
        QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err), qPrintable(stdErr));
        // Nothing was made for the user yet.
        QVERIFY(QDir(data.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"
