// Inserting a picture while the file system works against it. Each fault
// gives one clear message, changes neither the document in the editor nor
// the stored one, leaves no reference to a file that is not there, and the
// editor goes on: a later save stores what was typed.
#include "UnitTemp.h"
#include "dialogs.h"
#include "editordriver.h"
#include "modalwatch.h"
#include "testdb.h"
#include "uHtmlEdit.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace mvtest;

namespace {

enum class Fault {
    None,
    FolderMissing,           // removed before the click: made again
    FolderGoneWhileChoosing, // removed while the dialog is open: made again
    FolderCannotBeMade,      // a regular file is in its place
    FolderBlockedWhileChoosing,
    FolderReadOnly,
    PictureVanishes, // between choosing it and copying it
    NotAPicture      // whatever its name says
};

// A file in the folder's place makes every attempt to create the folder
// fail, for root as well.
void blockFolder(const QString &images)
{
    QDir(images).removeRecursively();
    QFile f(images);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

// Names of inserted copies (a digest and the extension).
QStringList copiesIn(const QString &folder)
{
    static const QRegularExpression digest(QStringLiteral("^[0-9A-F]{32}\\.bmp$"));
    return QDir(folder).entryList(QDir::Files).filter(digest);
}

// The files the document's pictures refer to that do not exist; links are
// relative to the database's folder.
QStringList brokenPictures(TfmTemp &ed, const QString &dataFolder)
{
    const QStringList sources =
        js(ed, QStringLiteral("return Array.from(document.images).map(i => i.getAttribute('src')).join('\\n');"))
            .toString()
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList broken;
    for (const QString &src : sources) {
        const QString path = src.startsWith(QLatin1String("file://")) ? src.mid(7) : QDir(dataFolder).filePath(src);
        if (!QFileInfo(path).isFile())
            broken.append(src);
    }
    return broken;
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestEditorPictures : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0")); }
    void cleanup();
    void faultLosesNothing_data();
    void faultLosesNothing();

private:
    std::unique_ptr<TestDb> db_;
};

void TestEditorPictures::cleanup()
{
    dropModalWatchers();
    delete mvlabDm;
    mvlabDm = nullptr;
    db_.reset();
}

void TestEditorPictures::faultLosesNothing_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("message"); // empty: inserted; "*" stands for the file system's reason
    const QString prefix = QStringLiteral("info|Morvane资料系统V1.0|");
    const QString notMade = prefix + QStringLiteral("无法建立图片文件夹 {images}，图片没有插入。");
    QTest::newRow("all well") << Fault::None << QString();
    QTest::newRow("folder missing") << Fault::FolderMissing << QString();
    QTest::newRow("folder gone while choosing") << Fault::FolderGoneWhileChoosing << QString();
    QTest::newRow("folder cannot be made") << Fault::FolderCannotBeMade << notMade;
    QTest::newRow("folder blocked while choosing") << Fault::FolderBlockedWhileChoosing << notMade;
    QTest::newRow("folder read-only")
        << Fault::FolderReadOnly << prefix + QStringLiteral("无法把图片复制到图片文件夹 {images}（*），图片没有插入。");
    QTest::newRow("picture vanishes")
        << Fault::PictureVanishes << prefix + QStringLiteral("图片文件 {picture} 已经不存在，图片没有插入。");
    QTest::newRow("not a picture") << Fault::NotAPicture << prefix + QStringLiteral("文件 {picture} 不是图片，图片没有插入。");
}

void TestEditorPictures::faultLosesNothing()
{
    QFETCH(Fault, fault);
    QFETCH(QString, message);

    db_ = std::make_unique<TestDb>();
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'stored',1,'<body><p>stored</p></body>')"});
    mvlabDm = new TmvlabDm(db_->path());
    QTemporaryDir sources;
    const QString picture = sources.filePath(QStringLiteral("photo.bmp"));
    QVERIFY(writeBitmap(picture));
    const QString images = QDir(db_->dir()).filePath(QStringLiteral("images"));
    const QStringList storedBefore = db_->rows("select id, title, typeid, content from documents");

    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("5-Edit-none"));
    ed.show();
    ed.sbEdit->click();
    ed.Edit1->setText(QStringLiteral("typed title"));
    typeBody(ed, QStringLiteral("<p id=\"p\">typed, not yet saved</p>"));
    const QString typed = bodyHtml(ed);

    switch (fault) {
    case Fault::FolderMissing:
        QDir(images).removeRecursively();
        break;
    case Fault::FolderCannotBeMade:
        blockFolder(images);
        break;
    case Fault::NotAPicture: {
        QFile text(picture);
        QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
        text.write("BM this only starts like a bitmap");
        break;
    }
    case Fault::FolderReadOnly:
        // As root a folder without write permission is still written to, so
        // the folder is a link to one of the kernel's: /proc accepts no new
        // files from anybody.
        QDir(images).removeRecursively();
        QVERIFY(QFile::link(QStringLiteral("/proc/self/fdinfo"), images));
        break;
    default:
        break;
    }
    onNextModal<QFileDialog>([&](QFileDialog *d) {
        if (fault == Fault::FolderGoneWhileChoosing)
            QDir(images).removeRecursively();
        if (fault == Fault::FolderBlockedWhileChoosing)
            blockFolder(images);
        // Once the dialog has taken the name, the file goes.
        if (fault == Fault::PictureVanishes)
            connect(d, &QDialog::accepted, d, [&] { QFile::remove(picture); }, Qt::SingleShotConnection);
        choosePicture(d, picture);
    }, &ed);
    ed.ToolButtons[2]->click();

    const bool inserted = message.isEmpty();
    if (inserted) {
        QCOMPARE(boxes.lines(), QStringList());
        QCOMPARE(copiesIn(images).size(), 1);
        QCOMPARE(js(ed, QStringLiteral("return document.images.length;")).toInt(), 1);
        QVERIFY(bodyHtml(ed).contains(QStringLiteral("typed, not yet saved")));
    } else {
        QCOMPARE(boxes.lines().size(), 1);
        const QString expected = QString(message)
                                     .replace(QStringLiteral("{images}"), ed.HtmlEdit1->ImageFolder())
                                     .replace(QStringLiteral("{picture}"), picture);
        const QString shown = boxes.lines().at(0);
        const qsizetype star = expected.indexOf(QLatin1Char('*'));
        if (star < 0) {
            QCOMPARE(shown, expected);
        } else {
            QVERIFY2(shown.startsWith(expected.left(star)) && shown.endsWith(expected.mid(star + 1))
                         && shown.size() > expected.size(),
                     qPrintable(shown));
        }
        QCOMPARE(bodyHtml(ed), typed);
        QCOMPARE(copiesIn(images), QStringList());
    }
    QCOMPARE(brokenPictures(ed, db_->dir()), QStringList());
    QCOMPARE(db_->rows("select id, title, typeid, content from documents"), storedBefore);
    QCOMPARE(ed.Edit1->text(), QStringLiteral("typed title"));

    // The editor goes on as before: still editable, and it saves.
    QCOMPARE(recordState(ed), QStringLiteral("00101 W"));
    boxes.clear();
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Changed});
    const QString stored = db_->rows("select title, content from documents where id=5").value(0);
    QVERIFY2(stored.startsWith(QStringLiteral("typed title|")) && stored.contains(QStringLiteral("typed, not yet saved")),
             qPrintable(stored));
    QCOMPARE(stored.contains(QStringLiteral("<img")), inserted);

    if (fault == Fault::FolderReadOnly)
        QFile::remove(images); // the link only
}

QTEST_MAIN(TestEditorPictures)
#include "tst_editorpictures.moc"
