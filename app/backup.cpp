#include "backup.h"

#include "UnitDM.h"
#include "fbsql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <firebird/Interface.h>
#include <ibase.h>

#include <cstdio>
#include <unistd.h>

using namespace Firebird;

namespace mv {

namespace {

const QString StampFormat = QStringLiteral("yyyyMMdd-HHmmss");
const QString BackupSuffix = QStringLiteral(".fbk");
const QString PartSuffix = QStringLiteral(".part");

QString baseName(const QString &databasePath)
{
    return QFileInfo(databasePath).completeBaseName();
}

QString text(const IStatus *status)
{
    char buf[2048];
    fb_get_master_interface()->getUtilInterface()->formatStatus(buf, sizeof buf, const_cast<IStatus *>(status));
    return QString::fromLocal8Bit(buf).trimmed();
}

// Runs one action of the engine's service manager and waits for its end.
// The service reports a failure when asked for its output.
void runService(unsigned char action, const QString &databasePath, const QString &backupPath)
{
    IMaster *master = fb_get_master_interface();
    IStatus *raw = master->getStatus();
    ThrowStatusWrapper st(raw);
    IUtil *util = master->getUtilInterface();
    IProvider *provider = master->getDispatcher();
    IService *service = nullptr;
    IXpbBuilder *attach = nullptr;
    IXpbBuilder *start = nullptr;
    QString error;
    try {
        attach = util->getXpbBuilder(&st, IXpbBuilder::SPB_ATTACH, nullptr, 0);
        attach->insertString(&st, isc_spb_user_name, TmvlabDm::UserName);
        attach->insertString(&st, isc_spb_password, TmvlabDm::Password);
        service = provider->attachServiceManager(&st, "service_mgr", attach->getBufferLength(&st),
                                                 attach->getBuffer(&st));
        start = util->getXpbBuilder(&st, IXpbBuilder::SPB_START, nullptr, 0);
        start->insertTag(&st, action);
        start->insertString(&st, isc_spb_dbname, QFile::encodeName(databasePath).constData());
        start->insertString(&st, isc_spb_bkp_file, QFile::encodeName(backupPath).constData());
        service->start(&st, start->getBufferLength(&st), start->getBuffer(&st));
        const unsigned char request[] = {isc_info_svc_to_eof};
        unsigned char out[16384];
        for (bool more = true; more;) {
            service->query(&st, 0, nullptr, sizeof request, request, sizeof out, out);
            more = false;
            for (const unsigned char *p = out; *p != isc_info_end && p < out + sizeof out;) {
                const unsigned char tag = *p++;
                if (tag == isc_info_svc_to_eof) {
                    p += 2 + isc_portable_integer(p, 2);
                } else {
                    more = tag == isc_info_truncated || tag == isc_info_data_not_ready;
                    break;
                }
            }
        }
        service->detach(&st);
        service = nullptr;
    } catch (const FbException &e) {
        error = text(e.getStatus());
    }
    if (service)
        service->release();
    if (start)
        start->dispose();
    if (attach)
        attach->dispose();
    provider->release();
    raw->dispose();
    if (!error.isEmpty())
        throw db::DbError(error);
}

// The engine's restore believes what a backup says, and a damaged backup
// can crash it. It runs in a process of its own (the engine's gbak tool on
// the same embedded engine), so such a backup fails the restore and takes
// nothing else down.
void restoreInOwnProcess(const QString &backupFile, const QString &databasePath)
{
    const QString gbak = QStandardPaths::findExecutable(QStringLiteral("gbak"));
    if (gbak.isEmpty())
        throw db::DbError(QStringLiteral("找不到数据库引擎的恢复工具 gbak（软件包 firebird3.0-utils）。"));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(gbak, {QStringLiteral("-c"), QStringLiteral("-user"), QString::fromLatin1(TmvlabDm::UserName),
                   backupFile, databasePath});
    if (!p.waitForStarted())
        throw db::DbError(QStringLiteral("恢复工具 %1 无法启动：%2").arg(gbak, p.errorString()));
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const QString said = QString::fromLocal8Bit(p.readAll()).trimmed().right(2000);
    if (p.exitStatus() == QProcess::CrashExit)
        throw db::DbError(QStringLiteral("恢复工具异常终止（备份文件可能已损坏）。") + said);
    if (p.exitCode() != 0)
        throw db::DbError(said.isEmpty() ? QStringLiteral("恢复工具报告失败（退出码 %1）。").arg(p.exitCode()) : said);
}

// The columns the program reads, and every row of both tables.
void checkRestored(const QString &path)
{
    db::Connection c(path, TmvlabDm::UserName, TmvlabDm::Password);
    db::Query q(c);
    q.setSql(QStringLiteral("select id, title, \"DATE\", typeid, content from documents"));
    for (q.open(); !q.eof(); q.next())
        q.fieldBytes(4);
    q.setSql(QStringLiteral("select id, parentid, typename from type"));
    for (q.open(); !q.eof(); q.next()) {
    }
    q.close();
    c.close();
}

} // namespace

QString backupFolderFor(const QString &databasePath)
{
    return QFileInfo(databasePath).absoluteDir().filePath(QStringLiteral("backups"));
}

QDateTime backupTime(const QString &file)
{
    static const QRegularExpression stamp(QStringLiteral("-(\\d{8}-\\d{6})\\.fbk$"));
    const QRegularExpressionMatch m = stamp.match(file);
    return m.hasMatch() ? QDateTime::fromString(m.captured(1), StampFormat) : QDateTime();
}

QStringList backupsIn(const QString &folder, const QString &databasePath)
{
    const QRegularExpression ours(QStringLiteral("^") + QRegularExpression::escape(baseName(databasePath))
                                  + QStringLiteral("-\\d{8}-\\d{6}\\.fbk$"));
    QStringList out;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name | QDir::Reversed))
        if (ours.match(name).hasMatch())
            out.append(dir.filePath(name));
    return out;
}

QString backupDatabase(const QString &databasePath, const QString &folder, int keep)
{
    if (!QDir().mkpath(folder))
        throw db::DbError(QStringLiteral("无法建立备份文件夹 %1").arg(QDir::toNativeSeparators(folder)));
    const QDir dir(folder);
    // Left by a run that ended in the middle of one.
    for (const QString &name : dir.entryList({QStringLiteral("*") + BackupSuffix + PartSuffix}, QDir::Files))
        QFile::remove(dir.filePath(name));

    QString file = dir.filePath(baseName(databasePath) + QLatin1Char('-')
                                + QDateTime::currentDateTime().toString(StampFormat) + BackupSuffix);
    // Two in the same second: the second waits for a name of its own.
    while (QFileInfo::exists(file)) {
        ::usleep(200000);
        file = dir.filePath(baseName(databasePath) + QLatin1Char('-')
                            + QDateTime::currentDateTime().toString(StampFormat) + BackupSuffix);
    }
    const QString part = file + PartSuffix;
    try {
        runService(isc_action_svc_backup, databasePath, part);
    } catch (...) {
        QFile::remove(part);
        throw;
    }
    if (!QFile::rename(part, file)) {
        QFile::remove(part);
        throw db::DbError(QStringLiteral("无法把备份 %1 改名为 %2").arg(part, file));
    }
    const QStringList all = backupsIn(folder, databasePath);
    for (qsizetype i = keep; i < all.size(); ++i)
        QFile::remove(all[i]);
    return file;
}

void restoreBackup(const QString &backupFile, const QString &targetPath)
{
    const QString target = QDir::toNativeSeparators(targetPath);
    if (!QFileInfo(backupFile).isFile())
        throw db::DbError(QStringLiteral("备份文件 %1 不存在。").arg(QDir::toNativeSeparators(backupFile)));
    if (QFileInfo::exists(targetPath))
        throw db::DbError(QStringLiteral("%1 已经存在：恢复只写入新文件，没有恢复。").arg(target));
    const QString temporary = targetPath + QStringLiteral(".restoring");
    QFile::remove(temporary);
    try {
        restoreInOwnProcess(backupFile, temporary);
        checkRestored(temporary);
    } catch (const db::DbError &e) {
        QFile::remove(temporary);
        throw db::DbError(QStringLiteral("备份 %1 无法恢复：%2").arg(QDir::toNativeSeparators(backupFile), e.message()));
    }
    // A link fails when the name is taken meanwhile: nothing is replaced.
    const QByteArray from = QFile::encodeName(temporary);
    if (::link(from.constData(), QFile::encodeName(targetPath).constData()) != 0) {
        QFile::remove(temporary);
        throw db::DbError(QStringLiteral("无法建立 %1，没有恢复。").arg(target));
    }
    ::unlink(from.constData());
}

int restoreFromCommandLine(const QString &backupFile, const QString &databasePath)
{
    const QFileInfo db(databasePath);
    const QString target = db.absoluteDir().filePath(db.completeBaseName() + QStringLiteral("-restored-")
                                                     + QDateTime::currentDateTime().toString(StampFormat)
                                                     + QLatin1Char('.') + db.suffix());
    try {
        restoreBackup(backupFile, target);
    } catch (const db::DbError &e) {
        std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    std::printf("%s\n", QStringLiteral("已恢复到 %1。要使用它，请先退出程序，再把它改名为 %2。")
                            .arg(QDir::toNativeSeparators(target), db.fileName())
                            .toLocal8Bit()
                            .constData());
    return 0;
}

} // namespace mv
