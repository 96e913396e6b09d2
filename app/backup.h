#pragma once

// Backups of the database through the engine's backup service: taken while
// the program runs, read through a transaction of their own, so they hold
// exactly what was committed when they started. Restored only into a new
// file, and only after that file has been opened and checked.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace mv {

// The folder for the backups of a database file: "backups" beside it.
QString backupFolderFor(const QString &databasePath);

// The backups in folder, newest first (files named "<base>-yyyyMMdd-HHmmss.fbk").
QStringList backupsIn(const QString &folder, const QString &databasePath);
// When a backup file was taken, read from its name; invalid for any other name.
QDateTime backupTime(const QString &file);

// Takes a backup of databasePath into folder (made when missing) and keeps
// only the newest keep backups there; returns the new file. The file gets
// its name only once it is complete: a failure (a full disk among them)
// leaves no backup that is not one, and never touches the database, which
// the backup only reads. Throws db::DbError.
QString backupDatabase(const QString &databasePath, const QString &folder, int keep = 7);

// Restores backupFile into targetPath, which must not exist (so never over
// an open database): restored under a temporary name beside it, opened and
// checked (both tables there with their columns, every row readable), then
// given its name. On failure nothing is left at targetPath. Throws
// db::DbError.
void restoreBackup(const QString &backupFile, const QString &targetPath);

// The command line's restore: into a new file beside databasePath, named
// after it with "-restored-" and the time. Prints what it did; returns the
// process's exit code.
int restoreFromCommandLine(const QString &backupFile, const QString &databasePath);

} // namespace mv
