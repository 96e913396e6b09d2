// The main window driven as a user would: the category tree and its menu,
// the list and the search box, the tray lifecycle, the about box.

#include "UnitAbort.h"
#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "dialogs.h"
#include "documentquery.h"
#include "flatmenu.h"
#include "gradientpanel.h"
#include "mvapplication.h"
#include "testdb.h"
#include "treeshape.h"
#include "treeview.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

using mvtest::node;
using mvtest::shape;

QPoint at(QTreeWidget *tree, QTreeWidgetItem *item)
{
    return tree->visualItemRect(item).center();
}

QStringList listedTitles(TfmDocumentList &w)
{
    QStringList out;
    for (int r = 0; r < w.IBQueryDocument->rowCount(); ++r)
        out.append(w.IBQueryDocument->row(r).title);
    return out;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<mvtest::TestDb> db_;
    std::unique_ptr<TmvlabDm> dm_;
    std::unique_ptr<TfmDocumentList> w_;
    int treeAtFirstPaint_ = -1; // nodes in the tree when it was first painted

    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && treeAtFirstPaint_ < 0)
            treeAtFirstPaint_ = w_->RzTreeView1->topLevelItemCount();
        return QObject::eventFilter(o, e);
    }

    TfmDocumentList &open(bool withRows = true,
                          TfmDocumentList::TreeLoading loading = TfmDocumentList::TreeLoading::WhileBuilding)
    {
        db_ = std::make_unique<mvtest::TestDb>(false);
        if (withRows) {
            // Out of id order, a two-word name, and an orphan with a child.
            QStringList s{
                QStringLiteral("insert into TYPE values (3, 0, '三级')"),
                QStringLiteral("insert into TYPE values (1, 0, '一级')"),
                QStringLiteral("insert into TYPE values (2, 3, '二级')"),
                QStringLiteral("insert into TYPE values (7, 99, '孤儿')"),
                QStringLiteral("insert into TYPE values (8, 7, '孤儿之子')"),
                QStringLiteral("insert into TYPE values (5, 3, 'My Notes')"),
            };
            for (int i = 1; i <= 12; ++i)
                s.append(QStringLiteral("insert into DOCUMENTS (ID, TITLE, TYPEID, CONTENT) values (%1, 'T%1', %2, "
                                        "'<p>%3</p>')")
                             .arg(i)
                             .arg(i <= 4 ? 1 : (i % 2 ? 2 : 5))
                             .arg(i == 4 ? QStringLiteral("it''s") : QStringLiteral("Hello")));
            db_->exec(s);
        }
        dm_ = std::make_unique<TmvlabDm>(db_->path());
        w_ = std::make_unique<TfmDocumentList>(dm_.get(), nullptr, loading);
        if (loading == TfmDocumentList::TreeLoading::AfterFirstPaint)
            treeAtFirstPaint_ = -1, w_->RzTreeView1->viewport()->installEventFilter(this);
        w_->show();
        if (!QTest::qWaitForWindowExposed(w_.get()))
            qWarning("window not exposed");
        return *w_;
    }

private slots:
    void init()
    {
        ExitRequested = false;
        mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0"));
        mv::TrayIcon::setAvailableOverride(true);
    }
    void cleanup()
    {
        w_.reset();
        dm_.reset();
        db_.reset();
    }

    void layoutAndNames()
    {
        TfmDocumentList &w = open();
        QCOMPARE(w.windowTitle(), QStringLiteral("文档中心 TellbyMorvane软件工作室"));
        QCOMPARE(w.RzPanel1->height(), 57);
        QCOMPARE(w.RzPanel2->height(), 26);
        QCOMPARE(w.RzPanel3->height(), 26);
        QCOMPARE(w.RzPanel4->width(), 185);
        QCOMPARE(w.RzPanel2->caption(), QStringLiteral("    文档类别"));
        QCOMPARE(w.SpeedButton1->toolTip(), QStringLiteral("查询,这里是区分大小写!"));
        QCOMPARE(w.EdFind->toolTip(), QStringLiteral("此处是区分大小写的!"));
        QVERIFY(!w.EdFind->isVisible());
        QCOMPARE(w.SpeedButton2->geometry().right(), w.RzPanel2->width() - 6);
        QStringList menu;
        for (QAction *a : w.PopupMenu1->actions())
            menu.append(a->objectName() + '=' + a->text());
        QCOMPARE(menu, (QStringList{"N1=添加下级", "N2=修改名称", "N3=删除该级", "N4=", "N7=增加该类文章"}));
        menu.clear();
        for (QAction *a : w.PopupMenu3->actions())
            menu.append(a->objectName() + '=' + a->text());
        QCOMPARE(menu, (QStringList{"ShowWindow1=显示主窗口", "HideWindow1=隐藏主窗口 &", "MenuItem1=", "N8=便民查询",
                                    "BalloonHint1=显示气球提示 ", "MenuItem2=", "Exit1=退出 &X"}));
        QCOMPARE(w.PopupMenu3->defaultAction(), w.ShowWindow1);
        QCOMPARE(w.TrayIcon1->hint(), QStringLiteral("Morvane资料管理系统"));
        QVERIFY(w.TrayIcon1->iconVisible());
        // The grid: the two hidden fields, labels, row heights.
        QVERIFY(w.DBGridEh1->isColumnHidden(DocumentQuery::Id));
        QVERIFY(w.DBGridEh1->isColumnHidden(DocumentQuery::TypeId));
        QCOMPARE(w.IBQueryDocument->headerData(DocumentQuery::Title, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("标题"));
        QCOMPARE(w.IBQueryDocument->headerData(DocumentQuery::Date, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("日期"));
        QCOMPARE(w.DBGridEh1->verticalHeader()->defaultSectionSize(), 19);
        QCOMPARE(w.DBGridEh1->horizontalHeader()->height(), 18);
        // Opening runs no document query.
        QVERIFY(!w.IBQueryDocument->active());
    }

    void treeFromRowsOutOfOrderWithOrphans()
    {
        TfmDocumentList &w = open();
        QCOMPARE(shape(w.RzTreeView1), (QStringList{"3 三级", "  2 二级", "  5 My Notes", "1 一级"}));
        QVERIFY(!w.SelectedNode());
    }

    // The program's start-up: the window is painted first, its tree comes
    // right after, the same tree; a database that cannot be read still
    // gives its one error box.
    void treeAfterFirstPaint()
    {
        mv::DialogRecorder boxes;
        TfmDocumentList &w = open(true, TfmDocumentList::TreeLoading::AfterFirstPaint);
        QTRY_VERIFY(w.RzTreeView1->topLevelItemCount() > 0);
        QCOMPARE(treeAtFirstPaint_, 0);
        QCOMPARE(shape(w.RzTreeView1), (QStringList{"3 三级", "  2 二级", "  5 My Notes", "1 一级"}));
        QVERIFY(!w.SelectedNode());
        QVERIFY(boxes.boxes().isEmpty());

        w_.reset();
        dm_ = std::make_unique<TmvlabDm>(db_->dir() + QStringLiteral("/missing.fdb"));
        w_ = std::make_unique<TfmDocumentList>(dm_.get(), nullptr, TfmDocumentList::TreeLoading::AfterFirstPaint);
        w_->show();
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().kind, mv::Dialogs::Kind::Error);
        QCOMPARE(w_->RzTreeView1->topLevelItemCount(), 0);
    }

    void rightClickSelectsAndFeedsTheMenu()
    {
        TfmDocumentList &w = open();
        QSignalSpy commands(&w, &TfmDocumentList::commandRequested);
        QTreeWidget *tree = w.RzTreeView1;
        QTreeWidgetItem *one = node(tree, "1 一级");
        QTreeWidgetItem *notes = node(tree, "5 My Notes");

        // Left-click A, right-click B: the commands act on B.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at(tree, one));
        QCOMPARE(w.SelectedNode(), one);
        QVERIFY(w.SelectedTypeId.isEmpty());
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, at(tree, notes));
        QCOMPARE(w.SelectedNode(), notes);
        QCOMPARE(w.SelectedTypeId, QStringLiteral("5"));
        w.N7->trigger();
        w.N1->trigger();
        // Right-click on empty space changes nothing; then a left-clicked
        // node gives the caption while the id stays the right-clicked one.
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, QPoint(5, tree->viewport()->height() - 3));
        QCOMPARE(w.SelectedNode(), notes);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at(tree, one));
        w.N2->trigger();
        w.N3->trigger();
        w.N7->trigger();
        QStringList got;
        for (const auto &c : commands)
            got.append(c[0].toString() + ':' + c[1].toString());
        QCOMPARE(got, (QStringList{"N7:5-Add-My", "N1:Add-5-5 My Notes", "N2:Edit-5-1 一级", "N3:1 一级", "N7:1-Add-一级"}));

        // After a reload nothing is selected and the commands do nothing,
        // while SelectedTypeId is kept.
        commands.clear();
        w.ReloadTree();
        QVERIFY(!w.SelectedNode());
        QCOMPARE(w.SelectedTypeId, QStringLiteral("5"));
        for (QAction *a : {w.N1, w.N2, w.N3, w.N7})
            a->trigger();
        QCOMPARE(commands.size(), 0);
    }

    void popupOpensOnlyWithANode()
    {
        TfmDocumentList &w = open(false);
        QCOMPARE(w.RzTreeView1->topLevelItemCount(), 0);
        QContextMenuEvent byMouse(QContextMenuEvent::Mouse, QPoint(10, 10), w.RzTreeView1->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(w.RzTreeView1, &byMouse);
        QVERIFY(!w.PopupMenu1->isVisible());
        // The keyboard opens it anyway; its commands then do nothing.
        QContextMenuEvent byKey(QContextMenuEvent::Keyboard, QPoint(10, 10), w.RzTreeView1->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(w.RzTreeView1, &byKey);
        QVERIFY(w.PopupMenu1->isVisible());
        QSignalSpy commands(&w, &TfmDocumentList::commandRequested);
        w.N1->trigger();
        w.N7->trigger();
        QCOMPARE(commands.size(), 0);
        w.PopupMenu1->hide();
    }

    void clickListsCategoryThenSearchBox()
    {
        TfmDocumentList &w = open();
        mv::DialogRecorder boxes;
        QTreeWidget *tree = w.RzTreeView1;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at(tree, node(tree, "1 一级")));
        QCOMPARE(listedTitles(w), (QStringList{"T4", "T3", "T2", "T1"}));
        QCOMPARE(w.CurrentDocumentId(), QStringLiteral("4"));
        // A category with sub-categories: its documents and theirs.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at(tree, node(tree, "3 三级")));
        QCOMPARE(listedTitles(w), (QStringList{"T12", "T11", "T10", "T9", "T8", "T7", "T6", "T5"}));

        // The search button shows the box with the focus; every keystroke
        // searches. Until the index is there the statement runs off the
        // window's thread (the list empties at once and fills when it is
        // done); the index, built meanwhile, may answer first.
        QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
        QVERIFY(w.EdFind->isVisible());
        QVERIFY(w.EdFind->hasFocus());
        QTest::keyClicks(w.EdFind, "it'");
        QVERIFY(w.IBQueryDocument->searching());
        QCOMPARE(w.IBQueryDocument->rowCount(), 0);
        QTRY_VERIFY(!w.IBQueryDocument->searching());
        QCOMPARE(listedTitles(w), QStringList{"T4"});
        QTest::keyClick(w.EdFind, Qt::Key_Backspace);
        QTest::keyClick(w.EdFind, Qt::Key_Backspace);
        QTest::keyClick(w.EdFind, Qt::Key_Backspace);
        QTRY_COMPARE(w.IBQueryDocument->rowCount(), 12); // empty text: every content
        QTest::keyClicks(w.EdFind, "hello");
        QTRY_VERIFY(!w.IBQueryDocument->searching());
        QCOMPARE(w.IBQueryDocument->rowCount(), 0);
        // Hiding the box keeps the text and the list.
        QTest::keyClicks(w.EdFind, QString());
        w.EdFind->setText(QStringLiteral("it's"));
        QTRY_VERIFY(!w.IBQueryDocument->searching());
        QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
        QVERIFY(!w.EdFind->isVisible());
        QCOMPARE(w.EdFind->text(), QStringLiteral("it's"));
        QCOMPARE(listedTitles(w), QStringList{"T4"});
        QCOMPARE(boxes.boxes().size(), 0);

        QSignalSpy commands(&w, &TfmDocumentList::commandRequested);
        w.DBGridEh1DblClick();
        QCOMPARE(commands.value(0).value(1).toString(), QStringLiteral("4-Edit-none"));
    }

    void trayStates_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("end"); // shown, minimised, hidden, ended
        QTest::addColumn<int>("balloons");

        QTest::newRow("close hides") << true << "shown" << "close" << "hidden" << 1;
        QTest::newRow("hide item") << true << "shown" << "hide" << "hidden" << 0;
        QTest::newRow("show from tray") << true << "hidden" << "show" << "shown" << 0;
        QTest::newRow("show when minimised") << true << "minimised" << "show" << "shown" << 0;
        QTest::newRow("double click") << true << "hidden" << "double" << "shown" << 0;
        QTest::newRow("balloon item") << true << "hidden" << "balloon" << "hidden" << 1;
        QTest::newRow("exit from tray") << true << "hidden" << "exit" << "ended" << 1;
        QTest::newRow("exit when shown") << true << "shown" << "exit" << "ended" << 1;
        QTest::newRow("log-off refused") << true << "shown" << "logoff" << "hidden" << 1;
        // Without a notification area a hidden window could never return.
        QTest::newRow("no tray: close minimises") << false << "shown" << "close" << "minimised" << 1;
        QTest::newRow("no tray: hide minimises") << false << "shown" << "hide" << "minimised" << 0;
        QTest::newRow("no tray: exit key") << false << "minimised" << "key" << "ended" << 1;
    }
    void trayStates()
    {
        QFETCH(bool, tray);
        QFETCH(QString, start);
        QFETCH(QString, action);
        QFETCH(QString, end);
        QFETCH(int, balloons);
        mv::TrayIcon::setAvailableOverride(tray);
        TfmDocumentList &w = open(false);
        QSignalSpy closed(&w, &TfmDocumentList::closed);
        if (start == "minimised")
            w.showMinimized();
        else if (start == "hidden")
            w.HideWindow1->trigger();
        const int before = w.TrayIcon1->balloonCount();

        if (action == "close")
            w.close();
        else if (action == "hide")
            w.HideWindow1->trigger();
        else if (action == "show")
            w.ShowWindow1->trigger();
        else if (action == "double")
            emit w.TrayIcon1->doubleClicked();
        else if (action == "balloon")
            w.BalloonHint1->trigger();
        else if (action == "exit")
            w.Exit1->trigger();
        else if (action == "key")
            QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        else if (action == "logoff")
            QVERIFY(!w.FormCloseQuery());
        QApplication::processEvents();

        QString state = w.isVisible() ? (w.isMinimized() ? "minimised" : "shown") : "hidden";
        if (closed.size() == 1)
            state = "ended";
        QCOMPARE(state, end);
        QCOMPARE(w.TrayIcon1->balloonCount() - before, balloons);
        QCOMPARE(ExitRequested, end == "ended");
        if (end != "ended")
            QVERIFY(w.TrayIcon1->iconVisible());
    }

    void balloonTextAndClick()
    {
        TfmDocumentList &w = open(false);
        mv::DialogRecorder boxes;
        w.BalloonHint1->trigger();
        const mv::TrayIcon::Balloon b = w.TrayIcon1->lastBalloon();
        QCOMPARE(b.title, QStringLiteral("信息提示"));
        QCOMPARE(b.text, QStringLiteral("TellbyMorvane软件工作室.\r我们将竭力为用户提供廉价或免费的应用软件或为您定制专用软件!."));
        QVERIFY(!b.text.contains(QLatin1Char('\n')));
        QCOMPARE(b.kind, mv::TrayIcon::BalloonKind::Info);
        QCOMPARE(b.timeoutMs, 10000);
        emit w.TrayIcon1->balloonClicked();
        QCOMPARE(boxes.lines(), QStringList{QStringLiteral("info|Morvane资料系统V1.0|感谢你使用Morvane软件!")});
    }

    void exitWhileModalWindowOpenCancelsIt()
    {
        TfmDocumentList &w = open(false);
        QSignalSpy closed(&w, &TfmDocumentList::closed);
        QDialog dialog(&w);
        bool accepted = false;
        connect(&dialog, &QDialog::accepted, [&] { accepted = true; });
        QTimer::singleShot(0, &w, [&] { w.Exit1->trigger(); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(!accepted);
        QCOMPARE(closed.size(), 1);
    }

    void aboutBoxCloses_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("enter") << "enter";
        QTest::newRow("ok button") << "ok";
        QTest::newRow("close box") << "close";
    }
    void aboutBoxCloses()
    {
        QFETCH(QString, how);
        TfmDocumentList &w = open(false);
        QString seen;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<TAboutBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = box->windowTitle() + '|' + QString::number(box->width()) + 'x' + QString::number(box->height())
                   + '|' + box->Version->text() + '|' + box->OKButton->text()
                   + (box->minimumSize() == box->maximumSize() ? "|fixed" : "|sizable");
            if (how == "enter")
                QTest::keyClick(box, Qt::Key_Return);
            else if (how == "ok")
                QTest::mouseClick(box->OKButton, Qt::LeftButton);
            else
                box->close();
        });
        QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
        QCOMPARE(seen, QStringLiteral("关于|298x213|版本 1.0  |确定|fixed"));
        QVERIFY(!QApplication::activeModalWidget());
    }
};

int main(int argc, char **argv)
{
    mv::Application app(argc, argv);
    TestMainWindow t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_mainwindow.moc"
