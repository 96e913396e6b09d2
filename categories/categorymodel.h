#pragma once

// Categories are stored flat in table TYPE; this is how they are read, how a
// tree view is built from them, and how ids are read back out of captions.

#include <QString>
#include <QHash>
#include <QStringList>

#include <vector>

class QTreeWidget;
class QTreeWidgetItem;
class TmvlabDm;

struct TNodeInfo {
    QString Id;
    QString ParentId;
    QString TypeName;
};
using TArr = std::vector<TNodeInfo>;

// Splits at every occurrence of the separator: k separators give k + 1
// elements (empty ones included); an empty text gives an empty list.
QStringList SplitString(const QString &text, QChar separator);

// "12 Notes": the id, one blank, the name.
QString NodeCaption(const TNodeInfo &info);
// The category id of a caption: the text before its first blank.
QString CaptionId(const QString &caption);

// All rows of TYPE, in the order the database returns them.
void LoadCategories(TmvlabDm &dm, TArr &arr);

// Parent-to-children lookup over an array, children in array order.
class CategoryChildren
{
public:
    explicit CategoryChildren(const TArr &arr);
    const std::vector<int> &of(const QString &parentId) const;

private:
    std::vector<std::vector<int>> lists_;
    QHash<QString, int> index_;
    std::vector<int> none_;
};

// Adds the whole forest (rows whose parent chain reaches "0") to an emptied
// tree, siblings in row order, every node expanded, no node selected.
void BuildCategoryTree(QTreeWidget *tree, const TArr &arr);
// The recursive step: the children of parent below parentNode (or at top level).
void AddChildCategories(const TNodeInfo &parent, QTreeWidgetItem *parentNode, const TArr &arr,
                        const CategoryChildren &children, QTreeWidget *tree);

// The ids of every category below id, depth first, each preceded by a comma
// (",5,9,6"), or empty when it has none. One query for the whole walk.
QString CollectSubtreeIds(TmvlabDm &dm, const QString &id);
// The same walk over rows already in memory.
QString CollectSubtreeIds(const TArr &arr, const QString &id);
// The category followed by its subtree: "4" or "4,5,9,6".
QString SubtreeIdList(const QString &id, const QString &subtreeIds);
