#pragma once

// A thin statement layer on Firebird's own C++ API. Text is exchanged as
// code page 936 bytes (see GbkCodec); the connection names no character set,
// so the file keeps exactly the bytes we send.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

namespace Firebird {
class IAttachment;
class ITransaction;
class IStatement;
class IResultSet;
class IMessageMetadata;
} // namespace Firebird

namespace mv::db {

// Every failure of the client or the server arrives as this error, carrying
// the client's message text and, when the engine gave them, its error codes
// (the status vector's codes in order, the first one primary) and the
// system's error number.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString &message, const QList<qint64> &codes = {}, int osError = 0);
    QString message() const { return message_; }
    const QList<qint64> &codes() const { return codes_; }
    qint64 primaryCode() const { return codes_.value(0); }
    int osError() const { return osError_; }

private:
    QString message_;
    QList<qint64> codes_;
    int osError_ = 0;
};

class Query;

class Connection
{
public:
    Connection(const QString &databaseName, const QByteArray &user, const QByteArray &password);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setDatabaseName(const QString &path);
    QString databaseName() const { return path_; }

    bool connected() const { return att_ != nullptr; }
    bool inTransaction() const { return tra_ != nullptr; }

    // Opens the connection and starts the run's transaction when needed.
    // A failed open leaves it closed; the next call tries again.
    void ensureOpen();

    // Makes everything done since the last commit durable, keeping the
    // transaction context (commit retaining).
    void commit();
    // Undoes everything since the last commit, keeping the context.
    void rollback();
    // Commits and disconnects.
    void close();

    // From another thread, while this one runs a statement: makes it fail
    // at once with the server's "cancelled" error. Nothing happens when no
    // statement runs. The caller keeps the connection alive meanwhile.
    void cancelOperation();

    // Runs a group of changes that belong together: committed together when
    // fn returns, rolled back together (and the error passed on) when it throws.
    void runUnit(const std::function<void()> &fn);

    // Fault injection for tests: the n-th statement (or commit) from now on
    // fails with an error, as a server failure would, carrying the given
    // engine code and system error number when not 0. n = 0 switches it off.
    void failOnStatement(int n, qint64 code = 0, int osError = 0);
    void failOnCommit(int n, qint64 code = 0, int osError = 0);

    // For Query.
    Firebird::IAttachment *attachment() const { return att_; }
    Firebird::ITransaction *transaction() const { return tra_; }
    void countStatement();

private:
    friend class Query;
    void registerQuery(Query *q) { queries_.insert(q); }
    void unregisterQuery(Query *q) { queries_.erase(q); }
    void releaseQueries();

    QString path_;
    QByteArray user_;
    QByteArray password_;
    Firebird::IAttachment *att_ = nullptr;
    Firebird::ITransaction *tra_ = nullptr;
    std::set<Query *> queries_;
    struct Fault {
        int countdown = 0;
        qint64 code = 0;
        int osError = 0;
    };
    // Throws the injected error when this one is due.
    static void countDown(Fault &fault, const char *what);
    Fault statementFault_;
    Fault commitFault_;
};

// A statement: loaded with a text, then opened (rows) or executed (no rows).
// Named parameters (:name) are set from text.
class Query
{
public:
    explicit Query(Connection &connection);
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    Connection &connection() const { return *conn_; }

    // Loading a new text closes any result still held.
    void setSql(const QString &sql);
    QString sql() const { return sql_; }
    QStringList paramNames() const;

    void setParam(const QString &name, const QString &value);
    // A value already in the stored byte form (for patterns that must be
    // built byte by byte, such as an escaped LIKE pattern).
    void setParamBytes(const QString &name, const QByteArray &value);
    void setParamNull(const QString &name);
    void clearParams();

    // Query: runs the statement and stands on the first row (eof when none).
    void open();
    // Statement that returns no rows.
    void execute();
    void close();

    bool active() const { return rs_ != nullptr || rowValid_; }
    bool eof() const { return !rowValid_; }
    void next();

    int fieldCount() const { return int(columns_.size()); }
    QString fieldName(int i) const;
    int fieldIndex(const QString &name) const; // -1 when absent
    bool isNull(int i) const;
    bool isNull(const QString &name) const;
    // Value as text ("" for null); a text BLOB is read whole.
    QString field(int i) const;
    QString field(const QString &name) const;
    QByteArray fieldBytes(int i) const;

private:
    friend class Connection;
    struct Column {
        QString name;
        bool blob = false;
        unsigned offset = 0;
        unsigned nullOffset = 0;
    };
    void prepare();
    void release();
    void fetch();
    void bindInput(std::vector<unsigned char> &buf, Firebird::IMessageMetadata *&meta);
    void setupOutput();
    int checkedIndex(const QString &name) const;
    const Column &column(int i) const;

    Connection *conn_;
    QString sql_;
    QByteArray fbSql_;
    QStringList paramOrder_;                 // name of each '?' in order
    QHash<QString, QByteArray> paramValues_; // upper-case name -> bytes
    QHash<QString, bool> paramNull_;
    Firebird::IStatement *stmt_ = nullptr;
    Firebird::IResultSet *rs_ = nullptr;
    Firebird::IMessageMetadata *outMeta_ = nullptr;
    std::vector<unsigned char> outBuf_;
    std::vector<Column> columns_;
    bool rowValid_ = false;
};

// Splits a statement text with :name parameters into the text with '?'
// marks and the parameter names in order. Quoted texts, quoted names and
// comments are left alone.
struct ParsedSql {
    QByteArray text;
    QStringList names;
};
ParsedSql parseNamedParams(const QByteArray &sql);

// Creates a new database file (dialect 3, no default character set) and runs
// the given statements in it, committing after each. Refuses an existing file.
void createDatabase(const QString &path, const QByteArray &user, const QByteArray &password,
                    const QStringList &statements);

} // namespace mv::db
