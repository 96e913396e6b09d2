// Category tree figures: loading and building the tree for 1,000 and
// 10,000 categories, and collecting the ids below the root of a
// 5,000-category subtree. Each figure is printed next to the same work done
// the old way (every node scanning the whole array; one query per category
// for the subtree walk), so the growth of both can be compared.

#include "categorymodel.h"
#include "generator.h"

#include "UnitDM.h"
#include "fbsql.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// The algorithms as they were before, transcribed step by step.
namespace old {

void LoadCategories(TmvlabDm &dm, TArr &arr)
{
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select count(*) from TYPE"));
    q.open();
    arr.assign(size_t(q.field(0).toInt()), TNodeInfo{});
    q.setSql(QStringLiteral("select * from type"));
    q.open();
    for (size_t i = 0; !q.eof(); ++i) {
        arr[i] = {q.field(0), q.field(1), q.field(2)};
        q.next();
    }
}

void AddChildCategories(const TNodeInfo &parent, QTreeWidgetItem *parentNode, const TArr &arr, QTreeWidget *tree)
{
    for (int i = int(arr.size()) - 1; i >= 0; --i) {
        if (arr[size_t(i)].ParentId == parent.Id) {
            auto *node = new QTreeWidgetItem(QStringList{arr[size_t(i)].Id + QLatin1Char(' ') + arr[size_t(i)].TypeName});
            if (parentNode)
                parentNode->insertChild(0, node);
            else
                tree->insertTopLevelItem(0, node);
            old::AddChildCategories(arr[size_t(i)], node, arr, tree);
        }
    }
}

void BuildCategoryTree(QTreeWidget *tree, const TArr &arr)
{
    const TNodeInfo root{QStringLiteral("0"), QString(), QString()};
    old::AddChildCategories(root, nullptr, arr, tree);
    tree->expandAll();
}

QString CollectSubtreeIds(TmvlabDm &dm, const QString &id)
{
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select * from type where parentid=") + id);
    q.open();
    QString acc;
    while (!q.eof()) {
        const QString child = q.field(QStringLiteral("id"));
        acc += QLatin1Char(',') + child;
        acc += old::CollectSubtreeIds(dm, child);
        q.next();
    }
    return acc;
}

} // namespace old

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Captions in pre-order, each indented by its depth, for comparing trees.
QStringList outline(QTreeWidget *tree)
{
    QStringList r;
    std::function<void(QTreeWidgetItem *, int)> walk = [&](QTreeWidgetItem *item, int depth) {
        r.append(QString(depth, QLatin1Char(' ')) + item->text(0) + (item->isExpanded() || !item->childCount() ? "" : " (collapsed)"));
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return r;
}

int maxDepth(QTreeWidget *tree)
{
    int best = 0;
    std::function<void(QTreeWidgetItem *, int)> walk = [&](QTreeWidgetItem *item, int depth) {
        best = std::max(best, depth);
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 1);
    return best;
}

struct TreeTimes {
    double load = 0, build = 0, show = 0; // medians, ms
    double total() const { return load + build; }
    QStringList outline;
    int nodes = 0;
    int depth = 0;
};

using LoadFn = void (*)(TmvlabDm &, TArr &);
using BuildFn = void (*)(QTreeWidget *, const TArr &);

// One load and build on a shown tree, as a window rebuilds it: emptied
// first (not timed), then loaded, built, and laid out for display.
TreeTimes timeTree(const QString &dbPath, LoadFn load, BuildFn build, int runs)
{
    TmvlabDm dm(dbPath);
    QTreeWidget tree;
    tree.setHeaderHidden(true);
    tree.resize(300, 700);
    tree.show();
    TreeTimes r;
    std::vector<double> loads, builds, shows;
    for (int run = -1; run < runs; ++run) { // run -1 opens the connection and warms the cache
        tree.clear();
        QCoreApplication::processEvents();
        TArr arr;
        QElapsedTimer t;
        t.start();
        load(dm, arr);
        const double a = msSince(t);
        t.restart();
        build(&tree, arr);
        const double b = msSince(t);
        t.restart();
        QCoreApplication::processEvents();
        const double c = msSince(t);
        if (run >= 0) {
            loads.push_back(a);
            builds.push_back(b);
            shows.push_back(c);
        }
    }
    r.load = median(loads);
    r.build = median(builds);
    r.show = median(shows);
    r.outline = outline(&tree);
    r.nodes = int(r.outline.size());
    r.depth = maxDepth(&tree);
    return r;
}

struct WalkTimes {
    double ms = 0;
    QString ids;
};

WalkTimes timeWalk(const QString &dbPath, QString (*walk)(TmvlabDm &, const QString &), const QString &id, int runs)
{
    TmvlabDm dm(dbPath);
    WalkTimes r;
    std::vector<double> times;
    for (int run = -1; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        r.ids = walk(dm, id);
        if (run >= 0)
            times.push_back(msSince(t));
    }
    r.ms = median(times);
    return r;
}

QString fmt(double ms)
{
    return QString::number(ms, 'f', ms < 10 ? 2 : 1).rightJustified(10);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    QTemporaryDir dir(QStringLiteral("/tmp/mvbench-categories-XXXXXX"));
    if (!dir.isValid()) {
        out << "cannot create a temporary folder in /tmp\n";
        return 1;
    }

    constexpr quint32 Seed = 1;
    struct Size {
        int categories;
        int subtree;
        QString path;
    };
    std::vector<Size> sizes{{1000, 500, dir.filePath(QStringLiteral("c1000.fdb"))},
                            {10000, 5000, dir.filePath(QStringLiteral("c10000.fdb"))}};
    try {
        for (const Size &s : sizes) {
            const mvbench::GenStats g = mvbench::generate(s.path, s.categories, 0, Seed, s.subtree, 0);
            out << "generated " << g.categories << " categories (subtree of " << s.subtree << " below category 2) in "
                << QString::number(g.seconds, 'f', 2) << " s\n";
        }
        out.flush();

        out << "\nLoad and build the category tree (median ms; 'show' = first layout after building, not in total)\n";
        out << "categories  version       load     build     total      show   nodes  depth\n";
        std::vector<TreeTimes> ours, olds;
        bool same = true;
        for (const Size &s : sizes) {
            const TreeTimes n = timeTree(s.path, &LoadCategories, &BuildCategoryTree, 7);
            const TreeTimes o = timeTree(s.path, &old::LoadCategories, &old::BuildCategoryTree,
                                         s.categories > 2000 ? 3 : 7);
            for (const auto &[name, t] : {std::pair{"ours", &n}, std::pair{"old", &o}})
                out << QString::number(s.categories).rightJustified(10) << "  " << QString(name).leftJustified(8)
                    << fmt(t->load) << fmt(t->build) << fmt(t->total()) << fmt(t->show)
                    << QString::number(t->nodes).rightJustified(8) << QString::number(t->depth).rightJustified(7)
                    << "\n";
            out.flush();
            same = same && n.outline == o.outline;
            ours.push_back(n);
            olds.push_back(o);
        }
        out << "growth 1,000 -> 10,000 (linear = 10): ours " << QString::number(ours[1].total() / ours[0].total(), 'f', 1)
            << ", old " << QString::number(olds[1].total() / olds[0].total(), 'f', 1) << "\n";
        out << "10,000 categories: ours is " << QString::number(olds[1].total() / ours[1].total(), 'f', 0)
            << " times faster\n";
        out << "trees identical (captions, order, expansion): " << (same ? "yes" : "NO") << "\n";
        out.flush();

        const Size &big = sizes[1];
        out << "\nCollectSubtreeIds below category 2 (" << big.subtree << "-category subtree in " << big.categories
            << " categories), median ms\n";
        const WalkTimes n = timeWalk(big.path, &CollectSubtreeIds, QStringLiteral("2"), 7);
        out << "  ours " << fmt(n.ms) << "\n";
        out.flush();
        const WalkTimes o = timeWalk(big.path, &old::CollectSubtreeIds, QStringLiteral("2"), 3);
        out << "  old  " << fmt(o.ms) << "   (one query per category)\n";
        out << "  ours is " << QString::number(o.ms / n.ms, 'f', 0) << " times faster\n";
        const int found = int(n.ids.count(QLatin1Char(',')));
        out << "  ids found: " << found << " (expected " << big.subtree - 1 << "), same text as old: "
            << (n.ids == o.ids ? "yes" : "NO") << "\n";
        return same && n.ids == o.ids && found == big.subtree - 1 ? 0 : 1;
    } catch (const mv::db::DbError &e) {
        out << "database error: " << e.message() << "\n";
        return 1;
    }
}
