#pragma once

#include <QString>

namespace mv {

// One running copy per user logon. The lock is an flock() on a file in the
// user's runtime folder; the kernel drops it when the holder dies, so a
// killed run never blocks the next start.
class SingleInstanceLock
{
public:
    enum class Result { Acquired, AlreadyRunning, Failed };

    explicit SingleInstanceLock(const QString &name);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    Result acquire();
    void release();
    bool held() const { return fd_ >= 0; }
    QString filePath() const { return path_; }

    // $XDG_RUNTIME_DIR, or a private per-user folder in the temporary
    // folder when that is not set; empty when neither is usable.
    static QString lockDirectory();

private:
    QString name_;
    QString path_;
    int fd_ = -1;
};

} // namespace mv
