#include "backupschedule.h"

#include "backup.h"
#include "fbsql.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace mv {

namespace {
constexpr qint64 DaySeconds = 24 * 60 * 60;
// The log keeps its last lines only.
constexpr qint64 LogLimitBytes = 64 * 1024;
} // namespace

BackupSchedule::BackupSchedule(const QString &databasePath, Timing timing, QObject *parent)
    : QObject(parent), databasePath_(databasePath), folder_(backupFolderFor(databasePath)), timing_(timing),
      timer_(new QTimer(this)), lastInput_(QDateTime::currentDateTime())
{
    QTimer::singleShot(timing_.firstCheckMs, this, [this] { check(true); });
    connect(timer_, &QTimer::timeout, this, [this] { check(false); });
    timer_->start(timing_.checkEveryMs);
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

BackupSchedule::~BackupSchedule()
{
    if (worker_.joinable())
        worker_.join();
}

QString BackupSchedule::logFile() const
{
    return QFileInfo(folder_).absolutePath() + QStringLiteral("/backups.log");
}

bool BackupSchedule::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        lastInput_ = QDateTime::currentDateTime();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool BackupSchedule::due() const
{
    const QDateTime now = QDateTime::currentDateTime();
    if (lastFailure_.isValid() && lastFailure_.secsTo(now) < DaySeconds)
        return false;
    const QStringList backups = backupsIn(folder_, databasePath_);
    return backups.isEmpty() || backupTime(backups.first()).secsTo(now) >= DaySeconds;
}

void BackupSchedule::check(bool atStart)
{
    if (worker_.joinable() || !due())
        return;
    // Later in the run, only while nobody works with the program.
    if (!atStart && lastInput_.msecsTo(QDateTime::currentDateTime()) < timing_.idleMs)
        return;
    worker_ = std::thread([this, path = databasePath_, folder = folder_] {
        bool ok = true;
        QString result;
        try {
            result = backupDatabase(path, folder, Keep);
        } catch (const db::DbError &e) {
            ok = false;
            result = e.message();
        } catch (const std::exception &e) {
            ok = false;
            result = QString::fromLocal8Bit(e.what());
        }
        QMetaObject::invokeMethod(this, [this, ok, result] { done(ok, result); }, Qt::QueuedConnection);
    });
}

void BackupSchedule::done(bool ok, const QString &fileOrError)
{
    worker_.join();
    if (ok) {
        lastFailure_ = QDateTime();
        log(QStringLiteral("backup %1").arg(QDir::toNativeSeparators(fileOrError)));
    } else {
        lastFailure_ = QDateTime::currentDateTime();
        qWarning("backup of %s failed: %s", qPrintable(databasePath_), qPrintable(fileOrError));
        log(QStringLiteral("backup failed: %1").arg(fileOrError));
    }
    emit finished(ok, fileOrError);
}

void BackupSchedule::log(const QString &line)
{
    QFile f(logFile());
    if (f.size() > LogLimitBytes && f.open(QIODevice::ReadOnly)) {
        QByteArray kept = f.readAll();
        f.close();
        kept = kept.mid(kept.indexOf('\n', kept.size() - LogLimitBytes / 2) + 1);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            f.write(kept);
            f.close();
        }
    }
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    f.write((QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char(' ') + line + QLatin1Char('\n')).toUtf8());
}

} // namespace mv
