#include "documentquery.h"

#include "UnitDM.h"
#include "categorymodel.h"
#include "gbkcodec.h"
#include "searchindexer.h"
#include "statementsearch.h"

#include <QColor>
#include <QFont>

#include <algorithm>

namespace docsql {

QString firstTenStatement(const QString &id)
{
    return QStringLiteral("select first 10 * from documents where  typeid=") + id + QStringLiteral(" order by id desc");
}

namespace {
// The category and everything below it, whatever the size of the subtree
// (an IN list would stop at 1,500 values).
QString subtree(const QString &id)
{
    return QStringLiteral("with recursive sub (id) as (select cast(") + id
        + QStringLiteral(" as integer) from rdb$database union all select t.id from type t join sub on t.parentid = sub.id)");
}
} // namespace

QString subtreeStatement(const QString &id)
{
    return subtree(id) + QStringLiteral(" select d.* from documents d join sub on d.typeid = sub.id order by d.id desc");
}

QString subtreeIdsStatement(const QString &id)
{
    return subtree(id) + QStringLiteral(" select id from sub");
}

QString searchStatement()
{
    return QStringLiteral("select * from documents where  content like :PATTERN escape '#'");
}

QByteArray likePattern(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() * 2 + 2);
    out.append('%');
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '#')
            out.append('#');
        out.append(c);
    }
    out.append('%');
    return out;
}

bool matchesOnCharBoundary(const QByteArray &content, const QByteArray &needle)
{
    if (needle.isEmpty())
        return true;
    const char *data = content.constData();
    const qsizetype size = content.size();
    qsizetype boundary = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = content.indexOf(needle, from);
        if (at < 0)
            return false;
        while (boundary < at)
            boundary += mv::GbkCodec::charLength(data, size, boundary);
        if (boundary == at)
            return true;
        from = at + 1;
    }
}

bool needsBoundaryCheck(const QByteArray &needle)
{
    if (needle.isEmpty())
        return false;
    // Later bytes of a character: 0x30-0x39 (four-byte form) and
    // 0x40-0xFE except 0x7F (two-byte form).
    const auto b = uchar(needle[0]);
    return (b >= 0x30 && b <= 0x39) || (b >= 0x40 && b <= 0xFE && b != 0x7F);
}

} // namespace docsql

DocumentQuery::DocumentQuery(QObject *parent) : QAbstractTableModel(parent)
{
}

void DocumentQuery::setStatementSearch(StatementSearch *search)
{
    statementSearch_ = search;
    connect(search, &StatementSearch::finished, this, &DocumentQuery::statementSearchFinished);
}

void DocumentQuery::close()
{
    opened_ = Opened::Nothing;
    if (pending_) {
        statementSearch_->cancel();
        pending_ = 0;
    }
    statements_.clear();
    fromIndex_ = false;
    if (size() == 0 && !active_)
        return;
    beginResetModel();
    rows_.clear();
    index_.reset();
    found_.clear();
    active_ = false;
    endResetModel();
}

void DocumentQuery::publish(std::vector<Row> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    active_ = true;
    endResetModel();
}

void DocumentQuery::fetch(TmvlabDm &dm, const QString &sql, std::vector<Row> &out)
{
    statements_.append(sql);
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(sql);
    q.open();
    readRows(q, out, {});
}

void DocumentQuery::readRows(mv::db::Query &q, std::vector<Row> &out, const std::function<bool(int)> &keep,
                             const std::function<bool()> &stop)
{
    // Bound by name; the content column is read only when keep asks for it.
    const int id = q.fieldIndex(QStringLiteral("ID"));
    const int title = q.fieldIndex(QStringLiteral("TITLE"));
    const int date = q.fieldIndex(QStringLiteral("DATE"));
    const int type = q.fieldIndex(QStringLiteral("TYPEID"));
    const int content = q.fieldIndex(QStringLiteral("CONTENT"));
    while (!q.eof() && !(stop && stop())) {
        if (!keep || keep(content))
            out.push_back({q.field(id), q.field(title), q.field(date), q.field(type)});
        q.next();
    }
}

void DocumentQuery::reopen(TmvlabDm &dm)
{
    const QString with = openedWith_;
    switch (opened_) {
    case Opened::Nothing:
        break;
    case Opened::Category:
        openCategory(dm, with);
        break;
    case Opened::Search:
        openSearch(dm, with);
        break;
    }
}

void DocumentQuery::openCategory(TmvlabDm &dm, const QString &id)
{
    close();
    opened_ = Opened::Category;
    openedWith_ = id;
    bool numeric = false;
    id.toInt(&numeric);
    if (!numeric)
        throw mv::db::DbError(QStringLiteral("无效的类别编号: ") + id);
    if (listFromIndex(dm, id))
        return;
    std::vector<Row> rows;
    if (!hasSubCategories(dm, id))
        fetch(dm, docsql::firstTenStatement(id), rows);
    else
        fetch(dm, docsql::subtreeStatement(id), rows);
    publish(std::move(rows));
}

bool DocumentQuery::hasSubCategories(TmvlabDm &dm, const QString &id)
{
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select first 1 id from type where parentid=") + id);
    q.open();
    return !q.eof();
}

void DocumentQuery::showFound(std::shared_ptr<const SearchIndex> index, std::vector<const SearchIndex::Document *> found)
{
    beginResetModel();
    index_ = std::move(index);
    found_ = std::move(found);
    active_ = true;
    endResetModel();
    fromIndex_ = true;
}

bool DocumentQuery::listFromIndex(TmvlabDm &dm, const QString &id)
{
    std::shared_ptr<const SearchIndex> index = indexer_ ? indexer_->current() : nullptr;
    if (!index)
        return false;
    // One statement for the subtree's ids; the rows come from the index,
    // which holds every document's row as the table has it.
    const QString sql = docsql::subtreeIdsStatement(id);
    statements_.append(sql);
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(sql);
    q.open();
    std::vector<qint64> types;
    while (!q.eof()) {
        types.push_back(QString::fromLatin1(q.fieldBytes(0)).toLongLong());
        q.next();
    }
    // Without sub-categories: its 10 newest; with: everything, newest first.
    showFound(index, index->listCategories(types, types.size() > 1 ? 0 : 10));
    return true;
}

bool DocumentQuery::searchIndex(const QByteArray &needle)
{
    if (!indexer_)
        return false;
    std::shared_ptr<const SearchIndex> index = indexer_->current();
    if (!index) {
        indexer_->start();
        return false;
    }
    auto found = index->search(needle);
    if (!found)
        return false;
    showFound(std::move(index), std::move(*found));
    return true;
}

std::vector<DocumentQuery::Row> DocumentQuery::searchRows(mv::db::Connection &c, const QByteArray &needle,
                                                          const std::function<bool()> &stop)
{
    const bool check = docsql::needsBoundaryCheck(needle);
    mv::db::Query q(c);
    q.setSql(docsql::searchStatement());
    q.setParamBytes(QStringLiteral("PATTERN"), docsql::likePattern(needle));
    q.open();
    std::vector<Row> rows;
    // The database compares bytes; a hit that starts inside a character is
    // not a hit of the text.
    readRows(q, rows,
             check ? std::function<bool(int)>([&](int content) {
                 return docsql::matchesOnCharBoundary(q.fieldBytes(content), needle);
             })
                   : std::function<bool(int)>(),
             stop);
    return rows;
}

void DocumentQuery::openSearch(TmvlabDm &dm, const QString &text)
{
    close();
    opened_ = Opened::Search;
    openedWith_ = text;
    const QByteArray needle = mv::GbkCodec::encode(text);
    if (searchIndex(needle))
        return;
    statements_.append(docsql::searchStatement());
    if (statementSearch_) {
        pending_ = ++tickets_;
        statementSearch_->start(pending_, needle);
        return;
    }
    publish(searchRows(dm.IBDatabaseMV, needle));
}

void DocumentQuery::statementSearchFinished(quint64 ticket, const QString &error)
{
    if (ticket != pending_)
        return;
    pending_ = 0;
    std::vector<Row> rows = statementSearch_->takeRows();
    if (error.isEmpty())
        publish(std::move(rows));
    else
        emit searchFailed(error);
    emit searchFinished();
}

QString DocumentQuery::fieldByName(int r, const QString &name) const
{
    if (r < 0 || r >= size())
        throw std::out_of_range("document row");
    const Row &row = this->row(r);
    const QString n = name.toUpper();
    if (n == QLatin1String("ID"))
        return row.id;
    if (n == QLatin1String("TITLE"))
        return row.title;
    if (n == QLatin1String("DATE"))
        return row.date;
    if (n == QLatin1String("TYPEID"))
        return row.typeId;
    return {};
}

QString DocumentQuery::label(int column)
{
    switch (column) {
    case Title:
        return QStringLiteral("标题");
    case Id:
        return QStringLiteral("编号");
    case TypeId:
        return QStringLiteral("类别编号");
    case Date:
        return QStringLiteral("日期");
    }
    return {};
}

QString DocumentQuery::fieldName(int column)
{
    static const char *const names[] = {"TITLE", "ID", "TYPEID", "DATE"};
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(names[column]) : QString();
}

int DocumentQuery::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

int DocumentQuery::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DocumentQuery::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= size())
        return {};
    const Row &r = row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case Title:
            return r.title;
        case Id:
            return r.id;
        case TypeId:
            return r.typeId;
        case Date:
            return r.date;
        }
        return {};
    case Qt::FontRole: {
        // Asked for every cell of every paint: made once.
        static const QFont titleFont(QStringLiteral("MS Sans Serif"), 10);
        static const QFont cellFont(QStringLiteral("MS Sans Serif"), 8);
        return index.column() == Title ? titleFont : cellFont;
    }
    case Qt::ForegroundRole:
        return QColor(0x21, 0x5A, 0x89);
    default:
        return {};
    }
}

QVariant DocumentQuery::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return label(section);
    return {};
}
