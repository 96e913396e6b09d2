#pragma once

#include <QString>

namespace mv {

// One running copy per user logon. The lock is an flock() on a file in a
// private folder of the user's (see lockDirectory()); the kernel drops it
// when the holder dies, so a killed run never blocks the next start.
class SingleInstanceLock
{
public:
    enum class Result { Acquired, AlreadyRunning, Failed };

    // The lock file goes into directory, or into lockDirectory() when that
    // is empty.
    explicit SingleInstanceLock(const QString &name, const QString &directory = QString());
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    Result acquire();
    void release();
    bool held() const { return fd_ >= 0; }
    QString filePath() const { return path_; }
    // The folder the lock file is in; empty before acquire() found one.
    QString directory() const { return dir_; }
    // After a Failed acquire(): the path that failed and why.
    QString failure() const { return failure_; }

    // The folder for the lock: $XDG_RUNTIME_DIR when it is set, which must
    // then be private (PrivateFolder); without it, the first usable of
    // /run/user/<uid> (when that exists) and <temp>/ProjectMvDocument-<uid>,
    // then -1 to -7 after that name, made when missing. Another user may
    // make any of the names in the temporary folder first; such a folder is
    // passed over. Empty when none is usable, with the first refusal's path
    // and reason in failure.
    static QString lockDirectory(QString *failure = nullptr);
    // The same choice from given places (lockDirectory() passes $XDG_RUNTIME_DIR,
    // /run/user/<uid> and the temporary folder).
    static QString lockDirectoryFrom(const QString &runtimeDir, const QString &sessionDir, const QString &tempDir,
                                     QString *failure);

private:
    QString name_;
    QString dir_;
    QString path_;
    QString failure_;
    int fd_ = -1;
};

} // namespace mv
