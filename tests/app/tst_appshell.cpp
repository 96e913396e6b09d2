// The standard error box: its text rule, and that an error thrown inside an
// event handler becomes that box while the program goes on; the byte limit
// of the text fields; the text shown for a change that failed.

#include "bytelimit.h"
#include "dialogs.h"
#include "fbsql.h"
#include "mvapplication.h"
#include "storagefailure.h"

#include <ibase.h>

#include <cerrno>

#include <QPushButton>
#include <QtTest>

#include <stdexcept>

class TestAppShell : public QObject
{
    Q_OBJECT

private slots:
    void errorText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "no table" << "no table.";
        QTest::newRow("full stop") << "done." << "done.";
        QTest::newRow("bang sorts before") << "oops!" << "oops!";
        QTest::newRow("dash sorts before") << "a-" << "a-";
        QTest::newRow("slash sorts after") << "a/" << "a/.";
        QTest::newRow("chinese") << QStringLiteral("数据库错误") << QStringLiteral("数据库错误.");
        QTest::newRow("empty") << "" << "";
    }
    void errorText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(mv::Dialogs::errorText(text), shown);
    }

    // A handler connected through mv::reported: its error becomes the box
    // before it reaches the toolkit, and the program goes on.
    void errorInHandlerBecomesErrorBox()
    {
        mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0"));
        mv::DialogRecorder boxes;
        QPushButton button;
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, mv::reported([&] {
                             ++clicks;
                             if (clicks == 1)
                                 throw mv::db::DbError(QStringLiteral("Dynamic SQL Error"));
                             if (clicks == 2)
                                 throw std::runtime_error("disk full");
                         }));
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton); // the program went on
        QCOMPARE(clicks, 3);
        QCOMPARE(boxes.lines(), (QStringList{QStringLiteral("error|Morvane资料系统V1.0|Dynamic SQL Error."),
                                             QStringLiteral("error|Morvane资料系统V1.0|disk full.")}));
    }

    // The last resort: an error out of an object's own event handling.
    void errorInEventBecomesErrorBox()
    {
        mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0"));
        mv::DialogRecorder boxes;
        struct Thrower : QObject {
            bool event(QEvent *e) override
            {
                if (e->type() == QEvent::User)
                    throw std::runtime_error("no table");
                return QObject::event(e);
            }
        } thrower;
        QEvent e(QEvent::User);
        QCOMPARE(QCoreApplication::sendEvent(&thrower, &e), false);
        QCOMPARE(boxes.lines(), QStringList{QStringLiteral("error|Morvane资料系统V1.0|no table.")});
    }

    void questionsAreAnsweredByTheRecorder()
    {
        mv::DialogRecorder boxes;
        boxes.answerNext(false);
        QVERIFY(!mv::Dialogs::question(QStringLiteral("删除?"), QStringLiteral("确认")));
        QVERIFY(mv::Dialogs::question(QStringLiteral("删除?"), QStringLiteral("确认")));
        QCOMPARE(boxes.boxes().size(), 2);
        QCOMPARE(boxes.boxes()[0].kind, mv::Dialogs::Kind::Question);
        QCOMPARE(boxes.boxes()[0].caption, QStringLiteral("确认"));
    }

    // Input past the limit is cut from its end, where the cursor is, on a
    // character boundary: two bytes for a Chinese character, four for one
    // the code page lacks (a surrogate pair, never split).
    void byteLimitCutsNewestInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("keptCursor");
        const QString han(1, QChar(0x5B57));
        const QString emoji = QStringLiteral("😀");
        QTest::newRow("fits") << "abc" << 3 << 3 << "abc" << 3;
        QTest::newRow("ascii over") << QString(101, 'a') << 101 << 100 << QString(100, 'a') << 100;
        QTest::newRow("pair not split") << "x" + han.repeated(50) << 51 << 100 << "x" + han.repeated(49) << 50;
        QTest::newRow("inserted in the middle") << "ab" + han.repeated(3) + "cd" << 5 << 8 << "ab" + han.repeated(2) + "cd"
                                                << 4;
        QTest::newRow("four-byte character over") << QString(97, 'a') + emoji << 99 << 100 << QString(97, 'a') << 97;
        QTest::newRow("four-byte character fits") << QString(96, 'a') + emoji << 98 << 100 << QString(96, 'a') + emoji
                                                  << 98;
        QTest::newRow("cursor at the start") << "abcde" << 0 << 3 << "abc" << 0;
    }
    void byteLimitCutsNewestInput()
    {
        QFETCH(QString, text);
        QFETCH(int, cursor);
        QFETCH(int, limit);
        QFETCH(QString, kept);
        QFETCH(int, keptCursor);
        QCOMPARE(mv::ByteLimitValidator::cut(text, cursor, limit), text != kept);
        QCOMPARE(text, kept);
        QCOMPARE(cursor, keptCursor);
    }

    // A failed change that the storage caused says so in Chinese, with the
    // engine's text after it; any other failure keeps the engine's text.
    void failedChangeText_data()
    {
        QTest::addColumn<QList<qint64>>("codes");
        QTest::addColumn<int>("osError");
        QTest::addColumn<QString>("shown");
        const QString engine = QStringLiteral("I/O error during \"write\" operation for file \"/x/mvlabnew.fdb\"");
        const QString notSaved = QStringLiteral("数据没有保存：%1。\n\n") + engine;
        QTest::newRow("disk full") << QList<qint64>{isc_io_error, isc_io_write_err} << ENOSPC
                                   << notSaved.arg(QStringLiteral("存放数据库文件的磁盘已满"));
        QTest::newRow("quota") << QList<qint64>{isc_io_error, isc_io_write_err} << EDQUOT
                               << notSaved.arg(QStringLiteral("存放数据库文件的磁盘已满"));
        QTest::newRow("read-only medium") << QList<qint64>{isc_io_error, isc_io_open_err} << EROFS
                                          << notSaved.arg(QStringLiteral("存放数据库文件的磁盘是只读的"));
        QTest::newRow("write error") << QList<qint64>{isc_io_error, isc_io_write_err} << EIO
                                     << notSaved.arg(QStringLiteral("读写数据库文件时出错"));
        QTest::newRow("file grew too big") << QList<qint64>{isc_io_32bit_exceeded_err} << 0
                                           << notSaved.arg(QStringLiteral("数据库文件已经达到文件系统允许的大小"));
        QTest::newRow("not storage") << QList<qint64>{isc_dsql_error} << 0 << engine;
        QTest::newRow("no codes") << QList<qint64>{} << 0 << engine;
    }
    void failedChangeText()
    {
        QFETCH(QList<qint64>, codes);
        QFETCH(int, osError);
        QFETCH(QString, shown);
        const QString engine = QStringLiteral("I/O error during \"write\" operation for file \"/x/mvlabnew.fdb\"");
        QCOMPARE(mv::db::failedChangeText(mv::db::DbError(engine, codes, osError)), shown);
    }
};

int main(int argc, char **argv)
{
    mv::Application app(argc, argv);
    TestAppShell t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_appshell.moc"
