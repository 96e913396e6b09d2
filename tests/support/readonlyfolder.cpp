#include "readonlyfolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace mvtest {

namespace {

void setWritable(const QString &path, bool writable)
{
    const QFile::Permissions read = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions enter = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const QFile::Permissions write = writable ? QFile::WriteOwner : QFile::Permissions();
    const QDir dir(path);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        QFile::setPermissions(dir.filePath(name), read | write);
    QFile::setPermissions(path, read | enter | write);
}

} // namespace

ReadOnlyFolder::ReadOnlyFolder(const QString &path) : path_(path)
{
    if (::geteuid() != 0) {
        setWritable(path_, false);
        chmodded_ = true;
        return;
    }
    const QByteArray p = QFile::encodeName(path_);
    if (::mount(p.constData(), p.constData(), nullptr, MS_BIND, nullptr) != 0) {
        reason_ = QStringLiteral("cannot bind a folder here: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    mounted_ = true;
    if (::mount(nullptr, p.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        reason_ = QStringLiteral("cannot make a bound folder read-only here: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    if (mounted_)
        ::umount2(QFile::encodeName(path_).constData(), MNT_DETACH);
    if (chmodded_)
        setWritable(path_, true);
}

} // namespace mvtest
