#include "singleinstance.h"

#include "privatefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mv {

namespace {

// Names tried in the temporary folder after the first one.
constexpr int SpareTempNames = 7;

QString pathAndReason(const QString &path, const QString &reason)
{
    return QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason;
}

} // namespace

SingleInstanceLock::SingleInstanceLock(const QString &name, const QString &directory) : name_(name), dir_(directory)
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    release();
}

QString SingleInstanceLock::lockDirectoryFrom(const QString &runtimeDir, const QString &sessionDir,
                                              const QString &tempDir, QString *failure)
{
    QString why;
    // The session's own folder is authoritative when it is named.
    if (!runtimeDir.isEmpty()) {
        if (PrivateFolder::check(runtimeDir, &why))
            return runtimeDir;
        if (failure)
            *failure = pathAndReason(runtimeDir, why);
        return {};
    }
    // Only the system makes folders there; it is used as it is, never made.
    if (!sessionDir.isEmpty() && QFileInfo(sessionDir).exists() && PrivateFolder::check(sessionDir))
        return sessionDir;
    const QString first = QDir(tempDir).filePath(QStringLiteral("ProjectMvDocument-%1").arg(::getuid()));
    QString firstWhy;
    for (int i = 0; i <= SpareTempNames; ++i) {
        const QString dir = i == 0 ? first : first + QStringLiteral("-%1").arg(i);
        if (PrivateFolder::ensure(dir, &why))
            return dir;
        if (i == 0)
            firstWhy = why;
    }
    if (failure)
        *failure = pathAndReason(first, firstWhy);
    return {};
}

QString SingleInstanceLock::lockDirectory(QString *failure)
{
    return lockDirectoryFrom(QFile::decodeName(qgetenv("XDG_RUNTIME_DIR")),
                             QStringLiteral("/run/user/%1").arg(::getuid()), QDir::tempPath(), failure);
}

SingleInstanceLock::Result SingleInstanceLock::acquire()
{
    if (fd_ >= 0)
        return Result::Acquired;
    failure_.clear();
    if (dir_.isEmpty())
        dir_ = lockDirectory(&failure_);
    if (dir_.isEmpty())
        return Result::Failed;
    path_ = QDir(dir_).filePath(name_ + QStringLiteral(".lock"));
    // Read-only is enough for flock(), so a lock file that lost its write
    // permission still serves. Close-on-exec: a helper process we start
    // must not keep the lock alive.
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int err = errno;
        failure_ = pathAndReason(path_, err == ELOOP ? QStringLiteral("是一个符号链接，不是锁文件")
                                                     : QString::fromLocal8Bit(std::strerror(err)));
        return Result::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        failure_ = pathAndReason(path_, QStringLiteral("不是普通文件"));
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        fd_ = fd;
        return Result::Acquired;
    }
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK)
        return Result::AlreadyRunning;
    failure_ = pathAndReason(path_, QString::fromLocal8Bit(std::strerror(err)));
    return Result::Failed;
}

void SingleInstanceLock::release()
{
    if (fd_ < 0)
        return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

} // namespace mv
