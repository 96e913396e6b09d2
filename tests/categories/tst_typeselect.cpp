#include "UnitTypeSelect.h"
#include "dialogs.h"
#include "gradientpanel.h"
#include "testdb.h"
#include "treeview.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItemIterator>

using mvtest::TestDb;

class TestTypeSelect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0")); }
    void init();
    void cleanup();
    void windowAndControls();
    void treeAsTheMainWindowBuildsIt();
    void preselection_data();
    void preselection();
    void preselectionTakesFirstNodeInTreeOrder();
    void preselectedNodeIsScrolledIntoView();
    void rightClickSelectsAndOkReturnsIt();
    void onlyTheButtonCloses_data();
    void onlyTheButtonCloses();
    void modalRoundTrip_data();
    void modalRoundTrip();
    void unreadableDatabaseOpensEmpty();

private:
    std::unique_ptr<TestDb> db_;
};

namespace {

// "depth|caption" for every node in tree order.
QStringList treeLines(QTreeWidget *tree)
{
    QStringList out;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++depth;
        out << QString::number(depth) + QLatin1Char('|') + (*it)->text(0);
    }
    return out;
}

QTreeWidgetItem *nodeWithCaption(QTreeWidget *tree, const QString &caption)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0) == caption)
            return *it;
    return nullptr;
}

void rightClick(QTreeWidget *tree, QTreeWidgetItem *item)
{
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(item).center());
}

} // namespace

void TestTypeSelect::init()
{
    // Row 1 "我的资料" comes with the schema. 7 names a parent that does not
    // exist, so it and 8 below it stay out of the tree.
    db_ = std::make_unique<TestDb>();
    db_->exec({"insert into type(id,parentid,typename) values(3,1,'Books')",
               "insert into type(id,parentid,typename) values(12,1,'My Notes')",
               "insert into type(id,parentid,typename) values(5,3,'Novels')",
               "insert into type(id,parentid,typename) values(2,0,'Top two')",
               "insert into type(id,parentid,typename) values(7,99,'Orphan')",
               "insert into type(id,parentid,typename) values(8,7,'Under orphan')",
               "insert into type(id,parentid,typename) values(4,0,'')"});
    mvlabDm = new TmvlabDm(db_->path());
}

void TestTypeSelect::cleanup()
{
    delete mvlabDm;
    mvlabDm = nullptr;
    db_.reset();
}

void TestTypeSelect::windowAndControls()
{
    TfmTypeSelect d(nullptr, QString());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.windowTitle(), QStringLiteral("文档类别选择  TellbyMorvane软件工作室"));
    QCOMPARE(d.size(), QSize(356, 342));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    const Qt::WindowFlags flags = d.windowFlags();
    QVERIFY(!(flags & Qt::WindowCloseButtonHint));
    QVERIFY(!(flags & Qt::WindowSystemMenuHint));
    QVERIFY(!(flags & Qt::WindowMinMaxButtonsHint));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));

    auto *banner = d.findChild<mv::GradientPanel *>("RzPanel1");
    QCOMPARE(banner->geometry(), QRect(0, 0, 356, 57));
    QCOMPARE(banner->gradientStart(), QColor("#235E8D"));
    QCOMPARE(banner->gradientStop(), QColor("#62A4D9"));
    QCOMPARE(d.findChild<QLabel *>("Image1")->geometry(), QRect(0, 0, 283, 57));
    auto *strip = d.findChild<mv::GradientPanel *>("RzPanel2");
    QCOMPARE(strip->geometry(), QRect(0, 57, 356, 24));
    QCOMPARE(strip->caption(), QStringLiteral("    文档类别"));
    QCOMPARE(d.findChild<QWidget *>("Shape1")->geometry(), QRect(4, 85, 345, 217));
    auto *tree = d.findChild<mv::TreeView *>("RzTreeView1");
    QCOMPARE(tree->geometry(), QRect(9, 88, 335, 211));
    QCOMPARE(tree->indentation(), 19);
    QCOMPARE(tree->palette().color(QPalette::Base), QColor("#F2F8FB"));
    auto *ok = d.findChild<QPushButton *>("Button1");
    QCOMPARE(ok->text(), QStringLiteral("确定 &E"));
    QCOMPARE(ok->geometry(), QRect(259, 310, 75, 25));

    // Captions cannot be edited in place.
    QTreeWidgetItem *books = nodeWithCaption(tree, "3 Books");
    tree->setCurrentItem(books);
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F2);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(books).center());
    QVERIFY(tree->viewport()->findChildren<QLineEdit *>().isEmpty());
    QCOMPARE(books->text(0), QStringLiteral("3 Books"));
}

void TestTypeSelect::treeAsTheMainWindowBuildsIt()
{
    TfmTypeSelect d(nullptr, QString());
    d.show();
    QCOMPARE(treeLines(d.RzTreeView1),
             QStringList({"0|1 我的资料", "1|3 Books", "2|5 Novels", "1|12 My Notes", "0|2 Top two", "0|4 "}));
    for (QTreeWidgetItemIterator it(d.RzTreeView1); *it; ++it)
        QVERIFY2((*it)->childCount() == 0 || (*it)->isExpanded(), qPrintable((*it)->text(0)));
    QVERIFY(!d.selectedNode());
    QCOMPARE(d.selectedCaption(), QString());
}

void TestTypeSelect::preselection_data()
{
    QTest::addColumn<QString>("preselect");
    QTest::addColumn<QString>("selected"); // empty: no node selected
    QTest::newRow("top level") << "1 我的资料" << "1 我的资料";
    QTest::newRow("nested two deep") << "5 Novels" << "5 Novels";
    QTest::newRow("name with a blank") << "12 My Notes" << "12 My Notes";
    QTest::newRow("empty name") << "4 " << "4 ";
    QTest::newRow("empty caption") << "" << "";
    QTest::newRow("first word of the name only") << "12 My" << "";
    QTest::newRow("other case") << "3 books" << "";
    QTest::newRow("trailing blank") << "3 Books " << "";
    QTest::newRow("id alone") << "3" << "";
    QTest::newRow("deleted category") << "40 Books" << "";
    QTest::newRow("category outside the tree") << "7 Orphan" << "";
}

void TestTypeSelect::preselection()
{
    QFETCH(QString, preselect);
    QFETCH(QString, selected);
    TfmTypeSelect d(nullptr, preselect);
    QCOMPARE(d.PreselectCaption, preselect);
    QVERIFY(!d.selectedNode()); // not before the window shows
    d.show();
    QCOMPARE(d.selectedCaption(), selected);
    QCOMPARE(d.RzTreeView1->selectedItems().size(), selected.isEmpty() ? 0 : 1);
    if (!selected.isEmpty())
        QCOMPARE(d.RzTreeView1->currentItem(), d.selectedNode());
}

void TestTypeSelect::preselectionTakesFirstNodeInTreeOrder()
{
    // Ids are unique in the table, so two equal captions only come about in
    // the tree itself: a copy of the top-level "2 Top two" deep under the
    // first top-level node comes earlier in tree order than the original.
    TfmTypeSelect d(nullptr, "2 Top two");
    auto *copy = new QTreeWidgetItem(nodeWithCaption(d.RzTreeView1, "5 Novels"), QStringList{"2 Top two"});
    d.show();
    QCOMPARE(d.selectedNode(), copy);

    // It is done again on every showing.
    d.hide();
    d.RzTreeView1->clearSelection();
    d.show();
    QCOMPARE(d.selectedNode(), copy);
}

void TestTypeSelect::preselectedNodeIsScrolledIntoView()
{
    QStringList rows;
    for (int id = 100; id < 140; ++id)
        rows << QStringLiteral("insert into type(id,parentid,typename) values(%1,2,'Item %1')").arg(id);
    db_->exec(rows);
    delete mvlabDm;
    mvlabDm = new TmvlabDm(db_->path());

    TfmTypeSelect d(nullptr, "139 Item 139");
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTreeWidgetItem *node = d.selectedNode();
    QVERIFY(node);
    QCOMPARE(node->text(0), QStringLiteral("139 Item 139"));
    QVERIFY(d.RzTreeView1->viewport()->rect().contains(d.RzTreeView1->visualItemRect(node)));
}

void TestTypeSelect::rightClickSelectsAndOkReturnsIt()
{
    TfmTypeSelect d(nullptr, "3 Books");
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTreeWidgetItem *notes = nodeWithCaption(d.RzTreeView1, "12 My Notes");
    rightClick(d.RzTreeView1, notes);
    QCOMPARE(d.selectedNode(), notes);
    QCOMPARE(d.RzTreeView1->selectedItems().size(), 1);

    // A right click on empty space below the nodes keeps the selection.
    QTest::mouseClick(d.RzTreeView1->viewport(), Qt::RightButton, {},
                      QPoint(20, d.RzTreeView1->viewport()->height() - 3));
    QCOMPARE(d.selectedNode(), notes);

    QTest::mouseClick(d.Button1, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.selectedCaption(), QStringLiteral("12 My Notes"));
}

void TestTypeSelect::onlyTheButtonCloses_data()
{
    QTest::addColumn<int>("attempt");
    QTest::newRow("close request") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("Enter in the tree") << 2;
    QTest::newRow("reject") << 3;
}

void TestTypeSelect::onlyTheButtonCloses()
{
    QFETCH(int, attempt);
    TfmTypeSelect d(nullptr, "3 Books");
    d.show();
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    d.RzTreeView1->setFocus();
    switch (attempt) {
    case 0: QVERIFY(!d.close()); break;
    case 1: QTest::keyClick(d.RzTreeView1, Qt::Key_Escape); break;
    case 2: QTest::keyClick(d.RzTreeView1, Qt::Key_Return); break;
    case 3: d.reject(); break;
    }
    QVERIFY(d.isVisible());
    QCOMPARE(d.selectedCaption(), QStringLiteral("3 Books"));

    // Alt+E is the button's accelerator.
    QTest::keyClick(d.RzTreeView1, Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(!d.isVisible()); // the button animates its click
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void TestTypeSelect::modalRoundTrip_data()
{
    QTest::addColumn<QString>("preselect");
    QTest::addColumn<QString>("rightClickOn"); // empty: nothing
    QTest::addColumn<QString>("result");
    QTest::newRow("keeps the preselection") << "3 Books" << "" << "3 Books";
    QTest::newRow("user picks another") << "3 Books" << "5 Novels" << "5 Novels";
    QTest::newRow("user picks after no match") << "3 Book" << "2 Top two" << "2 Top two";
    QTest::newRow("nothing selected") << "3 Book" << "" << "";
}

void TestTypeSelect::modalRoundTrip()
{
    QFETCH(QString, preselect);
    QFETCH(QString, rightClickOn);
    QFETCH(QString, result);
    QWidget owner;
    owner.show();
    QPointer<TfmTypeSelect> seen;
    bool ownedByOwner = false;
    QTimer::singleShot(0, this, [&] {
        seen = qobject_cast<TfmTypeSelect *>(QApplication::activeModalWidget());
        if (!seen)
            return; // the watchdog ends it
        ownedByOwner = seen->parentWidget() == &owner;
        if (!rightClickOn.isEmpty())
            rightClick(seen->RzTreeView1, nodeWithCaption(seen->RzTreeView1, rightClickOn));
        QTest::mouseClick(seen->Button1, Qt::LeftButton);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            d->done(0);
    });
    watchdog.start(5000);
    const QString caption = ShowTypeSelectDialog(&owner, preselect);
    QVERIFY(watchdog.isActive());
    QCOMPARE(caption, result);
    QVERIFY(ownedByOwner);
    QVERIFY(seen.isNull()); // freed
    QVERIFY(owner.findChildren<TfmTypeSelect *>().isEmpty());
}

void TestTypeSelect::unreadableDatabaseOpensEmpty()
{
    delete mvlabDm;
    mvlabDm = new TmvlabDm(db_->dir() + "/missing.fdb");
    mv::DialogRecorder boxes;
    TfmTypeSelect d(nullptr, "3 Books");
    d.show();
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().first().kind, mv::Dialogs::Kind::Error);
    QCOMPARE(boxes.boxes().first().caption, QStringLiteral("Morvane资料系统V1.0"));
    QVERIFY(boxes.boxes().first().text.contains("missing.fdb"));
    QCOMPARE(d.RzTreeView1->topLevelItemCount(), 0);
    QCOMPARE(d.selectedCaption(), QString());
    QTest::mouseClick(d.Button1, Qt::LeftButton);
    QVERIFY(!d.isVisible());
}

QTEST_MAIN(TestTypeSelect)
#include "tst_typeselect.moc"
