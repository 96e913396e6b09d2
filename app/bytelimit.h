#pragma once

#include <QValidator>

class QLineEdit;

namespace mv {

// Keeps a text within a number of bytes in the stored encoding (see
// GbkCodec: two bytes for a Chinese character, four for one the code page
// lacks). What was typed or pasted last is cut, from its end and on a
// character boundary, so that the text before and after it stays.
class ByteLimitValidator : public QValidator
{
    Q_OBJECT
public:
    ByteLimitValidator(int maxBytes, QObject *parent);

    int maxBytes() const { return maxBytes_; }

    State validate(QString &input, int &pos) const override;

    // Removes characters before cursor (the newest input), or from the end
    // when nothing is left before it, until text fits in maxBytes; cursor
    // follows. True when anything was removed.
    static bool cut(QString &text, int &cursor, int maxBytes);

private:
    int maxBytes_;
};

// The field stops taking input at maxBytes in the stored encoding.
void limitStoredBytes(QLineEdit *edit, int maxBytes);

} // namespace mv
