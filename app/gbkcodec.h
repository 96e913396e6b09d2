#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace mv {

// Text in the database is code page 936 (GBK). Characters that code page
// lacks are written as GB18030 four-byte sequences instead of being lost:
// their second byte is 0x30-0x39, which never occurs in a GBK pair, so the
// two forms can be told apart when reading back.
class GbkCodec
{
public:
    static QByteArray encode(const QString &text);
    static QString decode(const QByteArray &bytes);
    static QString decode(const char *data, qsizetype size);

    // Length in bytes of the character that starts at bytes[pos]
    // (1, 2 or 4); used to tell character boundaries in stored text. Inline:
    // the search walks every byte of every document with it.
    static int charLength(const char *data, qsizetype size, qsizetype pos)
    {
        const auto b0 = uchar(data[pos]);
        if (b0 < 0x81 || b0 == 0xFF || pos + 1 >= size)
            return 1;
        const auto b1 = uchar(data[pos + 1]);
        if (b1 >= 0x30 && b1 <= 0x39)
            return pos + 3 < size ? 4 : 1;
        if (b1 >= 0x40 && b1 != 0x7F && b1 != 0xFF)
            return 2;
        return 1;
    }
};

} // namespace mv
