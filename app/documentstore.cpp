#include "documentstore.h"

#include "UnitDM.h"
#include "categorytree.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

#include <QCryptographicHash>

namespace mv {

namespace {

// The server takes at most 1,500 values in an IN list.
constexpr qsizetype InListSlice = 1000;

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

// A document id as the statements take it, or none for a number no row can
// have (beyond the column's 32 bits); anything but digits is refused.
std::optional<QString> documentId(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]{1,18}$"));
    if (!digits.match(text).hasMatch())
        return checkedId(text, QStringLiteral("文档")); // throws with the usual message
    const qlonglong value = text.toLongLong();
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return QString::number(value);
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

void DocumentStore::addListener(StoreListener *l)
{
    if (std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end())
        listeners_.push_back(l);
}

void DocumentStore::removeListener(StoreListener *l)
{
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), l), listeners_.end());
}

template<typename F>
void DocumentStore::tell(F &&f)
{
    // A copy: a listener may remove itself while being told.
    const std::vector<StoreListener *> now = listeners_;
    for (StoreListener *l : now)
        f(*l);
}

template<typename F>
void DocumentStore::tellDocuments(F &&f)
{
    ++ownDocumentCommits_;
    tell(std::forward<F>(f));
}

int DocumentStore::othersOf(int commits)
{
    const int own = qMin(commits, ownDocumentCommits_);
    ownDocumentCommits_ -= own;
    return commits - own;
}

QString DocumentStore::insertDocument(const QString &title, const QString &typeId, const QString &content,
                                      QByteArray *version)
{
    QString newId;
    dm_.runUnit([&] {
        db::Query q(dm_.IBDatabaseMV);
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
            *version = storedVersion(dm_, newId, false);
    });
    tellDocuments([&](StoreListener &l) { l.documentWritten(newId); });
    return newId;
}

bool DocumentStore::updateDocument(const QString &idText, const QString &title, const QString &typeId,
                                   const QString &content)
{
    const std::optional<QString> checked = documentId(idText);
    if (!checked)
        return false;
    const QString &id = *checked;
    bool found = false;
    dm_.runUnit([&] {
        db::Query q(dm_.IBDatabaseMV);
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
        tellDocuments([&](StoreListener &l) { l.documentWritten(id); });
    return found;
}

UpdateResult DocumentStore::updateLoadedDocument(const QString &idText, const QByteArray &loadedVersion,
                                                const QString &title, const QString &typeId, const QString &content,
                                                QByteArray *version)
{
    const std::optional<QString> checked = documentId(idText);
    if (!checked)
        return UpdateResult::Missing;
    const QString &id = *checked;
    UpdateResult result = UpdateResult::Stored;
    dm_.runUnit([&] {
        const QByteArray now = storedVersion(dm_, id, true);
        if (now.isEmpty()) {
            result = UpdateResult::Missing;
            return;
        }
        if (now != loadedVersion) {
            result = UpdateResult::ChangedSinceLoaded;
            return;
        }
        db::Query q(dm_.IBDatabaseMV);
        q.setSql(QStringLiteral("update documents set title=:title,content=:content, typeid=:typeid  where id=") + id);
        bindDocument(q, title, typeId, content);
        q.execute();
        if (version)
            *version = storedVersion(dm_, id, false);
    });
    if (result == UpdateResult::Stored)
        tellDocuments([&](StoreListener &l) { l.documentWritten(id); });
    return result;
}

void DocumentStore::deleteDocument(const QString &idText)
{
    const std::optional<QString> checked = documentId(idText);
    if (!checked)
        return; // no such row
    const QString &id = *checked;
    dm_.runUnit([&] {
        db::Query q(dm_.IBDatabaseMV);
        q.setSql(QStringLiteral("delete from documents where id=") + id);
        q.execute();
    });
    tellDocuments([&](StoreListener &l) { l.documentDeleted(id); });
}

std::optional<StoredDocument> DocumentStore::document(const QString &idText)
{
    const std::optional<QString> id = documentId(idText);
    if (!id)
        return std::nullopt;
    db::Query q(dm_.IBDatabaseMV);
    q.setSql(QStringLiteral("select id, title, typeid, \"DATE\", content from documents where id=") + *id);
    q.open();
    if (q.eof())
        return std::nullopt;
    return StoredDocument{q.field(0), q.field(1), q.field(2), q.field(3), q.field(4)};
}

QString DocumentStore::nextCategoryId()
{
    db::Query q(dm_.IBDatabaseMV);
    q.setSql(QStringLiteral("select max(id) from type"));
    q.open();
    const QString max = q.field(0);
    q.close();
    return QString::number((max.isEmpty() ? 0LL : max.toLongLong()) + 1);
}

void DocumentStore::insertCategory(const QString &id, const QString &parentIdText, const QString &name)
{
    const QString newId = checkedId(id, QStringLiteral("新类别"));
    const QString parentId = checkedId(parentIdText, QStringLiteral("上级类别"));
    dm_.runUnit([&] {
        db::Query q(dm_.IBDatabaseMV);
        q.setSql(QStringLiteral("insert into type(id,parentid,typename)  values(") + newId + QLatin1Char(',') + parentId
                 + QStringLiteral(",:typename)"));
        q.setParam(QStringLiteral("typename"), name);
        q.execute();
    });
    tell([](StoreListener &l) { l.categoriesChanged(); });
}

QString DocumentStore::addCategory(const QString &parentIdText, const QString &name)
{
    checkedId(parentIdText, QStringLiteral("上级类别"));
    const QString id = nextCategoryId();
    insertCategory(id, parentIdText, name);
    return id;
}

void DocumentStore::renameCategory(const QString &idText, const QString &name)
{
    const QString id = checkedId(idText, QStringLiteral("类别"));
    dm_.runUnit([&] {
        db::Query q(dm_.IBDatabaseMV);
        q.setSql(QStringLiteral("update type set typename=:typename  where id=") + id);
        q.setParam(QStringLiteral("typename"), name);
        q.execute();
    });
    tell([](StoreListener &l) { l.categoriesChanged(); });
}

QString DocumentStore::categoryName(const QString &idText)
{
    bool numeric = false;
    const qlonglong id = idText.toLongLong(&numeric);
    if (!numeric)
        return QString();
    db::Query q(dm_.IBDatabaseMV);
    q.setSql(QStringLiteral("select typename from type where id=") + QString::number(id));
    q.open();
    return q.eof() ? QString() : q.field(0);
}

QString DocumentStore::deleteCategorySubtree(const QString &id, bool withDocuments)
{
    const QString checked = checkedId(id, QStringLiteral("类别"));
    QString list;
    dm_.runUnit([&] {
        list = SubtreeIdList(checked, CollectSubtreeIds(dm_, checked));
        // A larger subtree goes in slices, all of them in this one unit.
        const QStringList ids = list.split(QLatin1Char(','));
        QStringList slices;
        for (qsizetype at = 0; at < ids.size(); at += InListSlice)
            slices << ids.mid(at, InListSlice).join(QLatin1Char(','));
        db::Query q(dm_.IBDatabaseMV);
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
    const QStringList ids = list.split(QLatin1Char(','));
    if (withDocuments)
        ++ownDocumentCommits_; // the announcement othersOf weighs
    tell([&](StoreListener &l) {
        if (withDocuments)
            l.categoryDocumentsDeleted(ids);
        l.categoriesChanged();
    });
    return list;
}

} // namespace mv
