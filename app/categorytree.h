#pragma once

// Categories are stored flat in table TYPE; this is how they are read, how
// they form a forest, and how ids are read back out of captions. Plain data:
// the windows fill their tree views from a CategoryTree.

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

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

// The forest below one category (the whole forest below "0"): every row
// whose parent chain reaches it, siblings in row order. A row met again (a
// cycle, or a row naming itself) is left out.
class CategoryTree
{
public:
    struct Node {
        int row;       // index into the array
        int parent;    // index into nodes(), -1 for the first level
        std::vector<int> children; // indices into nodes()
    };
    explicit CategoryTree(const TArr &arr, const QString &rootId = QStringLiteral("0"));
    const std::vector<Node> &nodes() const { return nodes_; }
    // The first level, in row order.
    const std::vector<int> &roots() const { return roots_; }

private:
    std::vector<Node> nodes_;
    std::vector<int> roots_;
};

// The ids of every category below id, depth first, each preceded by a comma
// (",5,9,6"), or empty when it has none. One query for the whole walk.
QString CollectSubtreeIds(TmvlabDm &dm, const QString &id);
// The same walk over rows already in memory.
QString CollectSubtreeIds(const TArr &arr, const QString &id);
// The category followed by its subtree: "4" or "4,5,9,6".
QString SubtreeIdList(const QString &id, const QString &subtreeIds);
