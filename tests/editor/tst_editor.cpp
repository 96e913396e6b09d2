// The document editor on a real database file and the real editing surface:
// the record buttons and their states, saving, deleting, opening, the
// category picker, pictures, and the formatting toolbar's dialogs and boxes.
#include "UnitTemp.h"
#include "UnitTypeSelect.h"
#include "dialogs.h"
#include "editordriver.h"
#include "modalwatch.h"
#include "testdb.h"
#include "typing.h"
#include "uHtmlEdit.h"
#include "treeview.h"
#include "gradientpanel.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <QRegularExpression>

#include <QClipboard>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <csignal>
#include <ibase.h>

#include <algorithm>
#include <functional>
#include <memory>

using namespace mvtest;

class TestEditor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0")); }
    void init();
    void cleanup();

    void windowAndControls();
    void stateTable_data();
    void stateTable();
    void saveGivesLargestIdPlusOne_data();
    void saveGivesLargestIdPlusOne();
    void deleteAnsweredBothWaysAndIdComesBack();
    void saveThenEditUpdatesTheSameRow();
    void contentSurvivesSaveAndReopen_data();
    void contentSurvivesSaveAndReopen();
    void centredListReadsBackCentred();
    void cancelKeepsTypedText();
    void deadSurfaceComesBackWithLastBody();
    void stalledSurfaceOffersLastBody_data();
    void stalledSurfaceOffersLastBody();
    void openingFailsWithoutWindow_data();
    void openingFailsWithoutWindow();
    void failedSaveReportsNoSuccess_data();
    void failedSaveReportsNoSuccess();
    void saveOverAnotherSaveIsRefused_data();
    void saveOverAnotherSaveIsRefused();
    void titleStopsAtStoredByteLimit_data();
    void titleStopsAtStoredByteLimit();
    void addModeCategoryFromModeString_data();
    void addModeCategoryFromModeString();
    void categoryThroughPicker();
    void missingCategoryRowAndPickerWithoutSelection();
    void pictureKeptBesideDatabase();
    void noCompletionListOutlivesPictureDialog();
    void picturesMoveWithTheDatabase();
    void colourDialogRemembersLastOk();
    void fontSizeIsIndexPlusOne_data();
    void fontSizeIsIndexPlusOne();
    void fontNames_data();
    void fontNames();
    void fontNameAppliedAndNothingAtOpening();
    void clearThenSaveStoresEmptyDocument();
    void closingWithUnsavedChangesAsks_data();
    void closingWithUnsavedChangesAsks();
    void escapeAndEndAsCancelledAskNothing();

private:
    std::unique_ptr<TestDb> db_;
    // Title and body typed into an open editor, and the body read since by
    // the editor itself.
    static void typeAndLetRead(TfmTemp &ed, const QString &title, const QString &body)
    {
        ed.show();
        ed.Edit1->setText(title);
        typeBody(ed, body);
        QTRY_VERIFY_WITH_TIMEOUT(ed.LastReadBody().contains(body), 15000);
    }
    QString count(const QString &where = QString())
    {
        return db_->rows(QStringLiteral("select count(*) from documents") + where).value(0);
    }
};

void TestEditor::init()
{
    db_ = std::make_unique<TestDb>();
    db_->exec({"insert into type(id,parentid,typename) values(3,1,'Books')",
               "insert into type(id,parentid,typename) values(12,1,'Old recipes')",
               "insert into type(id,parentid,typename) values(14,3,'读书笔记')"});
    mvlabDm = new TmvlabDm(db_->path());
}

void TestEditor::cleanup()
{
    dropModalWatchers();
    delete mvlabDm;
    mvlabDm = nullptr;
    db_.reset();
}

void TestEditor::windowAndControls()
{
    TfmTemp ed(nullptr, QStringLiteral("14-Add-读书笔记"));
    ed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ed));
    QVERIFY(ed.windowTitle().startsWith(QStringLiteral("添加修改文档  TellbyMorvane软件工作室  ")));
    QCOMPARE(ed.size(), QSize(831, 592));
    QCOMPARE(ed.RzPanel1->height(), 53);
    QCOMPARE(ed.findChild<QLabel *>("Image1")->size(), QSize(283, 53));
    QCOMPARE(ed.RzPanel2->height(), 52);
    QCOMPARE(ed.RzPanel4->height(), 30);
    QCOMPARE(ed.ToolBar1->height(), 31);
    QCOMPARE(ed.RzPanel3->height(), 22);
    QVERIFY(ed.HtmlEdit1->height() > 300);

    const char *record[] = {"sbAdd", "sbEdit", "sbCancel", "sbDel", "sbSave"};
    const QStringList captions{"新增", "编辑", "取消", "删除", "保存"};
    int left = -1;
    for (int i = 0; i < 5; ++i) {
        auto *b = ed.findChild<QToolButton *>(record[i]);
        QVERIFY(b);
        QCOMPARE(b->text(), captions[i]);
        QCOMPARE(b->size(), QSize(40, 47));
        QVERIFY(!b->icon().isNull());
        QVERIFY(b->x() > left);
        left = b->x();
    }
    QCOMPARE(ed.findChild<QToolButton *>("sbAdd")->x(), 8);

    QCOMPARE(ed.findChild<QLabel *>("Label1")->text(), QStringLiteral("类别     "));
    QCOMPARE(ed.findChild<QLabel *>("Label2")->text(), QStringLiteral("标题 &T    "));
    QCOMPARE(ed.findChild<QLabel *>("Label2")->buddy(), ed.findChild<QLineEdit *>("Edit1"));
    QVERIFY(ed.findChild<QLineEdit *>("Edit1")->width() >= 406);
    QCOMPARE(ed.findChild<QLineEdit *>("Edit2")->width(), 103);
    QVERIFY(!ed.findChild<QLineEdit *>("edType")->isVisible());
    QCOMPARE(ed.findChild<QToolButton *>("sbFindType")->text(), QStringLiteral("..."));
    QCOMPARE(ed.findChild<QToolButton *>("sbFindType")->size(), QSize(23, 22));
    QVERIFY(ed.findChild<THtmlEdit *>("HtmlEdit1"));
    QCOMPARE(ed.HtmlEdit1->CharSet(), QStringLiteral("gb2312"));

    for (int i = 1; i <= 21; ++i) {
        auto *b = ed.findChild<QToolButton *>(QStringLiteral("ToolButton%1").arg(i));
        QVERIFY2(b, qPrintable(QString::number(i)));
        QCOMPARE(b->geometry().topLeft().x(), (i - 1) * 27);
        QCOMPARE(b->size(), QSize(27, 26));
        QVERIFY(b->text().isEmpty() && b->toolTip().isEmpty());
        QVERIFY(!b->icon().isNull());
        QVERIFY(b->isEnabled());
    }
    auto *sizes = ed.findChild<QComboBox *>("cbFontSize");
    QCOMPARE(sizes->count(), 7);
    QCOMPARE(sizes->itemText(0), QStringLiteral("一号"));
    QCOMPARE(sizes->itemText(6), QStringLiteral("七号"));
    QCOMPARE(sizes->currentIndex(), 2);
    QCOMPARE(sizes->currentText(), QStringLiteral("三号"));
    QCOMPARE(sizes->width(), 57);
    auto *names = ed.findChild<QComboBox *>("cbbFontName");
    QVERIFY(names->isEditable() && sizes->isEditable());
    QCOMPARE(names->currentText(), QString());
    QCOMPARE(names->width(), 100);
    QCOMPARE(sizes->x() - names->x(), 105);
    QCOMPARE(ed.findChild<QWidget *>("PageScroller2")->width(), 179);
    QCOMPARE(TfmTemp::ImageFilter(), QStringLiteral("图像文件|*.jpg; *.gif; *.bmp"));
    QCOMPARE(TfmTemp::ImageFilterForDialog(), QStringLiteral("图像文件 (*.jpg *.gif *.bmp)"));

    // The picture folder lies beside the database and exists from the start.
    const QString images = QDir(db_->dir()).filePath(QStringLiteral("images"));
    QCOMPARE(QDir::cleanPath(ed.HtmlEdit1->ImageFolder()), images);
    QVERIFY(ed.HtmlEdit1->ImageFolder().endsWith(QDir::separator()));
    QVERIFY(QFileInfo(images).isDir());
    QCOMPARE(ed.HtmlEdit1->Commander()->ImageFolder(), ed.HtmlEdit1->ImageFolder());
}

void TestEditor::stateTable_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("saveMode");

    // Entry state: add, edit, delete off; cancel, save on; editable.
    QTest::newRow("opened to add") << "3-Add-Books" << QStringList{} << "00101 W" << "Add";
    QTest::newRow("opened to edit") << "5-Edit-none" << QStringList{} << "11010 R" << "Edit";
    QTest::newRow("edit") << "5-Edit-none" << QStringList{"sbEdit"} << "00101 W" << "Edit";
    QTest::newRow("edit, cancel") << "5-Edit-none" << QStringList{"sbEdit", "sbCancel"} << "11010 R" << "Edit";
    QTest::newRow("add from edit") << "5-Edit-none" << QStringList{"sbAdd"} << "00101 W" << "Add";
    QTest::newRow("add, cancel keeps mode") << "5-Edit-none" << QStringList{"sbAdd", "sbCancel"} << "11010 R"
                                            << "Add";
    // Buttons that are off do nothing.
    QTest::newRow("disabled save") << "5-Edit-none" << QStringList{"sbSave", "sbCancel"} << "11010 R" << "Edit";
    // Before its first insert an add-mode window has nothing to delete, and
    // editing goes on with the add.
    QTest::newRow("never stored, cancel") << "3-Add-Books" << QStringList{"sbCancel"} << "11000 R" << "Add";
    QTest::newRow("never stored, edit") << "3-Add-Books" << QStringList{"sbCancel", "sbEdit"} << "00101 W" << "Add";
    QTest::newRow("unknown mode word") << "3-add-Books" << QStringList{} << "00000 W" << "add";
}

void TestEditor::stateTable()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, clicks);
    QFETCH(QString, expected);
    QFETCH(QString, saveMode);
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'五',3,'<body>x</body>')"});
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, mode);
    ed.show();
    for (const QString &name : clicks)
        ed.findChild<QToolButton *>(name)->click();
    QCOMPARE(recordState(ed), expected);
    QCOMPARE(ed.SaveMode, saveMode);
    QCOMPARE(ed.findChild<QToolButton *>("sbFindType")->isEnabled(), true);
    QVERIFY(boxes.lines().isEmpty());
}

void TestEditor::saveGivesLargestIdPlusOne_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expectedId");
    QTest::newRow("empty table") << QStringList{} << "1";
    QTest::newRow("after 1, 2, 7") << QStringList{"1", "2", "7"} << "8";
}

void TestEditor::saveGivesLargestIdPlusOne()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, expectedId);
    QStringList fill;
    for (const QString &id : existing)
        fill << QStringLiteral("insert into documents(id,title,typeid) values(%1,'old',1)").arg(id);
    if (!fill.isEmpty())
        db_->exec(fill);

    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("14-Add-读书笔记"));
    ed.show();
    ed.Edit1->setText(QStringLiteral("新文档"));
    typeBody(ed, QStringLiteral("<p>正文</p>"));
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Added});
    QCOMPARE(ed.DocumentId, expectedId);
    QCOMPARE(recordState(ed), QStringLiteral("11010 R"));
    // Committed: another connection sees it.
    QCOMPARE(db_->rows("select id, title, typeid from documents where id=" + expectedId),
             QStringList{expectedId + QStringLiteral("|新文档|14")});
    const QString content = db_->rows("select content from documents where id=" + expectedId).value(0);
    QVERIFY2(content.contains(QStringLiteral("<p>正文</p>")), qPrintable(content));
    QVERIFY(content.startsWith(QStringLiteral("<body")));
}

void TestEditor::deleteAnsweredBothWaysAndIdComesBack()
{
    db_->exec({"insert into documents(id,title,typeid) values(1,'a',1)",
               "insert into documents(id,title,typeid) values(2,'b',1)",
               "insert into documents(id,title,typeid) values(7,'c',1)"});
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    ed.show();
    ed.Edit1->setText(QStringLiteral("eight"));
    ed.sbSave->click();
    QCOMPARE(ed.DocumentId, QStringLiteral("8"));
    boxes.clear();

    boxes.answerNext(false);
    ed.sbDel->click();
    QCOMPARE(boxes.lines(), QStringList{DeleteQuestion});
    QCOMPARE(count(" where id=8"), QStringLiteral("1"));
    boxes.clear();

    boxes.answerNext(true);
    ed.sbDel->click();
    QCOMPARE(boxes.lines(), (QStringList{DeleteQuestion, Deleted}));
    QCOMPARE(count(" where id=8"), QStringLiteral("0"));
    QCOMPARE(count(), QStringLiteral("3"));
    // The window stays as it was, still showing the deleted document.
    QCOMPARE(recordState(ed), QStringLiteral("11010 R"));
    QCOMPARE(ed.Edit1->text(), QStringLiteral("eight"));

    // A deleted highest id is given out again.
    boxes.clear();
    ed.sbAdd->click();
    ed.Edit1->setText(QStringLiteral("eight again"));
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Added});
    QCOMPARE(ed.DocumentId, QStringLiteral("8"));
    QCOMPARE(db_->rows("select title from documents where id=8"), QStringList{"eight again"});

    // A failing delete shows the error box and no success.
    boxes.clear();
    mvlabDm->IBDatabaseMV.failOnStatement(1);
    ed.sbDel->click();
    QCOMPARE(boxes.boxes().size(), 2);
    QCOMPARE(boxes.boxes().at(1).kind, mv::Dialogs::Kind::Error);
    QCOMPARE(count(" where id=8"), QStringLiteral("1"));
}

void TestEditor::saveThenEditUpdatesTheSameRow()
{
    db_->exec({"insert into documents(id,title,typeid,content) values(4,'neighbour',1,'<body>n</body>')"});
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    ed.show();
    ed.Edit1->setText(QStringLiteral("first"));
    typeBody(ed, QStringLiteral("<p>one</p>"));
    ed.sbSave->click();
    QCOMPARE(ed.DocumentId, QStringLiteral("5"));

    ed.sbEdit->click();
    QCOMPARE(ed.SaveMode, QStringLiteral("Edit"));
    ed.Edit1->setText(QStringLiteral("second"));
    typeBody(ed, QStringLiteral("<p>two</p>"));
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), (QStringList{Added, Changed}));
    QCOMPARE(recordState(ed), QStringLiteral("11010 R"));
    QCOMPARE(count(), QStringLiteral("2"));
    QCOMPARE(db_->rows("select id, title, typeid from documents order by id"),
             (QStringList{"4|neighbour|1", "5|second|3"}));
    QVERIFY(db_->rows("select content from documents where id=5").value(0).contains("<p>two</p>"));

    // A row deleted behind the window is not reported as changed.
    db_->exec({"delete from documents where id=5"});
    boxes.clear();
    ed.sbEdit->click();
    ed.sbSave->click();
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY(boxes.boxes().at(0).text != QStringLiteral("数据已经成功修改!"));
    QCOMPARE(count(), QStringLiteral("1"));
}

void TestEditor::contentSurvivesSaveAndReopen_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    QTest::newRow("chinese") << QStringLiteral("读书笔记一") << QStringLiteral("<p>中文正文，标点“引号”。</p>");
    QTest::newRow("outside code page 936") << QStringLiteral("表情😀𠜎")
                                           << QStringLiteral("<p>😀 𠜎 ŉ ₿ ﷺ</p><p>€ é ü</p>");
    QTest::newRow("markup and quotes") << QStringLiteral("a'b\"c")
                                       << QStringLiteral("<p><b>粗</b> <i>斜</i> <font color=\"#ff0000\">红</font></p>"
                                                         "<ol><li>一</li><li>二</li></ol>");
}

void TestEditor::contentSurvivesSaveAndReopen()
{
    QFETCH(QString, title);
    QFETCH(QString, body);
    mv::DialogRecorder boxes;
    QString shown;
    {
        TfmTemp ed(nullptr, QStringLiteral("14-Add-读书笔记"));
        ed.show();
        ed.Edit1->setText(title);
        typeBody(ed, body);
        shown = bodyHtml(ed);
        ed.sbSave->click();
        QCOMPARE(boxes.lines(), QStringList{Added});
    }
    TfmTemp again(nullptr, QStringLiteral("1-Edit-none"));
    again.show();
    QCOMPARE(again.Edit1->text(), title);
    QCOMPARE(again.edType->text(), QStringLiteral("14"));
    QCOMPARE(again.Edit2->text(), QStringLiteral("读书笔记"));
    QCOMPARE(bodyHtml(again), shown);
    QCOMPARE(again.DateTimePicker1->date(), QDate::currentDate());
    QCOMPARE(recordState(again), QStringLiteral("11010 R"));
}

void TestEditor::centredListReadsBackCentred()
{
    mv::DialogRecorder boxes;
    const QString alignOfItem = QStringLiteral("var li = document.querySelector('li');"
                                               "return li ? getComputedStyle(li).textAlign : 'no list';");
    {
        TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
        ed.show();
        ed.Edit1->setText(QStringLiteral("centred list"));
        typeBody(ed, QStringLiteral("<p id='p'>第一项</p>"));
        selectElement(ed, "p");
        ed.ToolButtons[18]->click(); // centre
        ed.ToolButtons[20]->click(); // numbered list
        QCOMPARE(js(ed, alignOfItem).toString(), QStringLiteral("center"));
        ed.sbSave->click();
        QCOMPARE(boxes.lines(), QStringList{Added});
    }
    const QString stored = db_->rows("select content from documents").value(0);
    QVERIFY2(stored.contains(QStringLiteral("<ol>")), qPrintable(stored));
    QVERIFY2(!QRegularExpression(QStringLiteral("<p[^>]*>\\s*<ol"), QRegularExpression::CaseInsensitiveOption)
                  .match(stored)
                  .hasMatch(),
             qPrintable(stored));
    TfmTemp again(nullptr, QStringLiteral("1-Edit-none"));
    again.show();
    QCOMPARE(js(again, alignOfItem).toString(), QStringLiteral("center"));
    QVERIFY(bodyHtml(again).contains(QStringLiteral("第一项")));
}

void TestEditor::cancelKeepsTypedText()
{
    db_->exec({"insert into documents(id,title,typeid,content) values(9,'stored',3,'<body><p>stored</p></body>')"});
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("9-Edit-none"));
    ed.show();
    QCOMPARE(bodyHtml(ed), QStringLiteral("<p>stored</p>"));
    ed.sbEdit->click();
    ed.Edit1->setText(QStringLiteral("typed"));
    typeBody(ed, QStringLiteral("<p>typed body</p>"));
    ed.sbCancel->click();
    QCOMPARE(recordState(ed), QStringLiteral("11010 R"));
    QCOMPARE(ed.Edit1->text(), QStringLiteral("typed"));
    QCOMPARE(bodyHtml(ed), QStringLiteral("<p>typed body</p>"));
    QCOMPARE(db_->rows("select title from documents where id=9"), QStringList{"stored"});

    ed.sbEdit->click();
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Changed});
    QCOMPARE(db_->rows("select title from documents where id=9"), QStringList{"typed"});
    QVERIFY(db_->rows("select content from documents where id=9").value(0).contains("<p>typed body</p>"));
}

void TestEditor::deadSurfaceComesBackWithLastBody()
{
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    // Read now and then while the window is open.
    typeAndLetRead(ed, QStringLiteral("survivor"), QStringLiteral("<p>写了一半的文章</p>"));

    const qint64 pid = ed.HtmlEdit1->page()->renderProcessPid();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.lines().size(), 1, 15000);
    QVERIFY2(boxes.lines().at(0).startsWith(QStringLiteral("info|Morvane资料系统V1.0|编辑区的显示进程意外结束了。")),
             qPrintable(boxes.lines().at(0)));

    // A new surface, in a process of its own, showing what was last read,
    // still editable, and Save stores it.
    QVERIFY(ed.HtmlEdit1->page()->renderProcessPid() != pid);
    QCOMPARE(bodyHtml(ed), QStringLiteral("<p>写了一半的文章</p>"));
    QCOMPARE(recordState(ed), QStringLiteral("00101 W"));
    ed.sbSave->click();
    QCOMPARE(boxes.lines().mid(1), QStringList{Added});
    QCOMPARE(db_->rows("select title from documents"), QStringList{"survivor"});
    QVERIFY(db_->rows("select content from documents").value(0).contains(QStringLiteral("<p>写了一半的文章</p>")));
}

void TestEditor::stalledSurfaceOffersLastBody_data()
{
    QTest::addColumn<bool>("saveLastBody");
    QTest::newRow("last body saved") << true;
    QTest::newRow("declined") << false;
}

void TestEditor::stalledSurfaceOffersLastBody()
{
    QFETCH(bool, saveLastBody);
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    typeAndLetRead(ed, QStringLiteral("stalled"), QStringLiteral("<p>读到的正文</p>"));
    const qint64 pid = ed.HtmlEdit1->page()->renderProcessPid();
    const auto endRenderer = qScopeGuard([pid] { ::kill(pid_t(pid), SIGKILL); });

    // The page stops answering.
    ed.HtmlEdit1->Document()->setTimeoutMs(500);
    // Page script is off; the surface's own script world still runs.
    ed.HtmlEdit1->page()->runJavaScript(QStringLiteral("while (true) {}"), QWebEngineScript::ApplicationWorld);
    boxes.answerNext(saveLastBody);
    ed.sbSave->click();
    QCOMPARE(boxes.lines().value(0),
             QStringLiteral("question|保存提示|编辑区没有及时响应，读不到正在编辑的正文。\n要保存最后一次读到的正文吗？"
                            "在那以后的修改不在其中。"));
    if (saveLastBody) {
        QCOMPARE(boxes.lines().mid(1), QStringList{Added});
        QVERIFY(db_->rows("select content from documents").value(0).contains(QStringLiteral("<p>读到的正文</p>")));
    } else {
        QCOMPARE(boxes.lines().size(), 1);
        QCOMPARE(count(), QStringLiteral("0"));
    }

    // A command on the stuck surface fails in words of the window's own.
    boxes.clear();
    ed.ToolButtons[11]->click(); // bold
    QCOMPARE(boxes.lines(), QStringList{QStringLiteral("info|Morvane资料系统V1.0|编辑区没有及时响应，这个操作没有完成。\n"
                                                       "最后一次读到的正文仍然保留，保存时可以存入。")});
    QVERIFY(ed.isVisible());
}

void TestEditor::openingFailsWithoutWindow_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("failStatement");
    QTest::addColumn<QString>("message");
    QTest::newRow("null date") << "6-Edit-none" << 0 << "'' is not a valid date.";
    QTest::newRow("no such row") << "77-Edit-none" << 0 << "编号为 77 的文档不存在.";
    QTest::newRow("database error") << "5-Edit-none" << 1 << "";
    QTest::newRow("id that is no number") << "5 or 1=1-Edit-none" << 0 << "无效的文档编号: 5 or 1=1.";
}

void TestEditor::openingFailsWithoutWindow()
{
    QFETCH(QString, mode);
    QFETCH(int, failStatement);
    QFETCH(QString, message);
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'ok',3,'<body>x</body>')",
               "insert into documents(id,title,\"DATE\",typeid,content) values(6,'no date',null,3,'<body>y</body>')"});
    mvlabDm->IBDatabaseMV.failOnStatement(failStatement);

    bool windowShown = false;
    onNextModal<TfmTemp>([&](TfmTemp *ed) {
        windowShown = true;
        ed->EndAsCancelled();
    });
    mv::DialogRecorder boxes;
    OpenDocumentEditor(nullptr, mode, *mvlabDm);
    QVERIFY(!windowShown);
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().at(0).kind, mv::Dialogs::Kind::Error);
    if (!message.isEmpty())
        QCOMPARE(boxes.boxes().at(0).text, message);
    else
        QVERIFY(!boxes.boxes().at(0).text.isEmpty());
    const QWidgetList windows = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(windows.cbegin(), windows.cend(), [](QWidget *w) { return qobject_cast<TfmTemp *>(w); }));

    // A good document still opens afterwards.
    mvlabDm->IBDatabaseMV.failOnStatement(0);
    onNextModal<TfmTemp>([&](TfmTemp *ed) {
        windowShown = true;
        ed->EndAsCancelled();
    });
    OpenDocumentEditor(nullptr, QStringLiteral("5-Edit-none"), *mvlabDm);
    QVERIFY(windowShown);
}

void TestEditor::saveOverAnotherSaveIsRefused_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("titleShown");
    QTest::addColumn<QStringList>("rows"); // id|title after the save
    QTest::newRow("reload") << int(mv::Dialogs::Ok) << "theirs" << QStringList{"5|theirs"};
    QTest::newRow("save as new") << int(mv::Dialogs::Discard) << "mine" << QStringList{"5|theirs", "6|mine"};
    QTest::newRow("back to the editor") << int(mv::Dialogs::Cancel) << "mine" << QStringList{"5|theirs"};
}

void TestEditor::saveOverAnotherSaveIsRefused()
{
    QFETCH(int, answer);
    QFETCH(QString, titleShown);
    QFETCH(QStringList, rows);
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'stored',3,'<body>x</body>')"});
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("5-Edit-none"));
    ed.show();
    ed.sbEdit->click();
    ed.Edit1->setText(QStringLiteral("mine"));
    typeBody(ed, QStringLiteral("<p>my work</p>"));
    // Another machine saves the same document meanwhile.
    db_->exec({"update documents set title='theirs', content='<body><p>their work</p></body>' where id=5"});

    boxes.answerNext(mv::Dialogs::Answer(answer));
    ed.sbSave->click();
    QCOMPARE(boxes.boxes().at(0).kind, mv::Dialogs::Kind::ConflictQuestion);
    QCOMPARE(boxes.boxes().at(0).caption, QStringLiteral("保存冲突"));
    QVERIFY(!boxes.lines().contains(Changed));
    QCOMPARE(db_->rows("select id, title from documents order by id"), rows);
    QCOMPARE(db_->rows("select content from documents where id=5"), QStringList{"<body><p>their work</p></body>"});
    QCOMPARE(ed.Edit1->text(), titleShown);
    if (answer == mv::Dialogs::Discard) {
        QCOMPARE(ed.DocumentId, QStringLiteral("6"));
        QVERIFY(db_->rows("select content from documents where id=6").value(0).contains("<p>my work</p>"));
    }
    if (answer == mv::Dialogs::Ok) {
        QVERIFY(bodyHtml(ed).contains(QStringLiteral("their work")));
        QVERIFY(!ed.HasUnsavedChanges());
    } else {
        QVERIFY(bodyHtml(ed).contains(QStringLiteral("my work")));
    }
    // Saved again after a reload or a save as new, nothing is in the way.
    if (answer != mv::Dialogs::Cancel) {
        boxes.clear();
        ed.sbEdit->click();
        ed.Edit1->setText(QStringLiteral("again"));
        ed.sbSave->click();
        QCOMPARE(boxes.lines(), QStringList{Changed});
    }
}

void TestEditor::failedSaveReportsNoSuccess_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("failCommit");
    QTest::addColumn<qint64>("engineCode"); // of the failed commit
    QTest::addColumn<int>("osError");
    QTest::addColumn<QString>("messagePart");
    const QString tooLong = QString(101, QLatin1Char('x'));
    const QString tooLongChinese = QString(51, QChar(0x5B57)); // 102 bytes in the stored code page
    QTest::newRow("add, title too long") << "3-Add-Books" << tooLong << 0 << qint64(0) << 0 << "truncation";
    QTest::newRow("add, chinese title too long") << "3-Add-Books" << tooLongChinese << 0 << qint64(0) << 0
                                                 << "truncation";
    QTest::newRow("edit, title too long") << "5-Edit-none" << tooLong << 0 << qint64(0) << 0 << "truncation";
    QTest::newRow("add, commit fails") << "3-Add-Books" << "fine" << 1 << qint64(0) << 0 << "";
    QTest::newRow("edit, commit fails") << "5-Edit-none" << "fine" << 1 << qint64(0) << 0 << "";
    // One Chinese sentence that nothing was saved and why, then the engine's text.
    QTest::newRow("add, disk full") << "3-Add-Books" << "fine" << 1 << qint64(isc_io_error) << ENOSPC
                                    << "数据没有保存：存放数据库文件的磁盘已满。\n\nInjected failure of a commit";
    QTest::newRow("edit, write error") << "5-Edit-none" << "fine" << 1 << qint64(isc_io_error) << EIO
                                       << "数据没有保存：读写数据库文件时出错。\n\nInjected failure of a commit";
}

void TestEditor::failedSaveReportsNoSuccess()
{
    QFETCH(QString, mode);
    QFETCH(QString, title);
    QFETCH(int, failCommit);
    QFETCH(qint64, engineCode);
    QFETCH(int, osError);
    QFETCH(QString, messagePart);
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'stored',3,'<body>x</body>')"});
    const QStringList before = db_->rows("select id, title, content from documents");

    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, mode);
    ed.show();
    const QString idBefore = ed.DocumentId;
    if (ed.SaveMode == QLatin1String("Edit"))
        ed.sbEdit->click();
    // The field takes no title longer than the column; one that got there
    // all the same is refused by the engine, and still nothing is lost.
    if (messagePart == QLatin1String("truncation"))
        ed.Edit1->setValidator(nullptr);
    ed.Edit1->setText(title);
    typeBody(ed, QStringLiteral("<p>typed work</p>"));
    mvlabDm->IBDatabaseMV.failOnCommit(failCommit, engineCode, osError);
    ed.sbSave->click();

    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().at(0).kind, mv::Dialogs::Kind::Info);
    QVERIFY(!boxes.lines().contains(Added) && !boxes.lines().contains(Changed));
    if (!messagePart.isEmpty())
        QVERIFY2(boxes.boxes().at(0).text.contains(messagePart), qPrintable(boxes.boxes().at(0).text));
    QCOMPARE(db_->rows("select id, title, content from documents"), before);
    QCOMPARE(ed.DocumentId, idBefore);
    // What was typed is still there, and can be saved once mended.
    QCOMPARE(recordState(ed), QString::fromLatin1(idBefore.isEmpty() ? "11000 R" : "11010 R"));
    QCOMPARE(ed.Edit1->text(), title);
    QCOMPARE(bodyHtml(ed), QStringLiteral("<p>typed work</p>"));
    ed.sbEdit->click();
    ed.Edit1->setText(QStringLiteral("mended"));
    ed.sbSave->click();
    QCOMPARE(boxes.lines().size(), 2);
    QVERIFY(boxes.lines().at(1) == Added || boxes.lines().at(1) == Changed);
    QVERIFY(db_->rows("select title from documents").contains("mended"));
}

void TestEditor::titleStopsAtStoredByteLimit_data()
{
    // The title column holds 100 bytes of the stored encoding: two for a
    // Chinese character, four for one the code page lacks.
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("after");
    const QString han(1, QChar(0x5B57)); // 字
    QTest::newRow("typed ascii") << QString(99, 'a') << 99 << "bcd" << false << QString(99, 'a') + 'b';
    QTest::newRow("typed chinese, one byte left") << QString(99, 'a') << 99 << han << false << QString(99, 'a');
    QTest::newRow("pasted chinese cut at a character") << "ab" << 2 << han.repeated(60) << true
                                                       << "ab" + han.repeated(49);
    QTest::newRow("pasted in the middle keeps the end") << "abcd" << 2 << QString(200, 'x') << true
                                                        << "ab" + QString(96, 'x') + "cd";
    QTest::newRow("pasted character outside the code page")
        << QString(97, 'a') << 97 << QStringLiteral("😀") << true << QString(97, 'a');
    QTest::newRow("four bytes that fit") << QString(96, 'a') << 96 << QStringLiteral("😀") << true
                                         << QString(96, 'a') + QStringLiteral("😀");
}

void TestEditor::titleStopsAtStoredByteLimit()
{
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, after);
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    ed.show();
    QVERIFY(QTest::qWaitForWindowActive(&ed));
    ed.Edit1->setFocus();
    ed.Edit1->setText(before);
    ed.Edit1->setCursorPosition(cursor);
    if (pasted) {
        QGuiApplication::clipboard()->setText(typed);
        ed.Edit1->paste();
    } else {
        typeText(ed.Edit1, typed);
    }
    QCOMPARE(ed.Edit1->text(), after);
    // What the field holds is what the column takes.
    typeBody(ed, QStringLiteral("<p>limit</p>"));
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Added});
    QCOMPARE(db_->rows("select title from documents"), QStringList{after});
}

void TestEditor::addModeCategoryFromModeString_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("typeId");
    QTest::addColumn<QString>("shownName");
    // The main window passes the first word of "Old recipes".
    QTest::newRow("two-word name") << "12-Add-Old" << "12" << "Old";
    QTest::newRow("name cut at a dash") << "12-Add-Old-style" << "12" << "Old";
    QTest::newRow("empty name") << "3-Add-" << "3" << "";
}

void TestEditor::addModeCategoryFromModeString()
{
    QFETCH(QString, mode);
    QFETCH(QString, typeId);
    QFETCH(QString, shownName);
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, mode);
    ed.show();
    QCOMPARE(ed.edType->text(), typeId);
    QCOMPARE(ed.Edit2->text(), shownName);
    QCOMPARE(ed.Edit1->text(), QString());
    QCOMPARE(ed.DocumentId, QString());
    ed.Edit1->setText(QStringLiteral("t"));
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Added});
    QCOMPARE(db_->rows("select typeid from documents"), QStringList{typeId});
}

void TestEditor::categoryThroughPicker()
{
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'doc',3,'<body>x</body>')"});
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("5-Edit-none"));
    ed.show();
    QCOMPARE(ed.Edit2->text(), QStringLiteral("Books"));

    QString preselected;
    onNextModal<TfmTypeSelect>([&](TfmTypeSelect *picker) {
        preselected = picker->selectedCaption();
        const auto found = picker->RzTreeView1->findItems(QStringLiteral("12 Old recipes"),
                                                          Qt::MatchExactly | Qt::MatchRecursive);
        picker->RzTreeView1->setCurrentItem(found.value(0));
        picker->Button1->click();
    });
    ed.sbFindType->click();
    QCOMPARE(preselected, QStringLiteral("3 Books"));
    QCOMPARE(ed.edType->text(), QStringLiteral("12"));
    QCOMPARE(ed.Edit2->text(), QStringLiteral("Old"));
    // Stored only by the next save.
    QCOMPARE(db_->rows("select typeid from documents where id=5"), QStringList{"3"});
    ed.sbEdit->click();
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Changed});
    QCOMPARE(db_->rows("select typeid from documents where id=5"), QStringList{"12"});
}

void TestEditor::missingCategoryRowAndPickerWithoutSelection()
{
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'orphan',99,'<body>x</body>')"});
    TfmTemp ed(nullptr, QStringLiteral("5-Edit-none"));
    ed.show();
    QCOMPARE(ed.edType->text(), QStringLiteral("99"));
    QCOMPARE(ed.Edit2->text(), QString());
    QCOMPARE(TfmTemp::GetTypeName(QStringLiteral("99")), QString());
    QCOMPARE(TfmTemp::GetTypeName(QStringLiteral("14")), QStringLiteral("读书笔记"));

    bool hadSelection = true;
    onNextModal<TfmTypeSelect>([&](TfmTypeSelect *picker) {
        hadSelection = picker->selectedNode() != nullptr;
        picker->Button1->click();
    });
    ed.sbFindType->click();
    QVERIFY(!hadSelection);
    QCOMPARE(ed.edType->text(), QStringLiteral("99"));
    QCOMPARE(ed.Edit2->text(), QString());
}

void TestEditor::pictureKeptBesideDatabase()
{
    QTemporaryDir sources;
    const QString picture = sources.filePath(QStringLiteral("photo.bmp"));
    QVERIFY(writeBitmap(picture));
    const QString images = QDir(db_->dir()).filePath(QStringLiteral("images"));
    QDir(images).removeRecursively(); // made again when missing

    mv::DialogRecorder boxes;
    {
        TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
        ed.show();
        ed.Edit1->setText(QStringLiteral("with picture"));
        typeBody(ed, QStringLiteral("<p id='p'>看图</p>"));
        QDir(images).removeRecursively();
        QString shownFilter;
        onNextModal<QFileDialog>([&](QFileDialog *d) {
            shownFilter = d->nameFilters().join(QLatin1Char(';'));
            // Typed into the name field, as a user would.
            d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(picture);
            static_cast<QDialog *>(d)->accept();
        }, &ed);
        ed.ToolButtons[2]->click();
        QCOMPARE(shownFilter, QStringLiteral("图像文件 (*.jpg *.gif *.bmp)"));
        const QStringList copies = QDir(images).entryList(QDir::Files);
        QCOMPARE(copies.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{32}\\.bmp$")).match(copies.at(0)).hasMatch());
        // Linked relative to the database's folder, so that it moves with it.
        QVERIFY(bodyHtml(ed).contains(QStringLiteral("<img src=\"images/") + copies.at(0) + QLatin1Char('"')));

        // A cancelled dialog inserts nothing.
        onNextModal<QFileDialog>([](QFileDialog *d) { d->reject(); }, &ed);
        ed.ToolButtons[2]->click();
        QCOMPARE(QDir(images).entryList(QDir::Files).size(), 1);
        ed.sbSave->click();
        QCOMPARE(boxes.lines(), QStringList{Added});
    }
    // The picked file may go; the document shows its own copy.
    QFile::remove(picture);
    TfmTemp again(nullptr, QStringLiteral("1-Edit-none"));
    again.show();
    QVERIFY(bodyHtml(again).contains(QStringLiteral("<img")));
    QTRY_COMPARE_WITH_TIMEOUT(js(again, QStringLiteral("var i = document.images[0];"
                                                       "return i && i.complete ? i.naturalWidth : 0;"))
                                  .toInt(),
                              24, 10000);
}

void TestEditor::noCompletionListOutlivesPictureDialog()
{
    // A name typed at once is completed only once the folder has been read:
    // by then the dialog may be gone, and its completion list must not show.
    QTemporaryDir sources;
    const QString picture = sources.filePath(QStringLiteral("typed.bmp"));
    QVERIFY(writeBitmap(picture));
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    ed.show();
    typeBody(ed, QStringLiteral("<p>图</p>"));
    onNextModal<QFileDialog>([&](QFileDialog *d) {
        auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        name->setFocus();
        QTest::keyClicks(name, picture.left(picture.size() - 4));
        QTest::keyClicks(name, picture.right(4));
        QTest::keyClick(name, Qt::Key_Return);
    }, &ed);
    ed.ToolButtons[2]->click();
    QVERIFY(bodyHtml(ed).contains(QStringLiteral("<img")));
    auto popups = [] {
        QStringList shown;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowType() == Qt::Popup)
                shown << QString::fromLatin1(w->metaObject()->className());
        return shown;
    };
    // Long enough for the folder to be read and any completion to come.
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(50);
        QCOMPARE(popups(), QStringList());
    }
    QVERIFY(boxes.lines().isEmpty());
}

void TestEditor::picturesMoveWithTheDatabase()
{
    QTemporaryDir sources, moved;
    const QString picture = sources.filePath(QStringLiteral("photo.bmp"));
    QVERIFY(writeBitmap(picture));
    mv::DialogRecorder boxes;
    {
        TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
        ed.show();
        ed.Edit1->setText(QStringLiteral("moving"));
        typeBody(ed, QStringLiteral("<p>看图</p>"));
        onNextModal<QFileDialog>([&](QFileDialog *d) { choosePicture(d, picture); }, &ed);
        ed.ToolButtons[2]->click();
        ed.sbSave->click();
        QCOMPARE(boxes.lines(), QStringList{Added});
    }
    const QString stored = db_->rows("select content from documents where id=1").value(0);
    QVERIFY2(stored.contains(QStringLiteral("<img")), qPrintable(stored));

    // The database file and its pictures go elsewhere together; nothing is
    // left at the old place.
    delete mvlabDm;
    mvlabDm = nullptr;
    const QString images = QDir(db_->dir()).filePath(QStringLiteral("images"));
    const QString database = moved.filePath(QStringLiteral("mvlabnew.fdb"));
    QVERIFY(QFile::rename(db_->path(), database));
    QVERIFY(QDir().rename(images, moved.filePath(QStringLiteral("images"))));
    QVERIFY(!QFileInfo::exists(images));
    mvlabDm = new TmvlabDm(database);

    TfmTemp again(nullptr, QStringLiteral("1-Edit-none"));
    again.show();
    QTRY_COMPARE_WITH_TIMEOUT(js(again, QStringLiteral("var i = document.images[0];"
                                                       "return i && i.complete ? i.naturalWidth : 0;"))
                                  .toInt(),
                              24, 10000);
    QCOMPARE(again.HtmlEdit1->HTML(), stored);
}

void TestEditor::colourDialogRemembersLastOk()
{
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    ed.show();
    typeBody(ed, QStringLiteral("<p><span id='a'>甲</span> <span id='b'>乙</span></p>"));

    QColor shown;
    auto pick = [&](const QColor &choose, bool ok) {
        onNextModal<QColorDialog>([&shown, choose, ok](QColorDialog *d) {
            shown = d->currentColor();
            d->setCurrentColor(choose);
            ok ? d->accept() : d->reject();
        }, &ed);
    };
    selectElement(ed, "a");
    pick(QColor(255, 0, 0), true);
    ed.ToolButtons[14]->click(); // text colour
    QCOMPARE(shown, QColor(Qt::black));
    QVERIFY2(bodyHtml(ed).contains(QStringLiteral("color=\"#ff0000\"")), qPrintable(bodyHtml(ed)));

    const QString before = bodyHtml(ed);
    selectElement(ed, "b");
    pick(QColor(0, 0, 255), false);
    ed.ToolButtons[15]->click(); // background, cancelled
    QCOMPARE(shown, QColor(255, 0, 0));
    QCOMPARE(bodyHtml(ed), before);

    pick(QColor(0, 0, 255), true);
    ed.ToolButtons[15]->click(); // background
    QCOMPARE(shown, QColor(255, 0, 0));
    QVERIFY2(bodyHtml(ed).contains(QStringLiteral("background-color: rgb(0, 0, 255)")), qPrintable(bodyHtml(ed)));
    QVERIFY(boxes.lines().isEmpty());
}

void TestEditor::fontSizeIsIndexPlusOne_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("size");
    QTest::newRow("一号") << 0 << QString() << "10px";
    QTest::newRow("二号") << 1 << QString() << "13px";
    QTest::newRow("四号") << 3 << QString() << "18px";
    QTest::newRow("七号") << 6 << QString() << "48px";
    QTest::newRow("typed, no item") << -1 << QStringLiteral("特大") << "16px";
}

void TestEditor::fontSizeIsIndexPlusOne()
{
    QFETCH(int, index);
    QFETCH(QString, typed);
    QFETCH(QString, size);
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    ed.show();
    // Start from a size the case does not give, so that the change shows.
    typeBody(ed, QStringLiteral("<p><font size=\"%1\" id=\"t\">字号</font></p>").arg(size == QLatin1String("24px") ? 6 : 5));
    selectElement(ed, "t");
    if (index >= 0)
        ed.cbFontSize->setCurrentIndex(index);
    else
        ed.cbFontSize->setEditText(typed);
    // The size the text is shown in (HTML sizes 1..7 are 10, 13, 16, 18, 24, 32, 48 pixels).
    const QString pixels = js(ed, QStringLiteral("var w = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);"
                                                 "while (w.nextNode()) if (w.currentNode.data === '字号')"
                                                 "  return getComputedStyle(w.currentNode.parentElement).fontSize;"
                                                 "return '';"))
                               .toString();
    QCOMPARE(pixels, size);
}

void TestEditor::fontNames_data()
{
    QTest::addColumn<QStringList>("families");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("vertical variants dropped")
        << QStringList{"@SimSun", "Arial", "@Noto Sans CJK SC", "SimSun", "Times@Work", "@"}
        << QStringList{"Arial", "SimSun", "Times@Work"};
    QTest::newRow("none") << QStringList{} << QStringList{};
    QTest::newRow("all vertical") << QStringList{"@a", "@b"} << QStringList{};
}

void TestEditor::fontNames()
{
    QFETCH(QStringList, families);
    QFETCH(QStringList, listed);
    QCOMPARE(TfmTemp::FontNamesFrom(families), listed);
}

void TestEditor::fontNameAppliedAndNothingAtOpening()
{
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'doc',3,'<body><p id=\"t\">字体</p></body>')"});
    TfmTemp ed(nullptr, QStringLiteral("5-Edit-none"));
    ed.show();
    QStringList items;
    for (int i = 0; i < ed.cbbFontName->count(); ++i)
        items << ed.cbbFontName->itemText(i);
    QCOMPARE(items, TfmTemp::FontNamesFrom(QFontDatabase::families()));
    QVERIFY(!items.isEmpty());
    QCOMPARE(ed.cbbFontName->currentText(), QString());
    // Opening applied neither box.
    QCOMPARE(bodyHtml(ed), QStringLiteral("<p id=\"t\">字体</p>"));

    ed.sbEdit->click();
    selectElement(ed, "t");
    const QString family = items.last();
    ed.cbbFontName->setCurrentIndex(int(items.size()) - 1);
    const QString html = bodyHtml(ed);
    QVERIFY2(html.contains(QStringLiteral("<font face=")) && html.contains(family), qPrintable(html));
}

void TestEditor::clearThenSaveStoresEmptyDocument()
{
    db_->exec({"insert into documents(id,title,typeid,content) values(5,'doc',3,'<body><p>old</p></body>')"});
    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("5-Edit-none"));
    ed.show();
    ed.sbEdit->click();
    ed.ToolButtons[6]->click();
    QCOMPARE(js(ed, QStringLiteral("return document.title;")).toString(), QStringLiteral("NewDocument"));
    QCOMPARE(js(ed, QStringLiteral("return document.body.textContent.trim();")).toString(), QString());
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Changed});
    const QString stored = db_->rows("select content from documents where id=5").value(0);
    QVERIFY2(!stored.contains("old") && stored.startsWith("<body"), qPrintable(stored));
}

Q_DECLARE_METATYPE(mv::Dialogs::Answer)

void TestEditor::closingWithUnsavedChangesAsks_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("change"); // title, category, body, saved or nothing
    QTest::addColumn<QString>("title");
    QTest::addColumn<mv::Dialogs::Answer>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("stored"); // title|typeid of every row

    const QStringList asked{SaveQuestion};
    const QStringList none;
    const QStringList original{"stored|3"};
    QTest::newRow("title, save") << "3-Add-Books" << "title" << "typed" << mv::Dialogs::Ok << true
                                 << (asked + QStringList{Added}) << QStringList{"typed|3"};
    QTest::newRow("body, discard") << "5-Edit-none" << "body" << "stored" << mv::Dialogs::Discard << true << asked
                                   << original;
    QTest::newRow("category, cancel") << "5-Edit-none" << "category" << "stored" << mv::Dialogs::Cancel << false
                                      << asked << original;
    QTest::newRow("body, save") << "5-Edit-none" << "body" << "stored" << mv::Dialogs::Ok << true
                                << (asked + QStringList{Changed}) << original;
    // A save that fails keeps the window and what was typed.
    QTest::newRow("save fails") << "5-Edit-none" << "title" << QString(101, QLatin1Char('x')) << mv::Dialogs::Ok
                                << false << QStringList() << original;
    QTest::newRow("nothing changed") << "5-Edit-none" << "nothing" << "stored" << mv::Dialogs::Cancel << true << none
                                     << original;
    QTest::newRow("typed, then saved") << "5-Edit-none" << "saved" << "stored again" << mv::Dialogs::Cancel << true
                                       << QStringList{Changed} << QStringList{"stored again|3"};
}

void TestEditor::closingWithUnsavedChangesAsks()
{
    QFETCH(QString, mode);
    QFETCH(QString, change);
    QFETCH(QString, title);
    QFETCH(mv::Dialogs::Answer, answer);
    QFETCH(bool, closed);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, stored);
    if (mode.startsWith(QLatin1String("5-")))
        db_->exec({"insert into documents(id,title,typeid,content) values(5,'stored',3,'<body><p>kept</p></body>')"});

    mv::DialogRecorder recorder;
    recorder.answerNext(answer);
    TfmTemp ed(nullptr, mode);
    ed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ed));
    ed.sbEdit->click();
    // The field stops typing at what the column holds; the failing row goes
    // past it to reach the database's refusal.
    if (QTest::currentDataTag() == QLatin1String("save fails"))
        ed.Edit1->setValidator(nullptr);
    if (change == QLatin1String("title") || change == QLatin1String("saved"))
        ed.Edit1->setText(title);
    if (change == QLatin1String("category"))
        ed.edType->setText(QStringLiteral("12"));
    if (change == QLatin1String("body"))
        typeBody(ed, QStringLiteral("<p>typed into the body</p>"));
    if (change == QLatin1String("saved"))
        ed.sbSave->click();
    QCOMPARE(ed.HasUnsavedChanges(), change != QLatin1String("nothing") && change != QLatin1String("saved"));

    ed.close();
    QCOMPARE(ed.isVisible(), !closed);
    if (QTest::currentDataTag() == QLatin1String("save fails")) {
        QCOMPARE(recorder.lines().size(), 2);
        QCOMPARE(recorder.lines().at(0), SaveQuestion);
        QCOMPARE(recorder.boxes().at(1).kind, mv::Dialogs::Kind::Info);
    } else {
        QCOMPARE(recorder.lines(), boxes);
    }
    QCOMPARE(db_->rows("select title, typeid from documents"), stored);
    if (QTest::currentDataTag() == QLatin1String("body, save"))
        QVERIFY(db_->rows("select content from documents").value(0).contains("typed into the body"));
    if (!closed) {
        // What was typed is still there, and still counts as unsaved.
        QVERIFY(ed.HasUnsavedChanges());
        recorder.answerNext(mv::Dialogs::Discard);
        ed.close();
        QVERIFY(!ed.isVisible());
    }
}

void TestEditor::escapeAndEndAsCancelledAskNothing()
{
    mv::DialogRecorder boxes;
    {
        TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
        ed.show();
        ed.Edit1->setText(QStringLiteral("unsaved"));
        // Escape does not close the window.
        QTest::keyClick(&ed, Qt::Key_Escape);
        QVERIFY(ed.isVisible());
    }
    // Ending a modal editor as cancelled from the program asks nothing.
    QPointer<TfmTemp> seen;
    bool ran = false;
    onNextModal<TfmTemp>([&](TfmTemp *ed) {
        seen = ed;
        ran = true;
        ed->Edit1->setText(QStringLiteral("unsaved too"));
        ed->EndAsCancelled();
    });
    OpenDocumentEditor(nullptr, QStringLiteral("3-Add-Books"), *mvlabDm);
    QVERIFY(ran);
    QVERIFY(seen.isNull()); // freed
    QVERIFY(boxes.lines().isEmpty());
    QCOMPARE(count(), QStringLiteral("0"));
}

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
