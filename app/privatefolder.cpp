#include "privatefolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace mv {

namespace {

bool fail(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return false;
}

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

bool PrivateFolder::check(const QString &path, QString *why)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return fail(why, systemError(errno));
    if (S_ISLNK(st.st_mode))
        return fail(why, QStringLiteral("是一个符号链接，不是文件夹"));
    if (!S_ISDIR(st.st_mode))
        return fail(why, QStringLiteral("不是文件夹"));
    const uid_t uid = ::getuid();
    if (st.st_uid != uid)
        return fail(why, QStringLiteral("属于用户 %1，不属于当前用户 %2").arg(st.st_uid).arg(uid));
    if ((st.st_mode & 0077) != 0)
        return fail(why, QStringLiteral("权限是 %1，应当是 0700").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0')));
    return true;
}

bool PrivateFolder::ensure(const QString &path, QString *why)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return fail(why, systemError(errno));
    return check(path, why);
}

} // namespace mv
