#include "treestate.h"

#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace mv {

namespace {
// A node's caption is "<id> <name>".
QString idOf(const QTreeWidgetItem *node)
{
    return node->text(0).section(QLatin1Char(' '), 0, 0);
}
} // namespace

TreeState captureTreeState(const QTreeWidget *tree)
{
    TreeState state;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it) {
        if ((*it)->childCount() == 0)
            continue;
        state.knownIds.insert(idOf(*it));
        if ((*it)->isExpanded())
            state.expandedIds.insert(idOf(*it));
    }
    const QList<QTreeWidgetItem *> selected = tree->selectedItems();
    if (!selected.isEmpty())
        state.selectedId = idOf(selected.first());
    return state;
}

void restoreTreeState(QTreeWidget *tree, const TreeState &state)
{
    // Selecting first: making a node current opens the nodes above it.
    if (!state.selectedId.isEmpty()) {
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            if (idOf(*it) == state.selectedId) {
                tree->setCurrentItem(*it);
                break;
            }
        }
    }
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const QString id = idOf(*it);
        if (state.knownIds.contains(id))
            (*it)->setExpanded(state.expandedIds.contains(id));
    }
}

} // namespace mv
