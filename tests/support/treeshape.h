#pragma once

// The category tree as the user sees it, for comparing whole shapes.

#include <QStringList>
#include <QTreeWidget>

#include <functional>

namespace mvtest {

// Indented captions, " (closed)" after a closed node that has children.
inline QStringList shape(QTreeWidget *tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem *, int)> walk = [&](QTreeWidgetItem *item, int depth) {
        out.append(QString(depth * 2, QLatin1Char(' ')) + item->text(0) +
                   (item->isExpanded() || !item->childCount() ? "" : " (closed)"));
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

inline QTreeWidgetItem *node(QTreeWidget *tree, const QString &caption)
{
    const auto found = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

} // namespace mvtest
