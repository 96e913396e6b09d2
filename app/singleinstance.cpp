#include "singleinstance.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mv {

SingleInstanceLock::SingleInstanceLock(const QString &name) : name_(name)
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    release();
}

QString SingleInstanceLock::lockDirectory()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QFile::decodeName(runtime);

    // Without a runtime folder: a folder of our own, which nobody else may
    // own or replace by a link.
    const uid_t uid = ::getuid();
    const QString dir = QDir::tempPath() + QStringLiteral("/ProjectMvDocument-%1").arg(uid);
    const QByteArray enc = QFile::encodeName(dir);
    if (::mkdir(enc.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st {};
    if (::lstat(enc.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid
        || (st.st_mode & 0077) != 0)
        return {};
    return dir;
}

SingleInstanceLock::Result SingleInstanceLock::acquire()
{
    if (fd_ >= 0)
        return Result::Acquired;
    const QString dir = lockDirectory();
    if (dir.isEmpty())
        return Result::Failed;
    path_ = dir + QLatin1Char('/') + name_ + QStringLiteral(".lock");
    // Close-on-exec: a helper process we start must not keep the lock alive.
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        fd_ = fd;
        return Result::Acquired;
    }
    const int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? Result::AlreadyRunning : Result::Failed;
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
