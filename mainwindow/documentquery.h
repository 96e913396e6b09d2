#pragma once

// The document list: which statements list a category or search the
// contents, and the rows they bring back (never the contents themselves).

#include "documentrow.h"
#include "searchindex.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class SearchIndexer;
class StatementSearch;
class TmvlabDm;
namespace mv::db {
class Connection;
class Query;
}

namespace docsql {

// The statement for a category without sub-categories (its 10 newest).
QString firstTenStatement(const QString &id);
// The statement for a category and every category below it, newest first.
QString subtreeStatement(const QString &id);
// The ids of a category and of every category below it.
QString subtreeIdsStatement(const QString &id);
// The search statement; its one parameter is PATTERN.
QString searchStatement();

// The LIKE pattern, in stored bytes, that finds text anywhere in a content:
// every "%", "_" and "#" of the text is escaped with "#", byte by byte (a
// two-byte character may end in the byte of "_").
QByteArray likePattern(const QByteArray &text);

// True when needle occurs in content at a position where a character of
// the stored text begins (so the second byte of a Chinese character and the
// first of the next never count as a hit).
bool matchesOnCharBoundary(const QByteArray &content, const QByteArray &needle);
// False when a hit of needle can only start on a character boundary anyway
// (its first byte is never the second or later byte of a character).
bool needsBoundaryCheck(const QByteArray &needle);

} // namespace docsql

// IBQueryDocument: the rows the list shows. Columns in grid order: TITLE,
// ID, TYPEID, DATE.
class DocumentQuery : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Title = 0, Id = 1, TypeId = 2, Date = 3, ColumnCount = 4 };
    using Row = DocumentRow;

    explicit DocumentQuery(QObject *parent = nullptr);

    // Searches go to the indexer's index while it has one (same rows, same
    // order), to the database otherwise; a search also restarts an indexer
    // that has neither an index nor a build running.
    void setIndexer(SearchIndexer *indexer) { indexer_ = indexer; }
    // With a statement search, a search the index cannot answer runs there:
    // openSearch empties the list and returns, the rows follow when the
    // statement is done (searchFinished). Without, it runs here and now.
    void setStatementSearch(StatementSearch *search);

    // A category's documents: its 10 newest without sub-categories,
    // otherwise every document of its subtree; newest first.
    void openCategory(TmvlabDm &dm, const QString &id);
    // Documents whose content holds text (case-sensitive; empty text: every
    // document with content), in the database's order.
    void openSearch(TmvlabDm &dm, const QString &text);
    // Empties the list (a failed open leaves it so); a search still running
    // is dropped.
    void close();
    // Runs the last open again (a category's documents or a search), to
    // show what others changed meanwhile; nothing when nothing is listed.
    void reopen(TmvlabDm &dm);

    bool active() const { return active_; }
    // A search whose rows have not come yet.
    bool searching() const { return pending_ != 0; }

    // The search statement's rows for needle on connection c, read until
    // stop (when set) says so.
    static std::vector<Row> searchRows(mv::db::Connection &c, const QByteArray &needle,
                                       const std::function<bool()> &stop = {});
    // The statements the last open ran, in order (none when the index
    // answered the search).
    QStringList lastStatements() const { return statements_; }
    bool answeredFromIndex() const { return fromIndex_; }
    const Row &row(int r) const { return index_ ? found_[size_t(r)]->row : rows_[size_t(r)]; }
    QString fieldByName(int r, const QString &name) const;

    static QString label(int column);
    static QString fieldName(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

signals:
    // The statement search failed; the list stays empty. The window shows
    // the message, the model opens no box.
    void searchFailed(const QString &message);
    // The rows of a search run by the statement search are there (or its
    // failure was told by searchFailed).
    void searchFinished();

private:
    void fetch(TmvlabDm &dm, const QString &sql, std::vector<Row> &out);
    // Appends the open query's rows, those that keep (given the content
    // column's index) accepts when it is set.
    static void readRows(mv::db::Query &q, std::vector<Row> &out, const std::function<bool(int)> &keep,
                         const std::function<bool()> &stop = {});
    void statementSearchFinished(quint64 ticket, const QString &error);
    static bool hasSubCategories(TmvlabDm &dm, const QString &id);
    void publish(std::vector<Row> rows);

    bool searchIndex(const QByteArray &needle);
    bool listFromIndex(TmvlabDm &dm, const QString &id);
    void showFound(std::shared_ptr<const SearchIndex> index, std::vector<const SearchIndex::Document *> found);
    int size() const { return int(index_ ? found_.size() : rows_.size()); }

    std::vector<Row> rows_; // from the database
    // From the index: its documents, which it keeps (as they were) while
    // this holds it, however it changes meanwhile.
    std::shared_ptr<const SearchIndex> index_;
    std::vector<const SearchIndex::Document *> found_;
    QStringList statements_;
    SearchIndexer *indexer_ = nullptr;
    StatementSearch *statementSearch_ = nullptr;
    quint64 tickets_ = 0;
    quint64 pending_ = 0; // the statement search's request the list waits for
    bool active_ = false;
    bool fromIndex_ = false;
    enum class Opened { Nothing, Category, Search } opened_ = Opened::Nothing;
    QString openedWith_; // the category id or the search text
};
