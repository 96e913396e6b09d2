#include "serverlogin.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace mv {

namespace {

// Files bigger than this are no password or settings file of ours.
constexpr qint64 MaxFileBytes = 64 * 1024;

// Reads a file only this user may read; nullopt (and why) otherwise.
std::optional<QByteArray> readPrivateFile(const QString &path, QString *failure)
{
    const QString shown = QDir::toNativeSeparators(path);
    auto fail = [&](const QString &why) -> std::optional<QByteArray> {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("无法读取文件：\n%1\n（%2）").arg(shown, file.errorString()));
    // Checked on the open file, so that what is read is what was checked.
    struct stat st;
    if (::fstat(file.handle(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(QStringLiteral("这不是一个普通文件：\n%1").arg(shown));
    if (st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
        return fail(QStringLiteral("文件 %1 含有密码，但它不只属于你一个人（应为你的文件，权限 600）。"
                                   "为了密码的安全，程序不读取它!")
                        .arg(shown));
    if (st.st_size > MaxFileBytes)
        return fail(QStringLiteral("文件太大，不是密码或设置文件：\n%1").arg(shown));
    return file.readAll();
}

} // namespace

std::optional<QByteArray> ServerLogin::readPasswordFile(const QString &path, QString *failure)
{
    const std::optional<QByteArray> bytes = readPrivateFile(path, failure);
    if (!bytes)
        return std::nullopt;
    QByteArray line = bytes->left(bytes->indexOf('\n') < 0 ? bytes->size() : bytes->indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

std::optional<ServerLogin> ServerLogin::resolve(const QString &user, const QString &passwordFile,
                                                const QString &settingsPath, QString *failure)
{
    ServerLogin login;
    if (QFile::exists(settingsPath)) {
        const std::optional<QByteArray> bytes = readPrivateFile(settingsPath, failure);
        if (!bytes)
            return std::nullopt;
        for (QByteArray line : bytes->split('\n')) {
            line = line.trimmed();
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const qsizetype eq = line.indexOf('=');
            if (eq < 0)
                continue;
            const QByteArray key = line.left(eq).trimmed();
            const QByteArray value = line.mid(eq + 1).trimmed();
            if (key == "database")
                login.database = QString::fromUtf8(value);
            else if (key == "user")
                login.user = value;
            else if (key == "password")
                login.password = value;
        }
    }
    if (!user.isEmpty())
        login.user = user.toUtf8();
    if (!passwordFile.isEmpty()) {
        const std::optional<QByteArray> password = readPasswordFile(passwordFile, failure);
        if (!password)
            return std::nullopt;
        login.password = *password;
    }
    return login;
}

} // namespace mv
