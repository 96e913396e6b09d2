#pragma once

// A tree view filled from the categories (see categorytree.h for the data).

#include "categorytree.h"

class QTreeWidget;
class QTreeWidgetItem;

// Adds the whole forest (rows whose parent chain reaches "0") to an emptied
// tree, siblings in row order, every node expanded, no node selected.
void BuildCategoryTree(QTreeWidget *tree, const TArr &arr);
// A forest's nodes under parentNode (or at top level).
void AddCategoryTree(const CategoryTree &forest, const TArr &arr, QTreeWidgetItem *parentNode, QTreeWidget *tree);
