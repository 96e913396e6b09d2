#include "uMD5.h"

#include <QCryptographicHash>

QString MD5Hex(const QByteArray &Text)
{
    const QByteArray digest = QCryptographicHash::hash(Text, QCryptographicHash::Md5);
    return QString::fromLatin1(digest.toHex().toUpper());
}
