#include "categorymodel.h"

#include <QTreeWidget>

void AddCategoryTree(const CategoryTree &forest, const TArr &arr, QTreeWidgetItem *parentNode, QTreeWidget *tree)
{
    const std::vector<CategoryTree::Node> &nodes = forest.nodes();
    std::vector<QTreeWidgetItem *> items(nodes.size());
    for (size_t n = 0; n < nodes.size(); ++n)
        items[n] = new QTreeWidgetItem(QStringList{NodeCaption(arr[size_t(nodes[n].row)])});
    // Everything below the first level is built while it is not yet in the
    // tree, where adding a node costs the view nothing; the first level
    // goes in last, in one step.
    for (size_t n = 0; n < nodes.size(); ++n) {
        if (nodes[n].children.empty())
            continue;
        QList<QTreeWidgetItem *> children;
        children.reserve(qsizetype(nodes[n].children.size()));
        for (int c : nodes[n].children)
            children.append(items[size_t(c)]);
        items[n]->addChildren(children);
    }
    QList<QTreeWidgetItem *> firstLevel;
    for (int r : forest.roots())
        firstLevel.append(items[size_t(r)]);
    if (parentNode)
        parentNode->addChildren(firstLevel);
    else
        tree->addTopLevelItems(firstLevel);
}

void BuildCategoryTree(QTreeWidget *tree, const TArr &arr)
{
    tree->setUpdatesEnabled(false);
    AddCategoryTree(CategoryTree(arr), arr, nullptr, tree);
    tree->expandAll();
    tree->clearSelection();
    tree->setCurrentItem(nullptr);
    tree->setUpdatesEnabled(true);
}
