#pragma once

#include <QByteArray>
#include <QString>

// MD5 (RFC 1321) of the bytes of Text as 32 hexadecimal digits in capitals,
// two per digest byte in digest order. Names the copies of inserted pictures.
QString MD5Hex(const QByteArray &Text);
