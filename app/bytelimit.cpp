#include "bytelimit.h"

#include "gbkcodec.h"

#include <QLineEdit>

namespace mv {

namespace {

// The character (one code point, both halves of a surrogate pair) that
// ends at end.
qsizetype charStartBefore(const QString &text, qsizetype end)
{
    if (end >= 2 && text.at(end - 1).isLowSurrogate() && text.at(end - 2).isHighSurrogate())
        return end - 2;
    return end - 1;
}

} // namespace

ByteLimitValidator::ByteLimitValidator(int maxBytes, QObject *parent) : QValidator(parent), maxBytes_(maxBytes)
{
}

QValidator::State ByteLimitValidator::validate(QString &input, int &pos) const
{
    cut(input, pos, maxBytes_);
    return Acceptable;
}

bool ByteLimitValidator::cut(QString &text, int &cursor, int maxBytes)
{
    qsizetype bytes = GbkCodec::encode(text).size();
    if (bytes <= maxBytes)
        return false;
    cursor = int(qBound(qsizetype(0), qsizetype(cursor), text.size()));
    while (bytes > maxBytes && !text.isEmpty()) {
        const qsizetype end = cursor > 0 ? cursor : text.size();
        const qsizetype start = charStartBefore(text, end);
        bytes -= GbkCodec::encode(text.mid(start, end - start)).size();
        text.remove(start, end - start);
        if (cursor > 0)
            cursor = int(start);
    }
    return true;
}

void limitStoredBytes(QLineEdit *edit, int maxBytes)
{
    edit->setValidator(new ByteLimitValidator(maxBytes, edit));
}

} // namespace mv
