#pragma once

// A thin statement layer on Firebird's own C++ API. Text is exchanged as
// code page 936 bytes (see GbkCodec); the connection names no character set,
// so the file keeps exactly the bytes we send.

#include <QByteArray>
#include <QHash>
#include <QObject>
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

// A database name that names a database on a server rather than a file on
// this machine: "inet://host[:port]/path", "host:path" or "host/port:path"
// (a host name, so that a path such as "/a:b/c.fdb" or "./a:b.fdb" stays a
// local file; the engine itself takes any name with a colon for a host's,
// so such a file cannot be opened in any case).
bool isServerName(const QString &name);

// The user name and password that attachments to a server present, for the
// whole process (files on this machine need none). Kept in memory only.
void setServerLogin(const QByteArray &user, const QByteArray &password);

// A bare attachment to name, with the login as Connection presents it, for
// what the statement layer does not cover (event registration). The caller
// detaches it. Throws DbError.
Firebird::IAttachment *attachDatabase(const QString &name, const QByteArray &user, const QByteArray &password);

// One attachment to a database file. Changes run in units, each in a
// transaction of its own that ends with a commit (or a rollback) before
// runUnit returns. A statement outside a unit reads in a read-only
// transaction of its own, which ends as soon as its rows are read or the
// query is closed, and on the application's thread at the latest when its
// event loop next gets control: nothing stays open while the program waits,
// so the engine can collect old record versions, and every read sees what
// was committed before it, also by other connections.
class Connection
{
public:
    // How statements outside a unit read: committed rows as they are when
    // read (the program's own short reads), or one view fixed when the
    // statement starts (a long scan on a connection of its own, whose rows
    // must belong together).
    enum class Reads { ReadCommitted, Snapshot };

    // Which file a path names: device and inode (both 0 when none, and for
    // a database on a server).
    struct FileId {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileId &) const = default;
    };
    static FileId fileIdOf(const QString &path);

    Connection(const QString &databaseName, const QByteArray &user, const QByteArray &password);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setDatabaseName(const QString &path);
    QString databaseName() const { return path_; }
    void setReads(Reads reads) { reads_ = reads; }

    bool connected() const { return att_ != nullptr; }
    // The file that is open, as the path named it when it was attached.
    FileId openFile() const { return file_; }
    // Transactions open now: a running unit's and those of queries still
    // reading their rows.
    int openTransactions() const { return readers_ + (unit_ ? 1 : 0); }

    // Attaches when not attached. Attaches afresh when the engine ended the
    // attachment (shut down under the program), or when the path no longer
    // names the file that is open (replaced or deleted) and nothing is
    // being read from it. A failed attach leaves it closed; the next call
    // tries again.
    void ensureOpen();
    // Disconnects; a unit cannot be running.
    void close();
    // Attached, and the path has come to name another file while nothing is
    // being read: attaches to that one now, before a connection of a scan
    // does (see attach()). A failure waits for the next action.
    void followFile();

    // From another thread, while this one runs a statement: makes it fail
    // at once with the server's "cancelled" error. Nothing happens when no
    // statement runs. The caller keeps the connection alive meanwhile.
    void cancelOperation();

    // Runs a group of changes that belong together: committed together when
    // fn returns, rolled back together (and the error passed on) when it
    // throws. Statements in fn run in the unit's transaction; a unit inside
    // a unit is part of it. Before the commit the path must still name the
    // file that is open; if it does not, nothing is committed, and the
    // error names the path. The first unit after the connection moved to
    // another file under the same path is refused the same way, so that
    // whoever made it learns the file changed under the program.
    void runUnit(const std::function<void()> &fn);

    // Fault injection for tests: the n-th statement (or commit) from now on
    // fails with an error, as a server failure would, carrying the given
    // engine code and system error number when not 0. n = 0 switches it off.
    void failOnStatement(int n, qint64 code = 0, int osError = 0);
    void failOnCommit(int n, qint64 code = 0, int osError = 0);

    // For Query.
    Firebird::IAttachment *attachment() const { return att_; }
    void countStatement();

private:
    friend class Query;
    friend struct Guard;
    void registerQuery(Query *q) { queries_.insert(q); }
    void unregisterQuery(Query *q) { queries_.erase(q); }
    void releaseQueries();
    // The transaction a statement runs in: the unit's, or a read-only one
    // of its own (own is then true) that endRead ends.
    Firebird::ITransaction *statementTransaction(bool &own);
    void endRead(Firebird::ITransaction *&t);
    Firebird::ITransaction *startTransaction(const QByteArray &tpb);
    void closeCursorsIn(Firebird::ITransaction *t);
    // Refuses while another attachment of the process has the old file
    // open under the path: the engine would give this one that file too.
    void attach();
    void forgetFile();
    void dropAttachment();
    bool fileReplaced() const;
    QString fileChangedMessage() const;
    void endReadsWhenIdle();

    QString path_;
    QByteArray user_;
    QByteArray password_;
    Reads reads_ = Reads::ReadCommitted;
    Firebird::IAttachment *att_ = nullptr;
    Firebird::ITransaction *unit_ = nullptr;
    int readers_ = 0;
    // Set when the engine said the attachment is gone, or when the path
    // names another file: the next action attaches afresh.
    bool lost_ = false;
    // The connection moved to another file and no unit has said so yet.
    bool movedUntold_ = false;
    FileId file_;
    QString fileKey_; // the path as the open files are kept by
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
    // Owns the pending call that ends reads left open (see endReadsWhenIdle).
    std::unique_ptr<QObject> idle_;
    bool idleCallPending_ = false;
};

// The embedded engine ends every attachment of the process when the process
// gets SIGINT or SIGTERM, and refuses new ones from then on. A program that
// ends itself on those signals (closing its connections as it does) calls
// this once: the engine then leaves its attachments alone.
void leaveTerminationSignalsToProgram();

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
    // Outside a unit its transaction ends when the last row has been read or
    // the query is closed.
    void open();
    // Statement that returns no rows. Outside a unit it runs in a read-only
    // transaction: a change must run in a unit.
    void execute();
    void close();

    bool active() const { return rs_ != nullptr || rowValid_; }
    bool eof() const { return !rowValid_; }
    // Moves to the next row. Fails for a query whose rows were let go while
    // the program waited (see Connection).
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
    void prepare(Firebird::ITransaction *t);
    // Runs the statement in its transaction: with rows, opens its cursor.
    void run(bool rows);
    void release();
    void endTransaction();
    void letGo();
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
    Firebird::ITransaction *tra_ = nullptr; // the one the open result reads in
    bool ownTra_ = false;                    // started for it, ended with it
    Firebird::IMessageMetadata *outMeta_ = nullptr;
    std::vector<unsigned char> outBuf_;
    std::vector<Column> columns_;
    bool rowValid_ = false;
    bool letGo_ = false; // its rows were let go before all were read
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
