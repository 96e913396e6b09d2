#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <thread>

class QTimer;

namespace mv {

// Takes a backup of the database at most once a day (see backupDatabase):
// a while after start-up, and later, when a day has passed, once nobody
// has typed or clicked for a few minutes. The backup runs on a thread of
// its own. A failure shows nothing: it is logged (qWarning and the log file
// beside the backups folder) and tried again at the next start, or a day
// later in a run that lasts.
class BackupSchedule : public QObject
{
    Q_OBJECT
public:
    struct Timing {
        int firstCheckMs = 60 * 1000;
        int checkEveryMs = 60 * 60 * 1000;
        int idleMs = 5 * 60 * 1000;
    };
    static constexpr int Keep = 7;

    BackupSchedule(const QString &databasePath, Timing timing, QObject *parent = nullptr);
    explicit BackupSchedule(const QString &databasePath, QObject *parent = nullptr)
        : BackupSchedule(databasePath, Timing(), parent)
    {
    }
    // Waits for a backup still running.
    ~BackupSchedule() override;

    bool running() const { return worker_.joinable(); }
    QString logFile() const;

signals:
    // ok: file is the new backup; else the failure's text.
    void finished(bool ok, const QString &fileOrError);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void check(bool atStart);
    bool due() const;
    void done(bool ok, const QString &fileOrError);
    void log(const QString &line);

    QString databasePath_;
    QString folder_;
    Timing timing_;
    QTimer *timer_;
    QDateTime lastInput_;
    QDateTime lastFailure_;
    std::thread worker_;
};

} // namespace mv
