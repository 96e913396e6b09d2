#include "categorytree.h"

#include "UnitDM.h"

#include <QSet>

QStringList SplitString(const QString &text, QChar separator)
{
    QStringList list;
    if (text.isEmpty())
        return list;
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, start);
        if (at < 0)
            break;
        list.append(text.mid(start, at - start));
        start = at + 1;
    }
    list.append(text.mid(start));
    return list;
}

QString NodeCaption(const TNodeInfo &info)
{
    return info.Id + QLatin1Char(' ') + info.TypeName;
}

QString CaptionId(const QString &caption)
{
    const QStringList parts = SplitString(caption, QLatin1Char(' '));
    return parts.isEmpty() ? QString() : parts.first();
}

void LoadCategories(TmvlabDm &dm, TArr &arr)
{
    arr.clear();
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select * from type"));
    q.open();
    while (!q.eof()) {
        arr.push_back({q.field(0), q.field(1), q.field(2)});
        q.next();
    }
}

CategoryChildren::CategoryChildren(const TArr &arr)
{
    index_.reserve(qsizetype(arr.size()));
    for (size_t i = 0; i < arr.size(); ++i) {
        auto it = index_.find(arr[i].ParentId);
        if (it == index_.end()) {
            it = index_.insert(arr[i].ParentId, int(lists_.size()));
            lists_.emplace_back();
        }
        lists_[size_t(*it)].push_back(int(i));
    }
}

const std::vector<int> &CategoryChildren::of(const QString &parentId) const
{
    const auto it = index_.constFind(parentId);
    return it == index_.cend() ? none_ : lists_[size_t(*it)];
}

CategoryTree::CategoryTree(const TArr &arr, const QString &rootId)
{
    const CategoryChildren children(arr);
    // Explicit stack: a deep chain of categories must not exhaust the call stack.
    struct Frame {
        QString id;
        int node;
    };
    std::vector<Frame> stack{{rootId, -1}};
    QSet<QString> seen{rootId};
    nodes_.reserve(arr.size());
    while (!stack.empty()) {
        const Frame f = stack.back();
        stack.pop_back();
        for (int i : children.of(f.id)) {
            const TNodeInfo &child = arr[size_t(i)];
            if (seen.contains(child.Id))
                continue; // a row naming itself (or id 0) would loop forever
            seen.insert(child.Id);
            const int n = int(nodes_.size());
            nodes_.push_back({i, f.node, {}});
            if (f.node < 0)
                roots_.push_back(n);
            else
                nodes_[size_t(f.node)].children.push_back(n);
            stack.push_back({child.Id, n});
        }
    }
}

QString CollectSubtreeIds(const TArr &arr, const QString &id)
{
    const CategoryChildren children(arr);
    QString acc;
    // Depth first, each child followed by everything below it.
    std::vector<std::pair<const std::vector<int> *, size_t>> stack;
    stack.push_back({&children.of(id), 0});
    QSet<QString> seen{id};
    while (!stack.empty()) {
        auto &[list, pos] = stack.back();
        if (pos >= list->size()) {
            stack.pop_back();
            continue;
        }
        const TNodeInfo &child = arr[size_t((*list)[pos++])];
        if (seen.contains(child.Id))
            continue;
        seen.insert(child.Id);
        acc += QLatin1Char(',') + child.Id;
        stack.push_back({&children.of(child.Id), 0});
    }
    return acc;
}

QString CollectSubtreeIds(TmvlabDm &dm, const QString &id)
{
    // One recursive query brings exactly the rows below id (nothing for a
    // leaf); each parent's children arrive in the table's row order, and the
    // depth-first text is put together here.
    bool numeric = false;
    id.toLongLong(&numeric);
    if (!numeric)
        return QString();
    TArr arr;
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("with recursive sub (id, parentid) as ("
                            " select id, parentid from type where parentid = :id"
                            " union all"
                            " select t.id, t.parentid from type t join sub on t.parentid = sub.id)"
                            " select id, parentid from sub"));
    q.setParam(QStringLiteral("id"), id);
    q.open();
    while (!q.eof()) {
        arr.push_back({QString::fromLatin1(q.fieldBytes(0)), QString::fromLatin1(q.fieldBytes(1)), QString()});
        q.next();
    }
    return CollectSubtreeIds(arr, id);
}

QString SubtreeIdList(const QString &id, const QString &subtreeIds)
{
    return subtreeIds.isEmpty() ? id : id + subtreeIds;
}
