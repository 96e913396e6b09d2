#include "gbkcodec.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace mv {

namespace {

// One iconv descriptor per direction and thread; iconv_open is costly.
class Iconv
{
public:
    Iconv(const char *to, const char *from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    // Converts as much as possible; returns false when it stopped at an
    // input sequence the target cannot take (in/inLeft point at it).
    bool convert(char *&in, size_t &inLeft, QByteArray &out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            char buf[8192];
            char *o = buf;
            size_t oLeft = sizeof buf;
            size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
            out.append(buf, qsizetype(sizeof buf - oLeft));
            if (r == size_t(-1)) {
                if (errno == E2BIG)
                    continue;
                return false;
            }
        }
        // flush shift state (none for these encodings, but harmless)
        char buf[16];
        char *o = buf;
        size_t oLeft = sizeof buf;
        iconv(cd_, nullptr, nullptr, &o, &oLeft);
        out.append(buf, qsizetype(sizeof buf - oLeft));
        return true;
    }

private:
    iconv_t cd_;
};

Iconv &toCp936() { thread_local Iconv c("CP936", "UTF-32LE"); return c; }
Iconv &toGb18030() { thread_local Iconv c("GB18030", "UTF-32LE"); return c; }
Iconv &fromCp936() { thread_local Iconv c("UTF-32LE", "CP936"); return c; }
Iconv &fromGb18030() { thread_local Iconv c("UTF-32LE", "GB18030"); return c; }

// GB18030 four-byte form of a code point, by the standard's linear rule for
// the supplementary planes.
QByteArray fourByteSupplementary(char32_t cp)
{
    quint32 idx = cp - 0x10000 + 189000;
    QByteArray r(4, '\0');
    r[3] = char(0x30 + idx % 10); idx /= 10;
    r[2] = char(0x81 + idx % 126); idx /= 126;
    r[1] = char(0x30 + idx % 10); idx /= 10;
    r[0] = char(0x81 + idx);
    return r;
}

QByteArray encodeOutside(char32_t cp)
{
    if (cp >= 0x10000)
        return fourByteSupplementary(cp);
    QByteArray out;
    char32_t u = cp;
    char *in = reinterpret_cast<char *>(&u);
    size_t left = 4;
    if (toGb18030().convert(in, left, out) && out.size() == 4)
        return out;
    // No four-byte form (unpaired surrogate and the like): keep a visible mark.
    return QByteArray("?");
}

void appendUtf32(QString &dst, const QByteArray &utf32)
{
    const char32_t *p = reinterpret_cast<const char32_t *>(utf32.constData());
    const qsizetype n = utf32.size() / 4;
    for (qsizetype i = 0; i < n; ++i)
        dst.append(QChar::fromUcs4(p[i]));
}

} // namespace

QByteArray GbkCodec::encode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    // Plain ASCII runs are copied directly; the rest goes through iconv.
    const QList<uint> ucs = text.toUcs4();
    qsizetype i = 0;
    const qsizetype n = ucs.size();
    while (i < n) {
        if (ucs[i] < 0x80) {
            out.append(char(ucs[i]));
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && ucs[j] >= 0x80)
            ++j;
        char *in = reinterpret_cast<char *>(const_cast<uint *>(ucs.constData() + i));
        size_t left = size_t(j - i) * 4;
        while (left > 0) {
            if (!toCp936().convert(in, left, out)) {
                const char32_t cp = *reinterpret_cast<const char32_t *>(in);
                out.append(encodeOutside(cp));
                in += 4;
                left -= 4;
            }
        }
        i = j;
    }
    return out;
}

int GbkCodec::charLength(const char *data, qsizetype size, qsizetype pos)
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

QString GbkCodec::decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), bytes.size());
}

QString GbkCodec::decode(const char *data, qsizetype size)
{
    QString out;
    out.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        if (uchar(data[i]) < 0x80) {
            out.append(QChar(uchar(data[i])));
            ++i;
            continue;
        }
        // Collect a run of two-byte (and 0x80) characters for one iconv call.
        qsizetype j = i;
        while (j < size && uchar(data[j]) >= 0x80) {
            const int len = charLength(data, size, j);
            if (len == 4)
                break;
            j += len;
        }
        if (j > i) {
            QByteArray utf32;
            char *in = const_cast<char *>(data + i);
            size_t left = size_t(j - i);
            while (left > 0) {
                if (!fromCp936().convert(in, left, utf32)) {
                    // A byte pair this code page does not define: keep going.
                    appendUtf32(out, utf32);
                    utf32.clear();
                    out.append(QChar(QChar::ReplacementCharacter));
                    const qsizetype at = in - data;
                    const int skip = charLength(data, size, at);
                    in += qMin<size_t>(size_t(skip), left);
                    left -= qMin<size_t>(size_t(skip), left);
                }
            }
            appendUtf32(out, utf32);
            i = j;
            continue;
        }
        // Four-byte GB18030 sequence.
        QByteArray utf32;
        char *in = const_cast<char *>(data + i);
        size_t left = 4;
        if (fromGb18030().convert(in, left, utf32) && utf32.size() == 4)
            appendUtf32(out, utf32);
        else
            out.append(QChar(QChar::ReplacementCharacter));
        i += 4;
    }
    return out;
}

} // namespace mv
