#include "UnitType.h"
#include "dialogs.h"
#include "testdb.h"
#include "typing.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using mvtest::TestDb;

class TestTypeEdit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0")); }
    void init();
    void cleanup();
    void windowAndControls();
    void bandsFollowTheWindowWidth();
    void fieldsFromModeString_data();
    void fieldsFromModeString();
    void renameUntouchedKeepsWholeName_data();
    void renameUntouchedKeepsWholeName();
    void okWritesAndAlwaysCloses_data();
    void okWritesAndAlwaysCloses();
    void databaseFailureShowsPrefixAndDatabaseText_data();
    void databaseFailureShowsPrefixAndDatabaseText();
    void nameStopsAtStoredByteLimit_data();
    void nameStopsAtStoredByteLimit();

private:
    // Fills in the name, presses OK, and returns the boxes shown.
    QStringList pressOk(const QString &mode, const QString &parent, const QString &name, bool *closed = nullptr);
    std::unique_ptr<TestDb> db_;
};

void TestTypeEdit::init()
{
    db_ = std::make_unique<TestDb>();
    db_->exec({"insert into type(id,parentid,typename) values(3,1,'Books')",
               "insert into type(id,parentid,typename) values(12,1,'Old recipes')"});
    mvlabDm = new TmvlabDm(db_->path());
}

void TestTypeEdit::cleanup()
{
    delete mvlabDm;
    mvlabDm = nullptr;
    db_.reset();
}

QStringList TestTypeEdit::pressOk(const QString &mode, const QString &parent, const QString &name, bool *closed)
{
    mv::DialogRecorder boxes;
    TfmTypeEdit dialog(nullptr, mode);
    dialog.show();
    if (!parent.isNull())
        dialog.Edit1->setText(parent);
    dialog.Edit2->setText(name);
    QTest::mouseClick(dialog.findChild<QPushButton *>("Button1"), Qt::LeftButton);
    if (closed)
        *closed = dialog.result() == QDialog::Accepted && !dialog.isVisible();
    return boxes.lines();
}

void TestTypeEdit::windowAndControls()
{
    TfmTypeEdit d(nullptr, "Add-3-3 Books");
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.windowTitle(), QStringLiteral("下载文档管理  TellbyMorvane软件工作室 "));
    QCOMPARE(d.size(), QSize(349, 265));
    QCOMPARE(d.findChild<QLabel *>("Label1")->text(), QStringLiteral("上级类别 &1        "));
    QCOMPARE(d.findChild<QLabel *>("Label2")->text(), QStringLiteral("类别名称 &2        "));
    auto *edit1 = d.findChild<QLineEdit *>("Edit1");
    QCOMPARE(edit1->toolTip(), QStringLiteral("如果为0则为顶级类别!"));
    QVERIFY(!(edit1->focusPolicy() & Qt::TabFocus));
    QCOMPARE(d.findChild<QLabel *>("Label1")->buddy(), edit1);
    QCOMPARE(QApplication::focusWidget(), d.findChild<QLineEdit *>("Edit2"));
    auto *ok = d.findChild<QPushButton *>("Button1");
    QCOMPARE(ok->text(), QStringLiteral("确定"));
    QVERIFY(!ok->isDefault());
    QCOMPARE(ok->geometry(), QRect(209, 192, 75, 25));
}

void TestTypeEdit::bandsFollowTheWindowWidth()
{
    TfmTypeEdit d(nullptr, "Edit-12-12 Old recipes");
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    const QRect okPlace = d.Button1->geometry();
    for (int width : {600, 400}) {
        d.resize(width, d.height());
        QApplication::processEvents();
        QCOMPARE(d.findChild<QWidget *>("RzPanel1")->geometry(), QRect(0, 0, width, 57));
        QCOMPARE(d.findChild<QWidget *>("RzPanel2")->geometry(), QRect(0, 57, width, 24));
        QCOMPARE(d.findChild<QLabel *>("Image1")->geometry(), QRect(0, 0, 283, 57));
        QCOMPARE(d.Button1->geometry(), okPlace);
    }
}

void TestTypeEdit::fieldsFromModeString_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("edit1");
    QTest::addColumn<QString>("edit2");
    QTest::newRow("add") << "Add-3-3 Books" << "3" << "";
    QTest::newRow("rename") << "Edit-12-12 Recipes" << "12" << "Recipes";
    QTest::newRow("rename, blanks in name") << "Edit-12-12 Old recipes" << "12" << "Old recipes";
    QTest::newRow("rename, blanks and digits") << "Edit-12-12 My notes 2024" << "12" << "My notes 2024";
    QTest::newRow("rename, blank and dash") << "Edit-12-12 读书 笔记-2024" << "12" << "读书 笔记-2024";
    QTest::newRow("rename, leading and trailing blanks") << "Edit-12-12  padded  " << "12" << " padded  ";
    QTest::newRow("rename, dashes at both ends") << "Edit-12-12 -a-b-" << "12" << "-a-b-";
    QTest::newRow("rename, only a dash") << "Edit-12-12 -" << "12" << "-";
    QTest::newRow("rename, empty name") << "Edit-7-7 " << "7" << "";
    QTest::newRow("no right click yet") << "Edit--7 Seven" << "" << "Seven";
}

void TestTypeEdit::fieldsFromModeString()
{
    QFETCH(QString, mode);
    QFETCH(QString, edit1);
    QFETCH(QString, edit2);
    TfmTypeEdit d(nullptr, mode);
    QCOMPARE(d.Edit1->text(), edit1);
    QCOMPARE(d.Edit2->text(), edit2);
    QCOMPARE(TypeEditMode, mode);
}

void TestTypeEdit::renameUntouchedKeepsWholeName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << "My notes 2024";
    QTest::newRow("blank and dash") << "读书 笔记-2024";
    QTest::newRow("blanks at the ends") << " 前后有空格 ";
    QTest::newRow("dashes at the ends") << "-备忘-";
}

void TestTypeEdit::renameUntouchedKeepsWholeName()
{
    // The caption as the main window builds it and the mode string of
    // "修改名称"; OK without touching the field changes nothing.
    QFETCH(QString, name);
    db_->exec({QStringLiteral("insert into type(id,parentid,typename) values(20,1,'%1')").arg(name)});
    mv::DialogRecorder boxes;
    TfmTypeEdit dialog(nullptr, QStringLiteral("Edit-20-20 ") + name);
    dialog.show();
    QCOMPARE(dialog.Edit2->text(), name);
    QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    QCOMPARE(boxes.lines(), QStringList{});
    QCOMPARE(db_->rows("select typename from type where id=20"), QStringList{name});
}

void TestTypeEdit::okWritesAndAlwaysCloses_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("parent"); // null: as the mode string gave it
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("rows");
    const QStringList before{"1|0|我的资料", "3|1|Books", "12|1|Old recipes"};
    QTest::newRow("add under node") << "Add-3-3 Books" << QString() << "Novels" << QStringList{}
                                    << before + QStringList{"13|3|Novels"};
    QTest::newRow("add at top level") << "Add-3-3 Books" << "0" << "顶级" << QStringList{} << before + QStringList{"13|0|顶级"};
    QTest::newRow("add under unknown parent") << "Add-3-3 Books" << "99" << "x" << QStringList{} << before + QStringList{"13|99|x"};
    QTest::newRow("add with quotes and percent") << "Add-3-3 Books" << QString() << "it's 100%" << QStringList{}
                                                 << before + QStringList{"13|3|it's 100%"};
    QTest::newRow("empty name writes nothing") << "Add-3-3 Books" << QString() << "" << QStringList{} << before;
    QTest::newRow("bad parent refused")
        << "Add-3-3 Books" << "3 or 1=1" << "x"
        << QStringList{"info|Morvane资料系统V1.0|数据添加出现问题上级类别“3 or 1=1”不是有效的编号（应为32位范围内的整数）"} << before;
    QTest::newRow("rename") << "Edit-12-12 Old recipes" << QString() << "Dishes" << QStringList{}
                            << QStringList{"1|0|我的资料", "3|1|Books", "12|1|Dishes"};
    QTest::newRow("rename by another id") << "Edit-12-12 Old recipes" << "3" << "Comics" << QStringList{}
                                          << QStringList{"1|0|我的资料", "3|1|Comics", "12|1|Old recipes"};
    QTest::newRow("rename of no row") << "Edit-12-12 Old recipes" << "77" << "Ghost" << QStringList{} << before;
    QTest::newRow("rename with bad id refused")
        << "Edit-12-12 Old recipes" << "12;" << "x"
        << QStringList{"info|Morvane资料系统V1.0|数据修改出现问题!类别“12;”不是有效的编号（应为32位范围内的整数）"} << before;
    QTest::newRow("unknown mode word") << "add-3-3 Books" << QString() << "x" << QStringList{} << before;
}

void TestTypeEdit::okWritesAndAlwaysCloses()
{
    QFETCH(QString, mode);
    QFETCH(QString, parent);
    QFETCH(QString, name);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, rows);
    bool closed = false;
    QCOMPARE(pressOk(mode, parent, name, &closed), boxes);
    QVERIFY(closed);
    QCOMPARE(db_->rows("select id, parentid, typename from type order by id"), rows);
}

void TestTypeEdit::databaseFailureShowsPrefixAndDatabaseText_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("failingStatement");
    QTest::addColumn<QString>("box");
    QTest::newRow("insert") << "Add-3-3 Books" << 2 << "info|Morvane资料系统V1.0|数据添加出现问题Injected failure of a statement";
    QTest::newRow("largest id") << "Add-3-3 Books" << 1 << "error|Morvane资料系统V1.0|Injected failure of a statement.";
    QTest::newRow("update") << "Edit-12-12 Old" << 1 << "info|Morvane资料系统V1.0|数据修改出现问题!Injected failure of a statement";
}

void TestTypeEdit::databaseFailureShowsPrefixAndDatabaseText()
{
    QFETCH(QString, mode);
    QFETCH(int, failingStatement);
    QFETCH(QString, box);
    mvlabDm->IBDatabaseMV.ensureOpen();
    mvlabDm->IBDatabaseMV.failOnStatement(failingStatement);
    bool closed = false;
    QCOMPARE(pressOk(mode, QString(), "New", &closed), QStringList{box});
    QVERIFY(closed);
    QCOMPARE(db_->rows("select count(*) from type where typename='New'"), QStringList{"0"});
}

void TestTypeEdit::nameStopsAtStoredByteLimit_data()
{
    // The name column holds 200 bytes of the stored encoding.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("name");
    const QString han(1, QChar(0x4E66)); // 书
    QTest::newRow("typed chinese") << han.repeated(101) << false << han.repeated(100);
    QTest::newRow("typed ascii") << QString(201, 'n') << false << QString(200, 'n');
    QTest::newRow("pasted, cut at a character") << "n" + han.repeated(120) << true << "n" + han.repeated(99);
}

void TestTypeEdit::nameStopsAtStoredByteLimit()
{
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, name);
    mv::DialogRecorder boxes;
    TfmTypeEdit dialog(nullptr, QStringLiteral("Add-3-3 Books"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    if (pasted) {
        QGuiApplication::clipboard()->setText(typed);
        dialog.Edit2->paste();
    } else {
        mvtest::typeText(dialog.Edit2, typed);
    }
    QCOMPARE(dialog.Edit2->text(), name);
    QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    // Stored whole, without the engine's truncation error.
    QCOMPARE(boxes.lines(), QStringList{});
    QCOMPARE(db_->rows("select typename from type where id=13"), QStringList{name});
}

QTEST_MAIN(TestTypeEdit)
#include "tst_typeedit.moc"
