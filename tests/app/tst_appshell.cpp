// The standard error box: its text rule, and that an error thrown inside an
// event handler becomes that box while the program goes on.

#include "dialogs.h"
#include "fbsql.h"
#include "mvapplication.h"

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
};

int main(int argc, char **argv)
{
    mv::Application app(argc, argv);
    TestAppShell t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_appshell.moc"
