#include "documentstore.h"

#include "UnitDM.h"

#include <QCryptographicHash>

namespace mv {

namespace {
void bindDocument(db::Query &q, const QString &title, const QString &typeId, const QString &content)
{
    q.setParam(QStringLiteral("typeid"), typeId);
    q.setParam(QStringLiteral("title"), title);
    q.setParam(QStringLiteral("content"), content);
}
// The version of document id as stored now, read in the running unit
// (with lock: nobody else writes it until the unit ends); empty when there
// is no such row.
QByteArray storedVersion(TmvlabDm &dm, const QString &id, bool lock)
{
    db::Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select title, typeid, content from documents where id=") + id +
             (lock ? QStringLiteral(" with lock") : QString()));
    q.open();
    if (q.eof())
        return {};
    const QByteArray v = documentVersion(q.field(0), q.field(1), q.field(2));
    q.close();
    return v;
}

} // namespace

QByteArray documentVersion(const QString &title, const QString &typeId, const QString &content)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const QString *part : {&title, &typeId, &content}) {
        const QByteArray bytes = part->toUtf8();
        const qint64 size = bytes.size();
        // Each part's length first, so that no two triples digest alike.
        h.addData(QByteArrayView(reinterpret_cast<const char *>(&size), sizeof size));
        h.addData(bytes);
    }
    return h.result();
}

QString insertDocument(TmvlabDm &dm, const QString &title, const QString &typeId, const QString &content,
                       QByteArray *version)
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
        if (version)
            *version = storedVersion(dm, newId, false);
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

UpdateResult updateLoadedDocument(TmvlabDm &dm, const QString &id, const QByteArray &loadedVersion,
                                  const QString &title, const QString &typeId, const QString &content,
                                  QByteArray *version)
{
    UpdateResult result = UpdateResult::Stored;
    dm.runUnit([&] {
        const QByteArray now = storedVersion(dm, id, true);
        if (now.isEmpty()) {
            result = UpdateResult::Missing;
            return;
        }
        if (now != loadedVersion) {
            result = UpdateResult::ChangedSinceLoaded;
            return;
        }
        db::Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("update documents set title=:title,content=:content, typeid=:typeid  where id=") + id);
        bindDocument(q, title, typeId, content);
        q.execute();
        if (version)
            *version = storedVersion(dm, id, false);
    });
    if (result == UpdateResult::Stored)
        dm.documentWritten(id);
    return result;
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
