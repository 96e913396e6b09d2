#include "fbserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace mvtest {

namespace {

const QString ServerBinary = QStringLiteral("/usr/sbin/firebird");
const QString ServerRoot = QStringLiteral("/usr/lib/x86_64-linux-gnu/firebird/3.0");
const QString Isql = QStringLiteral("/usr/bin/isql-fb");

int freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

FbServer::FbServer() = default;

FbServer::~FbServer()
{
    kill();
}

QString FbServer::nameOf(const QString &fileName) const
{
    return nameOfPath(QDir(dir_.path()).filePath(fileName));
}

QString FbServer::nameOfPath(const QString &absolutePath) const
{
    return QStringLiteral("127.0.0.1/%1:%2").arg(port_).arg(absolutePath);
}

bool FbServer::prepare(QString *why)
{
    auto fail = [&](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    if (!QFileInfo(ServerBinary).isExecutable() || !QFileInfo(Isql).isExecutable())
        return fail(QStringLiteral("no server binary (%1) or %2").arg(ServerBinary, Isql));
    if (!dir_.isValid())
        return fail(QStringLiteral("no temporary folder"));
    const QDir d(dir_.path());
    // The server's own root: its configuration here, the rest (plugins,
    // messages, character sets) the installed one's.
    d.mkpath(QStringLiteral("root"));
    d.mkpath(QStringLiteral("lock"));
    for (const char *entry : {"plugins", "intl", "UDF", "lib", "firebird.msg", "plugins.conf"})
        QFile::link(QDir(ServerRoot).filePath(QLatin1String(entry)), d.filePath(QStringLiteral("root/%1").arg(QLatin1String(entry))));
    port_ = freeLoopbackPort();
    if (port_ == 0)
        return fail(QStringLiteral("no free loopback port"));
    const QString security = d.filePath(QStringLiteral("security3.fdb"));
    if (!writeFile(d.filePath(QStringLiteral("root/firebird.conf")),
                   QStringLiteral("SecurityDatabase = %1\nRemoteBindAddress = 127.0.0.1\nRemoteServicePort = %2\n")
                       .arg(security)
                       .arg(port_)
                       .toUtf8()) ||
        !writeFile(d.filePath(QStringLiteral("root/databases.conf")), QByteArray()))
        return fail(QStringLiteral("cannot write the server's configuration"));

    // The security database, with the one user, made by the engine in a
    // process that reads this configuration.
    QProcess isql;
    isql.setProcessEnvironment(process_.processEnvironment());
    isql.start(Isql, {QStringLiteral("-q"), QStringLiteral("-user"), QLatin1String(User)});
    isql.write(QStringLiteral("create database '%1'; create user %2 password '%3'; commit; quit;\n")
                   .arg(security, QLatin1String(User), QLatin1String(Password))
                   .toUtf8());
    isql.closeWriteChannel();
    if (!isql.waitForFinished(30000) || isql.exitCode() != 0 || !QFileInfo::exists(security))
        return fail(QStringLiteral("security database not made: ") + QString::fromLocal8Bit(isql.readAllStandardError()));
    prepared_ = true;
    return true;
}

bool FbServer::start(QString *why)
{
    if (running())
        return true;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FIREBIRD"), QDir(dir_.path()).filePath(QStringLiteral("root")));
    env.insert(QStringLiteral("FIREBIRD_LOCK"), QDir(dir_.path()).filePath(QStringLiteral("lock")));
    process_.setProcessEnvironment(env);
    if (!prepared_ && !prepare(why))
        return false;
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A test that crashes takes its server with it.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.start(ServerBinary, {QStringLiteral("-p"), QString::number(port_)});
    if (!process_.waitForStarted(10000) || !waitForPort(15000)) {
        if (why)
            *why = QStringLiteral("the server did not start: ") + QString::fromLocal8Bit(process_.readAll());
        kill();
        return false;
    }
    return true;
}

bool FbServer::waitForPort(int ms) const
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (process_.state() == QProcess::NotRunning)
            return false;
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(port_));
        if (s.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void FbServer::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(10000);
}

} // namespace mvtest
