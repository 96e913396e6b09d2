// The category menu's commands end to end: the main window, the dialogs they
// open and what lands in the database file.

#include "UnitAbort.h"
#include "UnitBianMing.h"
#include "UnitDM.h"
#include "UnitDcouentList.h"
#include "UnitTemp.h"
#include "UnitType.h"
#include "UnitTypeSelect.h"
#include "dialogs.h"
#include "documentquery.h"
#include "editordriver.h"
#include "mvapplication.h"
#include "searchindexer.h"
#include "testdb.h"
#include "treeview.h"
#include "webwindows.h"
#include "windowcommands.h"

#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// The notification-area icon's window as the toolkit makes it under X11: a
// frameless top-level window of its own, owned by nothing, that opens the
// icon's menu at the pointer on a right click.
class IconWindow : public QWidget
{
public:
    explicit IconWindow(mv::TrayIcon *icon)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint), icon_(icon)
    {
        resize(22, 22);
    }

protected:
    void mousePressEvent(QMouseEvent *e) override
    {
        if (e->button() == Qt::RightButton && icon_->popupMenu())
            icon_->popupMenu()->popup(e->globalPosition().toPoint());
    }

private:
    mv::TrayIcon *icon_;
};

} // namespace

class TestWindowCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<mvtest::TestDb> db_;
    std::unique_ptr<TfmDocumentList> w_;

    TfmDocumentList &open()
    {
        db_ = std::make_unique<mvtest::TestDb>(false);
        // 4 > 5 > 6 > 8 (three levels below 4), 9 beside; 10 elsewhere
        db_->exec({"insert into type values (4, 0, 'Top')", "insert into type values (5, 4, 'A')",
                   "insert into type values (6, 5, 'B')", "insert into type values (8, 6, 'C')",
                   "insert into type values (9, 4, 'D')", "insert into type values (10, 0, 'Other')",
                   "insert into documents(id,title,typeid) values (1, 'in top', 4)",
                   "insert into documents(id,title,typeid) values (2, 'deep', 8)",
                   "insert into documents(id,title,typeid) values (3, 'other', 10)"});
        mvlabDm = new TmvlabDm(db_->path());
        w_ = std::make_unique<TfmDocumentList>(mvlabDm);
        ConnectWindowCommands(w_.get(), [] {
            static mv::WebWindowsImpl windows;
            return &windows;
        });
        w_->show();
        return *w_;
    }

    void rightClick(TfmDocumentList &w, const QString &caption)
    {
        QTreeWidgetItem *item = w.RzTreeView1->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive).value(0);
        QVERIFY(item);
        w.RzTreeView1MouseDown(Qt::RightButton, w.RzTreeView1->visualItemRect(item).center());
        QCOMPARE(w.SelectedNode(), item);
    }

    QStringList captions(TfmDocumentList &w)
    {
        QStringList out;
        for (QTreeWidgetItemIterator it(w.RzTreeView1); *it; ++it)
            out.append((*it)->text(0));
        return out;
    }

private slots:
    void initTestCase() { mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0")); }
    void cleanup()
    {
        w_.reset();
        delete mvlabDm;
        mvlabDm = nullptr;
        db_.reset();
    }

    void deleteSubtree_data()
    {
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<QStringList>("documents");
        const QString q1 = "question|删除提示|确定要删除该项吗?", q2 = "question|删除提示|确定要删除该级下所属文章吗?",
                      done = "info|Morvane资料系统V1.0|已经成功删除所选类别!";
        QTest::newRow("cancel at first") << QList<bool>{false} << QStringList{q1}
                                         << QStringList{"4", "5", "6", "8", "9", "10"} << QStringList{"1", "2", "3"};
        QTest::newRow("ok, keep documents") << QList<bool>{true, false} << QStringList{q1, q2, done}
                                            << QStringList{"4", "9", "10"} << QStringList{"1", "2", "3"};
        QTest::newRow("ok, documents too") << QList<bool>{true, true} << QStringList{q1, q2, done}
                                           << QStringList{"4", "9", "10"} << QStringList{"1", "3"};
    }
    void deleteSubtree()
    {
        QFETCH(QList<bool>, answers);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, types);
        QFETCH(QStringList, documents);
        TfmDocumentList &w = open();
        rightClick(w, "5 A");
        mv::DialogRecorder rec;
        for (bool a : answers)
            rec.answerNext(a);
        w.N3->trigger();
        QCOMPARE(rec.lines(), boxes);
        QCOMPARE(db_->rows("select id from type order by id"), types);
        QCOMPARE(db_->rows("select id from documents order by id"), documents);
        // The node goes without a reload; nothing else changes in the tree.
        const bool deleted = types.size() == 3;
        const QStringList expected = deleted ? QStringList{"4 Top", "9 D", "10 Other"}
                                             : QStringList{"4 Top", "5 A", "6 B", "8 C", "9 D", "10 Other"};
        QCOMPARE(captions(w), expected);
    }

    void failedDeletionKeepsEverything()
    {
        TfmDocumentList &w = open();
        rightClick(w, "5 A");
        mv::DialogRecorder rec;
        mvlabDm->IBDatabaseMV.failOnStatement(3); // subtree, documents, then the categories fail
        w.N3->trigger();
        QCOMPARE(rec.lines().size(), 3);
        QVERIFY(rec.lines().last().startsWith("error|"));
        QCOMPARE(db_->rows("select count(*) from type"), QStringList{"6"});
        QCOMPARE(db_->rows("select count(*) from documents"), QStringList{"3"});
        QCOMPARE(captions(w).size(), 6);
    }

    void addAndRenameThroughTheDialog_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("prefilled");
        QTest::addColumn<QStringList>("tree");
        // Siblings follow the table's row order: the new row takes the slot
        // that the fixture's deleted first category left free, so it comes first.
        QTest::newRow("add below") << "N1" << "新类 It's" << ""
                                   << QStringList{"4 Top", "5 A", "6 B", "11 新类 It's", "8 C", "9 D", "10 Other"};
        QTest::newRow("rename") << "N2" << "Renamed" << "B"
                                << QStringList{"4 Top", "5 A", "6 Renamed", "8 C", "9 D", "10 Other"};
        QTest::newRow("closed without a name") << "N1" << "" << ""
                                               << QStringList{"4 Top", "5 A", "6 B", "8 C", "9 D", "10 Other"};
    }
    void addAndRenameThroughTheDialog()
    {
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QString, prefilled);
        QFETCH(QStringList, tree);
        TfmDocumentList &w = open();
        rightClick(w, "6 B");
        QString seen;
        QTimer::singleShot(0, [&] {
            auto *d = qobject_cast<TfmTypeEdit *>(QApplication::activeModalWidget());
            QVERIFY(d);
            seen = d->Edit2->text();
            d->Edit2->setText(name);
            QTest::mouseClick(d->Button1, Qt::LeftButton);
        });
        mv::DialogRecorder rec;
        (command == "N1" ? w.N1 : w.N2)->trigger();
        QCOMPARE(seen, prefilled);
        QVERIFY(rec.lines().isEmpty());
        QCOMPARE(captions(w), tree);
        QVERIFY(!w.SelectedNode());
        QCOMPARE(w.SelectedTypeId, QStringLiteral("6"));
    }

    void editorOpensFromMenuAndList()
    {
        TfmDocumentList &w = open();
        rightClick(w, "4 Top");
        QStringList seen;
        auto peek = [&] {
            auto *e = qobject_cast<TfmTemp *>(QApplication::activeModalWidget());
            QVERIFY(e);
            seen << e->SaveMode + "|" + e->DocumentId + "|" + e->edType->text() + "|" + e->Edit1->text();
            e->EndAsCancelled();
        };
        QTimer::singleShot(0, peek);
        w.N7->trigger();
        w.RzTreeView1Click(); // lists category 4's documents
        QCOMPARE(w.CurrentDocumentId().isEmpty(), false);
        QTimer::singleShot(0, peek);
        w.DBGridEh1DblClick();
        QCOMPARE(seen, (QStringList{"Add||4|", "Edit|2|8|deep"}));
    }

    // What the editor saves and deletes is what the index-backed search
    // finds next, without waiting for anything.
    void editorChangesReachTheSearchIndex()
    {
        TfmDocumentList &w = open();
        QSignalSpy ready(w.SearchIndexer1, &SearchIndexer::ready);
        w.SearchIndexer1->start();
        QVERIFY(ready.wait(30000));
        auto search = [&](const QString &text) {
            w.EdFind->clear(); // the same text again would be no change
            w.EdFind->setText(text);
            [&] { QVERIFY(w.IBQueryDocument->answeredFromIndex()); }();
            QStringList titles;
            for (int r = 0; r < w.IBQueryDocument->rowCount(); ++r)
                titles << w.IBQueryDocument->row(r).title;
            return titles;
        };
        mv::DialogRecorder boxes;
        boxes.answerNext(true); // the delete question
        {
            TfmTemp ed(&w, QStringLiteral("4-Add-Top"));
            ed.Edit1->setText(QStringLiteral("新文档"));
            mvtest::typeBody(ed, QStringLiteral("<p>独一无二zq</p>"));
            ed.sbSave->click();
            QCOMPARE(search(QStringLiteral("独一无二zq")), QStringList{QStringLiteral("新文档")});
            ed.sbEdit->click();
            ed.Edit1->setText(QStringLiteral("改过的"));
            mvtest::typeBody(ed, QStringLiteral("<p>换了zq</p>"));
            ed.sbSave->click();
            QCOMPARE(search(QStringLiteral("独一无二zq")), QStringList());
            QCOMPARE(search(QStringLiteral("换了zq")), QStringList{QStringLiteral("改过的")});
            ed.sbDel->click();
            QCOMPARE(search(QStringLiteral("换了zq")), QStringList());
        }
        QCOMPARE(boxes.lines(), (QStringList{mvtest::Added, mvtest::Changed, mvtest::DeleteQuestion, mvtest::Deleted}));
    }

    // The icon and its menu keep answering while a modal window is open:
    // "退出 &X" chosen from the menu, as the user would, ends the window as
    // cancelled and then the program.
    void trayMenuAnswersWhileModalWindowOpen_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("window"); // the modal window's class
        QTest::newRow("category dialog") << "N2" << "TfmTypeEdit";
        QTest::newRow("editor") << "N7" << "TfmTemp";
        QTest::newRow("about box") << "about" << "TAboutBox";
        QTest::newRow("lookup window") << "N8" << "TfmBianMing";
    }
    void trayMenuAnswersWhileModalWindowOpen()
    {
        QFETCH(QString, command);
        QFETCH(QString, window);
        TfmDocumentList &w = open();
        rightClick(w, "6 B");
        IconWindow icon(w.TrayIcon1);
        icon.show();
        QVERIFY(QTest::qWaitForWindowExposed(&icon));
        QSignalSpy closed(&w, &TfmDocumentList::closed);
        QString modalSeen;
        bool menuOpened = false;
        bool mainBlocked = false;
        QTimer::singleShot(0, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            QVERIFY(modal);
            modalSeen = QString::fromLatin1(modal->metaObject()->className());
            // Clicks go through the windowing system's path, where a window
            // blocked by a modal one drops them. The main window takes no
            // input while the window is open: a click on the magnifier would
            // show the search box.
            QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {},
                              w.SpeedButton1->mapTo(&w, w.SpeedButton1->rect().center()));
            mainBlocked = !w.EdFind->isVisible();
            QTest::mouseClick(icon.windowHandle(), Qt::RightButton, {}, QPoint(10, 10));
            QMenu *menu = w.TrayIcon1->popupMenu();
            menuOpened = menu->isVisible();
            if (!menuOpened) {
                // Blocked: end the window so that the test fails instead of hanging.
                static_cast<QDialog *>(modal)->done(QDialog::Rejected);
                return;
            }
            QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {}, menu->actionGeometry(w.Exit1).center());
        });
        mv::DialogRecorder rec;
        if (command == "about")
            QTest::mouseClick(w.SpeedButton2, Qt::LeftButton);
        else
            (command == "N2" ? w.N2 : command == "N7" ? w.N7 : w.N8)->trigger();
        QCOMPARE(modalSeen, window);
        QVERIFY(mainBlocked);
        QVERIFY(menuOpened);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(ExitRequested);
        QCOMPARE(closed.count(), 1);
        QVERIFY(rec.lines().isEmpty());
        QCOMPARE(db_->rows("select typename from type where id=6"), QStringList{"B"});
        ExitRequested = false;
    }

    void trayExitEndsAnOpenEditor()
    {
        TfmDocumentList &w = open();
        rightClick(w, "4 Top");
        QSignalSpy closed(&w, &TfmDocumentList::closed);
        QTimer::singleShot(0, [&] {
            QVERIFY(qobject_cast<TfmTemp *>(QApplication::activeModalWidget()));
            w.Exit1Click();
        });
        w.N7->trigger();
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(ExitRequested);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(db_->rows("select count(*) from documents"), QStringList{"3"});
        ExitRequested = false;
    }

    // Each window's stated outer size, less the frame of the desktop the
    // sizes were taken on, is its client area; two are stated as client areas.
    void windowsTakeTheirStatedSizes_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QSize>("client");
        QTest::newRow("main window, outer 781 x 568") << "fmDocumentList" << QSize(773, 537);
        QTest::newRow("editor, outer 839 x 623") << "fmTemp" << QSize(831, 592);
        QTest::newRow("category dialog, outer 357 x 296") << "fmTypeEdit" << QSize(349, 265);
        QTest::newRow("lookup window, outer 732 x 534") << "fmBianMing" << QSize(724, 503);
        QTest::newRow("category picker, client 356 x 342") << "fmTypeSelect" << QSize(356, 342);
        QTest::newRow("about box, client 298 x 213") << "AboutBox" << QSize(298, 213);
    }
    void windowsTakeTheirStatedSizes()
    {
        QFETCH(QString, window);
        QFETCH(QSize, client);
        TfmDocumentList &w = open();
        std::unique_ptr<QWidget> made;
        if (window == "fmTemp")
            made = std::make_unique<TfmTemp>(&w, QStringLiteral("4-Add-Top"));
        else if (window == "fmTypeEdit")
            made = std::make_unique<TfmTypeEdit>(&w, QStringLiteral("Add-4-4 Top"));
        else if (window == "fmBianMing")
            made = std::make_unique<TfmBianMing>(&w);
        else if (window == "fmTypeSelect")
            made = std::make_unique<TfmTypeSelect>(&w, QString());
        else if (window == "AboutBox")
            made = std::make_unique<TAboutBox>(nullptr);
        QWidget *shown = made ? made.get() : &w;
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        QCOMPARE(shown->objectName(), window);
        QCOMPARE(shown->size(), client);
    }

    // With unsaved work in the editor the tray's exit asks: cancel keeps
    // the editor and the program; save stores it and then exits.
    void trayExitAsksForUnsavedWork()
    {
        TfmDocumentList &w = open();
        rightClick(w, "4 Top");
        QSignalSpy closed(&w, &TfmDocumentList::closed);
        mv::DialogRecorder boxes;
        boxes.answerNext(mv::Dialogs::Cancel);
        boxes.answerNext(mv::Dialogs::Ok);
        bool stayed = false;
        QTimer::singleShot(0, [&] {
            auto *e = qobject_cast<TfmTemp *>(QApplication::activeModalWidget());
            QVERIFY(e);
            e->Edit1->setText(QStringLiteral("typed before exit"));
            w.Exit1Click();
            stayed = QApplication::activeModalWidget() == e && !ExitRequested && closed.isEmpty();
            w.Exit1Click();
        });
        w.N7->trigger();
        QVERIFY(stayed);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(closed.count(), 1);
        QCOMPARE(boxes.lines(), (QStringList{mvtest::SaveQuestion, mvtest::SaveQuestion, mvtest::Added}));
        QCOMPARE(db_->rows("select title, typeid from documents where id=4"), QStringList{"typed before exit|4"});
        ExitRequested = false;
    }
};

int main(int argc, char **argv)
{
    mv::Application app(argc, argv);
    TestWindowCommands t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_windowcommands.moc"
