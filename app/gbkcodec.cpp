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

// Four-byte sequences are numbered linearly: b0 81-FE, b1 30-39, b2 81-FE,
// b3 30-39. The supplementary planes start at number 189000 (90 30 81 30).
constexpr quint32 SupplementaryBase = 189000;
constexpr quint32 SupplementaryEnd = SupplementaryBase + 0x100000; // one past U+10FFFF
// A handful of private-use characters have no form the system converter
// can write or read back; they go to the unassigned numbers just past the
// supplementary planes, which no standard character uses.
constexpr quint32 PrivateBase = SupplementaryEnd;

QByteArray fourByteForm(quint32 idx)
{
    QByteArray r(4, '\0');
    r[3] = char(0x30 + idx % 10); idx /= 10;
    r[2] = char(0x81 + idx % 126); idx /= 126;
    r[1] = char(0x30 + idx % 10); idx /= 10;
    r[0] = char(0x81 + idx);
    return r;
}

quint32 fourByteNumber(const uchar *b)
{
    return ((quint32(b[0] - 0x81) * 10 + quint32(b[1] - 0x30)) * 126 + quint32(b[2] - 0x81)) * 10
        + quint32(b[3] - 0x30);
}

bool decodesAsCp936(const QByteArray &pair)
{
    QByteArray utf32;
    char *in = const_cast<char *>(pair.constData());
    size_t left = size_t(pair.size());
    return fromCp936().convert(in, left, utf32);
}

// The converter's tables differ between editions of GB18030 for a few
// private-use characters; only a form that reads back the same is written.
bool decodesBackTo(const QByteArray &bytes, char32_t cp)
{
    QByteArray utf32;
    char *in = const_cast<char *>(bytes.constData());
    size_t left = size_t(bytes.size());
    return fromGb18030().convert(in, left, utf32) && utf32.size() == 4
        && *reinterpret_cast<const char32_t *>(utf32.constData()) == cp;
}

QByteArray encodeOutside(char32_t cp)
{
    if (cp >= 0x10000)
        return fourByteForm(SupplementaryBase + (cp - 0x10000));
    QByteArray out;
    char32_t u = cp;
    char *in = reinterpret_cast<char *>(&u);
    size_t left = 4;
    if (toGb18030().convert(in, left, out) && decodesBackTo(out, cp)) {
        if (out.size() == 4)
            return out;
        // A few characters (such as U+01F9) have only a two-byte GB18030
        // form, on a pair that code page 936 leaves undefined: no collision.
        if (out.size() == 2 && !decodesAsCp936(out))
            return out;
    }
    if (cp >= 0xE000 && cp <= 0xF8FF)
        return fourByteForm(PrivateBase + cp);
    // No form at all (an unpaired surrogate): keep a visible mark.
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
        if (ucs[i] >= 0x10000) {
            // Never through the converter: it silently drops some planes.
            out.append(encodeOutside(ucs[i]));
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && ucs[j] >= 0x80 && ucs[j] < 0x10000)
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
                    // A pair this code page does not define: GB18030's own
                    // two-byte form, else a damaged byte; keep going.
                    appendUtf32(out, utf32);
                    utf32.clear();
                    const qsizetype at = in - data;
                    const int skip = charLength(data, size, at);
                    char *one = in;
                    size_t oneLeft = size_t(skip);
                    if (skip == 2 && fromGb18030().convert(one, oneLeft, utf32) && utf32.size() == 4) {
                        appendUtf32(out, utf32);
                        utf32.clear();
                    } else {
                        utf32.clear();
                        out.append(QChar(QChar::ReplacementCharacter));
                    }
                    in += qMin<size_t>(size_t(skip), left);
                    left -= qMin<size_t>(size_t(skip), left);
                }
            }
            appendUtf32(out, utf32);
            i = j;
            continue;
        }
        // Four-byte GB18030 sequence.
        const quint32 number = fourByteNumber(reinterpret_cast<const uchar *>(data + i));
        if (number >= SupplementaryBase && number < SupplementaryEnd) {
            const char32_t cp = 0x10000 + (number - SupplementaryBase);
            out.append(QString::fromUcs4(&cp, 1));
        } else if (number >= PrivateBase && number < PrivateBase + 0x10000) {
            out.append(QChar(char16_t(number - PrivateBase)));
        } else {
            QByteArray utf32;
            char *in = const_cast<char *>(data + i);
            size_t left = 4;
            if (fromGb18030().convert(in, left, utf32) && utf32.size() == 4)
                appendUtf32(out, utf32);
            else
                out.append(QChar(QChar::ReplacementCharacter));
        }
        i += 4;
    }
    return out;
}

} // namespace mv
