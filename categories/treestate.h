#pragma once

// What the user made of the category tree (which nodes are open, which one
// is selected), by category id, so that a tree built again from the
// database (another machine changed the categories) looks as it did
// wherever its nodes still exist.

#include <QSet>
#include <QString>

class QTreeWidget;

namespace mv {

struct TreeState {
    QSet<QString> knownIds; // every node there was with nodes below it
    QSet<QString> expandedIds;
    QString selectedId; // empty: none
};

TreeState captureTreeState(const QTreeWidget *tree);
// Opens the nodes that were open, closes those that were closed (of those
// that had nodes below them then), and
// selects the one that was selected, where they exist; new nodes stay as
// the tree was built.
void restoreTreeState(QTreeWidget *tree, const TreeState &state);

} // namespace mv
