#include "storagefailure.h"

#include <ibase.h>

#include <cerrno>

namespace mv::db {

QString storageFailureReason(const DbError &e)
{
    const QList<qint64> &codes = e.codes();
    if (codes.contains(isc_already_opened))
        return QStringLiteral("数据库文件正被另一个程序使用");
    if (codes.contains(isc_old_no_space))
        return QStringLiteral("存放数据库文件的磁盘已满");
    if (codes.contains(isc_io_32bit_exceeded_err))
        return QStringLiteral("数据库文件已经达到文件系统允许的大小");
    switch (e.osError()) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("存放数据库文件的磁盘已满");
    case EROFS:
        return QStringLiteral("存放数据库文件的磁盘是只读的");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写数据库文件的权限");
    case ENOENT:
        return QStringLiteral("找不到数据库文件");
    default:
        break;
    }
    for (const qint64 code : codes) {
        switch (code) {
        case isc_io_error:
        case isc_io_create_err:
        case isc_io_open_err:
        case isc_io_close_err:
        case isc_io_read_err:
        case isc_io_write_err:
        case isc_io_delete_err:
        case isc_io_access_err:
            return QStringLiteral("读写数据库文件时出错");
        default:
            break;
        }
    }
    return {};
}

QString failedChangeText(const DbError &e)
{
    const QString reason = storageFailureReason(e);
    if (reason.isEmpty())
        return e.message();
    return QStringLiteral("数据没有保存：%1。\n\n%2").arg(reason, e.message());
}

} // namespace mv::db
