#include "categorystore.h"

#include "UnitDM.h"
#include "categorymodel.h"

#include <QRegularExpression>

namespace mv {

namespace {
constexpr qsizetype InListSlice = 1000;
}

QString checkedId(const QString &text, const QString &what)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    // toInt takes blanks and a plus sign; an id is digits with an optional minus.
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]+$"));
    if (!ok || !digits.match(text).hasMatch())
        throw InputError(QStringLiteral("%1“%2”不是有效的编号（应为32位范围内的整数）").arg(what, text));
    return QString::number(value);
}

QString nextCategoryId(TmvlabDm &dm)
{
    db::Query &q = dm.IBQueryTemp;
    q.setSql(QStringLiteral("select max(id) from type"));
    q.open();
    const QString max = q.field(0);
    q.close();
    return QString::number((max.isEmpty() ? 0LL : max.toLongLong()) + 1);
}

void insertCategory(TmvlabDm &dm, const QString &id, const QString &parentIdText, const QString &name)
{
    const QString newId = checkedId(id, QStringLiteral("新类别"));
    const QString parentId = checkedId(parentIdText, QStringLiteral("上级类别"));
    dm.runUnit([&] {
        db::Query &q = dm.IBQueryTemp;
        q.setSql(QStringLiteral("insert into type(id,parentid,typename)  values(") + newId + QLatin1Char(',') + parentId
                 + QStringLiteral(",:typename)"));
        q.setParam(QStringLiteral("typename"), name);
        q.execute();
    });
}

QString addCategory(TmvlabDm &dm, const QString &parentIdText, const QString &name)
{
    checkedId(parentIdText, QStringLiteral("上级类别"));
    const QString id = nextCategoryId(dm);
    insertCategory(dm, id, parentIdText, name);
    return id;
}

void renameCategory(TmvlabDm &dm, const QString &idText, const QString &name)
{
    const QString id = checkedId(idText, QStringLiteral("类别"));
    dm.runUnit([&] {
        db::Query &q = dm.IBQueryTemp;
        q.setSql(QStringLiteral("update type set typename=:typename  where id=") + id);
        q.setParam(QStringLiteral("typename"), name);
        q.execute();
    });
}

QString deleteCategorySubtree(TmvlabDm &dm, const QString &id, bool withDocuments)
{
    const QString checked = checkedId(id, QStringLiteral("类别"));
    QString list;
    dm.runUnit([&] {
        list = SubtreeIdList(checked, CollectSubtreeIds(dm, checked));
        // The server takes at most 1,500 values in an IN list: a larger
        // subtree goes in slices, all of them in this one unit.
        const QStringList ids = list.split(QLatin1Char(','));
        QStringList slices;
        for (qsizetype at = 0; at < ids.size(); at += InListSlice)
            slices << ids.mid(at, InListSlice).join(QLatin1Char(','));
        db::Query &q = dm.IBQueryTemp;
        if (withDocuments) {
            for (const QString &slice : slices) {
                q.setSql(QStringLiteral("delete from documents where typeid in(") + slice + QLatin1Char(')'));
                q.execute();
            }
        }
        for (const QString &slice : slices) {
            q.setSql(QStringLiteral("delete from type where id in(") + slice + QLatin1Char(')'));
            q.execute();
        }
    });
    if (withDocuments)
        dm.categoryDocumentsDeleted(list.split(QLatin1Char(',')));
    return list;
}

} // namespace mv
