#include "documentstore.h"

#include "UnitDM.h"

namespace mv {

namespace {
void bindDocument(db::Query &q, const QString &title, const QString &typeId, const QString &content)
{
    q.setParam(QStringLiteral("typeid"), typeId);
    q.setParam(QStringLiteral("title"), title);
    q.setParam(QStringLiteral("content"), content);
}
} // namespace

QString insertDocument(TmvlabDm &dm, const QString &title, const QString &typeId, const QString &content)
{
    QString newId;
    dm.runUnit([&] {
        db::Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("select max(id) from documents"));
        q.open();
        const QString largest = q.field(0);
        q.close();
        newId = QString::number((largest.isEmpty() ? 0LL : largest.toLongLong()) + 1);

        q.setSql(QStringLiteral("insert into documents(id,title,content,typeid)  values(:id,:title,:content,:typeid)"));
        q.setParam(QStringLiteral("id"), newId);
        bindDocument(q, title, typeId, content);
        q.execute();
    });
    dm.documentWritten(newId);
    return newId;
}

bool updateDocument(TmvlabDm &dm, const QString &id, const QString &title, const QString &typeId,
                    const QString &content)
{
    bool found = false;
    dm.runUnit([&] {
        db::Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("update documents set title=:title,content=:content, typeid=:typeid  where id=") + id);
        bindDocument(q, title, typeId, content);
        q.execute();
        // The statement says nothing of a row it did not meet.
        q.setSql(QStringLiteral("select id from documents where id=") + id);
        q.open();
        found = !q.eof();
        q.close();
    });
    if (found)
        dm.documentWritten(id);
    return found;
}

void deleteDocument(TmvlabDm &dm, const QString &id)
{
    dm.runUnit([&] {
        db::Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("delete from documents where id=") + id);
        q.execute();
    });
    dm.documentDeleted(id);
}

} // namespace mv
