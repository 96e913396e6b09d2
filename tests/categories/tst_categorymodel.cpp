#include "categorymodel.h"
#include "testdb.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <random>

namespace {

// The original algorithms, transcribed step by step: a whole-array scan per
// node for the tree and one query per category for the subtree walk. The
// faster versions must give exactly their results.
void oldAddChildCategories(const TNodeInfo &parent, QTreeWidgetItem *parentNode, const TArr &arr, QTreeWidget *tree)
{
    for (int i = int(arr.size()) - 1; i >= 0; --i) {
        if (arr[size_t(i)].ParentId == parent.Id) {
            auto *node = new QTreeWidgetItem(QStringList{arr[size_t(i)].Id + " " + arr[size_t(i)].TypeName});
            if (parentNode)
                parentNode->insertChild(0, node);
            else
                tree->insertTopLevelItem(0, node);
            oldAddChildCategories(arr[size_t(i)], node, arr, tree);
        }
    }
}

QString oldCollectSubtreeIds(TmvlabDm &dm, const QString &id)
{
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql("select * from type where parentid=" + id);
    q.open();
    QString acc;
    while (!q.eof()) {
        const QString child = q.field("id");
        acc += "," + child + oldCollectSubtreeIds(dm, child);
        q.next();
    }
    return acc;
}

// The tree as indented captions, with the expansion and selection state.
QStringList dump(QTreeWidget &tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem *, int)> walk = [&](QTreeWidgetItem *item, int depth) {
        out.append(QString(depth * 2, ' ') + item->text(0) + (item->childCount() && !item->isExpanded() ? " [closed]" : "")
                   + (item->isSelected() ? " [selected]" : ""));
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        walk(tree.topLevelItem(i), 0);
    return out;
}

QStringList insertsFor(const TArr &arr)
{
    QStringList sql;
    for (const TNodeInfo &n : arr)
        sql.append(QStringLiteral("insert into type(id,parentid,typename) values(%1,%2,'%3')").arg(n.Id, n.ParentId, n.TypeName));
    return sql;
}

} // namespace

class TestCategoryModel : public QObject
{
    Q_OBJECT
private slots:
    void splitString_data();
    void splitString();
    void captions_data();
    void captions();
    void treeFollowsRowOrderAndHidesOrphans();
    void emptyTableGivesEmptyTree();
    void subtreeIdsDepthFirstInRowOrder();
    void sameResultsAsTheOriginalOnRandomTables();
};

void TestCategoryModel::splitString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("id and name") << "12 Notes" << " " << QStringList{"12", "Notes"};
    QTest::newRow("two-word name") << "12 My Notes" << " " << QStringList{"12", "My", "Notes"};
    QTest::newRow("empty text") << "" << " " << QStringList{};
    QTest::newRow("no separator") << "abc" << " " << QStringList{"abc"};
    QTest::newRow("doubled") << "a  b" << " " << QStringList{"a", "", "b"};
    QTest::newRow("leading") << " a" << " " << QStringList{"", "a"};
    QTest::newRow("trailing") << "12 " << " " << QStringList{"12", ""};
    QTest::newRow("only separator") << "-" << "-" << QStringList{"", ""};
    QTest::newRow("mode string") << "5-Add-读书" << "-" << QStringList{"5", "Add", "读书"};
}

void TestCategoryModel::splitString()
{
    QFETCH(QString, text);
    QFETCH(QString, sep);
    QFETCH(QStringList, parts);
    QCOMPARE(SplitString(text, sep[0]), parts);
}

void TestCategoryModel::captions_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("plain") << "12" << "Notes" << "12 Notes";
    QTest::newRow("two words") << "12" << "My Notes" << "12 My Notes";
    QTest::newRow("empty name") << "7" << "" << "7 ";
    QTest::newRow("chinese") << "3" << "读书 摘录" << "3 读书 摘录";
}

void TestCategoryModel::captions()
{
    QFETCH(QString, id);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QCOMPARE(NodeCaption({id, "0", name}), caption);
    QCOMPARE(CaptionId(caption), id);
}

void TestCategoryModel::treeFollowsRowOrderAndHidesOrphans()
{
    mvtest::TestDb db(false);
    // Out of id order; 6 names a parent that does not exist, 8 sits below it;
    // two siblings share a name.
    db.exec(insertsFor({{"3", "0", "Three"}, {"1", "0", "One"}, {"2", "3", "Two"}, {"6", "42", "Orphan"},
                        {"8", "6", "Below orphan"}, {"5", "3", "Same"}, {"4", "3", "Same"}, {"9", "2", ""}}));
    TmvlabDm dm(db.path());
    TArr arr;
    LoadCategories(dm, arr);
    QCOMPARE(int(arr.size()), 8);
    QCOMPARE(arr[0].Id, QStringLiteral("3"));
    QTreeWidget tree;
    BuildCategoryTree(&tree, arr);
    QCOMPARE(dump(tree), (QStringList{"3 Three", "  2 Two", "    9 ", "  5 Same", "  4 Same", "1 One"}));
    QVERIFY(!tree.currentItem());
    QVERIFY(tree.selectedItems().isEmpty());
}

void TestCategoryModel::emptyTableGivesEmptyTree()
{
    mvtest::TestDb db(false);
    TmvlabDm dm(db.path());
    TArr arr;
    LoadCategories(dm, arr);
    QVERIFY(arr.empty());
    QTreeWidget tree;
    BuildCategoryTree(&tree, arr);
    QCOMPARE(tree.topLevelItemCount(), 0);
    QCOMPARE(CollectSubtreeIds(dm, "1"), QString());
}

void TestCategoryModel::subtreeIdsDepthFirstInRowOrder()
{
    mvtest::TestDb db(false);
    db.exec(insertsFor({{"4", "0", "a"}, {"5", "4", "b"}, {"6", "4", "c"}, {"9", "5", "d"}, {"7", "0", "e"}}));
    TmvlabDm dm(db.path());
    QCOMPARE(CollectSubtreeIds(dm, "4"), QStringLiteral(",5,9,6"));
    QCOMPARE(SubtreeIdList("4", CollectSubtreeIds(dm, "4")), QStringLiteral("4,5,9,6"));
    QCOMPARE(CollectSubtreeIds(dm, "7"), QString());
    QCOMPARE(SubtreeIdList("7", QString()), QStringLiteral("7"));
}

void TestCategoryModel::sameResultsAsTheOriginalOnRandomTables()
{
    QRandomGenerator rng(20261210);
    for (int round = 0; round < 6; ++round) {
        mvtest::TestDb db(false);
        const int n = 20 + int(rng.bounded(180));
        // Ids shuffled so row order differs from id order; some parents point
        // nowhere (orphans), some names repeat or are empty.
        QList<int> ids;
        for (int i = 1; i <= n; ++i)
            ids.append(i);
        std::shuffle(ids.begin(), ids.end(), std::mt19937(rng.generate()));
        TArr rows;
        for (int i = 0; i < n; ++i) {
            const int r = int(rng.bounded(10));
            const QString parent = r < 2 ? QStringLiteral("0")
                : r < 3 ? QString::number(n + 1 + int(rng.bounded(50)))
                        : QString::number(ids[int(rng.bounded(n))]);
            if (parent == QString::number(ids[i]))
                continue; // a row that names itself would send the original into endless recursion
            rows.push_back({QString::number(ids[i]), parent, r == 4 ? QString() : QStringLiteral("n%1 x").arg(rng.bounded(20))});
        }
        db.exec(insertsFor(rows));
        TmvlabDm dm(db.path());
        TArr arr;
        LoadCategories(dm, arr);
        QTreeWidget ours, old;
        BuildCategoryTree(&ours, arr);
        oldAddChildCategories({"0", "", ""}, nullptr, arr, &old);
        old.expandAll();
        QCOMPARE(dump(ours), dump(old));
        // Random parents also make cycles among the orphans, where the original
        // walk never ends; compare on every category the tree shows.
        QTreeWidgetItemIterator it(&ours);
        int compared = 0;
        for (; *it; ++it, ++compared) {
            const QString id = CaptionId((*it)->text(0));
            QCOMPARE(CollectSubtreeIds(dm, id), oldCollectSubtreeIds(dm, id));
        }
        QVERIFY(compared > 0);
    }
}

QTEST_MAIN(TestCategoryModel)
#include "tst_categorymodel.moc"
