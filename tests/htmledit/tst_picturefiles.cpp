// Which files the editing surface's scheme serves, decided without the
// engine: pictures by their content, links into the image folder and back,
// and the scheme's answers for a page's site.
#include "pagescheme.h"
#include "picturefiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace mv::htmledit;

namespace {

void writePicture(const QString &path, const char *format)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QVERIFY(image.save(path, format));
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

class TestPictureFiles : public QObject
{
    Q_OBJECT
private slots:
    void pictureTypeByContent_data();
    void pictureTypeByContent();
    void linksLeadBackToTheFile_data();
    void linksLeadBackToTheFile();
    void schemeAnswers_data();
    void schemeAnswers();
};

void TestPictureFiles::pictureTypeByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind"); // what is written there
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("extension");
    QTest::newRow("png") << "a.png" << "PNG" << "image/png" << ".png";
    QTest::newRow("jpeg named in capitals") << "a.JPEG" << "JPEG" << "image/jpeg" << ".JPEG";
    QTest::newRow("jpeg named as text") << "a.txt" << "JPEG" << "image/jpeg" << ".jpg";
    QTest::newRow("bitmap without a name's extension") << "a" << "BMP" << "image/bmp" << ".bmp";
    QTest::newRow("svg") << "a.svg" << "svg" << "image/svg+xml" << ".svg";
    QTest::newRow("text named as a picture") << "a.png" << "text" << "" << "";
    QTest::newRow("empty file") << "a.gif" << "empty" << "" << "";
    QTest::newRow("folder") << "a.png" << "folder" << "" << "";
    // Reading it would wait for a writer for ever.
    QTest::newRow("pipe") << "a.png" << "pipe" << "" << "";
    QTest::newRow("missing") << "a.png" << "missing" << "" << "";
}

void TestPictureFiles::pictureTypeByContent()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, type);
    QFETCH(QString, extension);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (kind == QLatin1String("svg"))
        writeText(path, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"3\" height=\"2\"/>");
    else if (kind == QLatin1String("text"))
        writeText(path, "just some words\n");
    else if (kind == QLatin1String("empty"))
        writeText(path, "");
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (kind == QLatin1String("pipe"))
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind != QLatin1String("missing"))
        writePicture(path, kind.toLatin1().constData());

    QCOMPARE(pictureType(path), type);
    if (!type.isEmpty())
        QCOMPARE(pictureExtension(path, type), extension);
}

void TestPictureFiles::linksLeadBackToTheFile_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("images") << "images" << "0123456789ABCDEF0123456789ABCDEF.png";
    QTest::newRow("characters of addresses") << "a#b?c%d&e" << "x#1?.png";
    QTest::newRow("quotes, blanks, colon") << "say \"cheese\" 'now':" << "a b.png";
    QTest::newRow("chinese") << "图片" << "照片.png";
    QTest::newRow("encoded-looking name") << "%2e%2e" << "%2F.png";
}

void TestPictureFiles::linksLeadBackToTheFile()
{
    QFETCH(QString, folderName);
    QFETCH(QString, fileName);
    QTemporaryDir data;
    const QString folder = data.filePath(folderName);
    QVERIFY(QDir().mkpath(folder));
    writePicture(folder + QLatin1Char('/') + fileName, "PNG");

    // The link is a relative address that neither an address nor the
    // markup can misread, below the folder that holds the image folder.
    const QString link = pictureLink(folder + QLatin1Char('/'), fileName);
    QVERIFY2(!link.contains(QRegularExpression(QStringLiteral("[#?\"'<>& :]"))), qPrintable(link));
    QCOMPARE(linkBase(folder + QLatin1Char('/')), QFileInfo(data.path()).absoluteFilePath());
    // Resolved as the engine resolves it against a page's site, it names
    // the file again.
    const QUrl resolved = QUrl(QStringLiteral("mvdoc://site/")).resolved(QUrl(link, QUrl::StrictMode));
    QCOMPARE(resolved.host(), QStringLiteral("site"));
    QCOMPARE(pictureForPath(folder + QLatin1Char('/'), resolved.path(QUrl::FullyDecoded).mid(1)),
             QFileInfo(folder + QLatin1Char('/') + fileName).canonicalFilePath());
}

void TestPictureFiles::schemeAnswers_data()
{
    QTest::addColumn<QString>("request"); // {site}, {files}: the site's address, its file-link prefix
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<int>("kind");
    QTest::newRow("the page") << "{site}" << QByteArray("GET") << int(PageAnswer::Shell);
    QTest::newRow("a picture") << "{site}images/p.png" << QByteArray("GET") << int(PageAnswer::Picture);
    QTest::newRow("a picture, posted") << "{site}images/p.png" << QByteArray("POST") << int(PageAnswer::Missing);
    QTest::newRow("a file link") << "{files}file%3A%2F%2F{elsewhere}%2Fq.png" << QByteArray("GET")
                                 << int(PageAnswer::Picture);
    QTest::newRow("a file link with a wrong key") << "{site}~file/0000/file%3A%2F%2F{elsewhere}%2Fq.png"
                                                  << QByteArray("GET") << int(PageAnswer::Missing);
    QTest::newRow("a picture of no site") << "mvdoc://nosuchsite/images/p.png" << QByteArray("GET")
                                          << int(PageAnswer::Missing);
    QTest::newRow("another scheme") << "http://site/images/p.png" << QByteArray("GET") << int(PageAnswer::Missing);
    QTest::newRow("the database beside the pictures") << "{site}mvlabnew.fdb" << QByteArray("GET")
                                                      << int(PageAnswer::Missing);
}

void TestPictureFiles::schemeAnswers()
{
    QFETCH(QString, request);
    QFETCH(QByteArray, method);
    QFETCH(int, kind);
    QTemporaryDir data, elsewhere;
    QVERIFY(QDir().mkpath(data.filePath(QStringLiteral("images"))));
    writePicture(data.filePath(QStringLiteral("images/p.png")), "PNG");
    writePicture(elsewhere.filePath(QStringLiteral("q.png")), "PNG");
    writeText(data.filePath(QStringLiteral("mvlabnew.fdb")), "\x01\x02database");

    PageSite site;
    site.setImageFolder(data.filePath(QStringLiteral("images/")));
    request.replace(QStringLiteral("{site}"), site.url().toString())
        .replace(QStringLiteral("{files}"), site.fileLinkPrefix())
        .replace(QStringLiteral("{elsewhere}"), QString::fromLatin1(QUrl::toPercentEncoding(elsewhere.path())));
    const PageAnswer answer = answerFor(QUrl(request), method);
    QCOMPARE(int(answer.kind), kind);
    if (kind == PageAnswer::Picture)
        QCOMPARE(answer.type, QByteArray("image/png"));
}

QTEST_MAIN(TestPictureFiles)
#include "tst_picturefiles.moc"
