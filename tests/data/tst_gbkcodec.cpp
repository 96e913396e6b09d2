#include "gbkcodec.h"

#include <QDebug>
#include <QTest>

using mv::GbkCodec;

class TestGbkCodec : public QObject
{
    Q_OBJECT
private slots:
    void knownBytes_data();
    void knownBytes();
    void everyCodePointRoundTrips();
    void outsideCharactersNeverCollideWithPairs();
    void charLength_data();
    void charLength();
    void damagedBytesDoNotStopDecoding();
};

void TestGbkCodec::knownBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QStringLiteral("Abc <P>'%_\\") << QByteArray("Abc <P>'%_\\");
    QTest::newRow("chinese") << QStringLiteral("中文") << QByteArray::fromHex("d6d0cec4");
    QTest::newRow("euro is single byte") << QStringLiteral("€") << QByteArray::fromHex("80");
    QTest::newRow("mixed") << QStringLiteral("a中b") << QByteArray::fromHex("61d6d062");
    // Outside code page 936: GB18030 four-byte forms.
    QTest::newRow("emoji") << QString::fromUcs4(U"\U0001F600") << QByteArray::fromHex("9439fc36");
    QTest::newRow("rare cjk ext b") << QString::fromUcs4(U"\U00020000") << QByteArray::fromHex("95328236");
    QTest::newRow("bmp outside") << QString::fromUcs4(U"\u0100") << QByteArray::fromHex("81308b38") ;
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestGbkCodec::knownBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(GbkCodec::encode(text).toHex(), bytes.toHex());
    QCOMPARE(GbkCodec::decode(bytes), text);
}

void TestGbkCodec::everyCodePointRoundTrips()
{
    // Every character must come back as it went in: nothing turns into '?'.
    QString all;
    for (char32_t cp = 1; cp < 0x110000; cp += (cp < 0x10000 ? 1 : 97)) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        all.append(QString::fromUcs4(&cp, 1));
    }
    const QString back = GbkCodec::decode(GbkCodec::encode(all));
    QStringList lost;
    const QList<uint> a = all.toUcs4(), b = back.toUcs4();
    for (qsizetype i = 0, j = 0; i < a.size(); ++i, ++j)
        if (j >= b.size() || a[i] != b[j])
            lost.append(QString::number(a[i], 16));
    if (lost.size() > 0)
        qWarning() << lost.size() << "lost:" << lost.mid(0, 40);
    QCOMPARE(back, all);
}

void TestGbkCodec::outsideCharactersNeverCollideWithPairs()
{
    // A four-byte form has a digit as its second byte; a pair never does.
    for (char32_t cp : {U'\u0100', U'\u20AD', U'\uFFFD', U'\U0001F600', U'\U0010FFFF'}) {
        const QByteArray b = GbkCodec::encode(QString::fromUcs4(&cp, 1));
        QCOMPARE(b.size(), 4);
        QVERIFY(uchar(b[1]) >= 0x30 && uchar(b[1]) <= 0x39);
    }
    for (char32_t cp : {U'中', U'文', U'形', U'·', U'—'}) {
        const QByteArray b = GbkCodec::encode(QString::fromUcs4(&cp, 1));
        QCOMPARE(b.size(), 2);
        QVERIFY(uchar(b[1]) < 0x30 || uchar(b[1]) > 0x39);
    }
}

void TestGbkCodec::charLength_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("lengths");
    QTest::newRow("ascii") << QByteArray("ab") << QList<int>{1, 1};
    QTest::newRow("pair then ascii") << QByteArray::fromHex("d6d041") << QList<int>{2, 1};
    QTest::newRow("four-byte") << QByteArray::fromHex("9439fc3641") << QList<int>{4, 1};
    QTest::newRow("euro") << QByteArray::fromHex("80d6d0") << QList<int>{1, 2};
    QTest::newRow("lone lead at end") << QByteArray::fromHex("41d6") << QList<int>{1, 1};
}

void TestGbkCodec::charLength()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, lengths);
    QList<int> got;
    for (qsizetype pos = 0; pos < bytes.size();) {
        const int n = GbkCodec::charLength(bytes.constData(), bytes.size(), pos);
        got.append(n);
        pos += n;
    }
    QCOMPARE(got, lengths);
}

void TestGbkCodec::damagedBytesDoNotStopDecoding()
{
    // A lead byte at the very end, and an undefined pair, in stored text.
    const QString s = GbkCodec::decode(QByteArray::fromHex("41d6d042d6"));
    QVERIFY(s.startsWith(QStringLiteral("A中B")));
    QCOMPARE(s.size(), 4);
}

QTEST_APPLESS_MAIN(TestGbkCodec)
#include "tst_gbkcodec.moc"
