#include "fbsql.h"

#include "gbkcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <firebird/Interface.h>
#include <ibase.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <cstring>
#include <iterator>
#include <sys/stat.h>

using namespace Firebird;

namespace mv::db {

namespace {

// The longest text a VARCHAR holds.
constexpr qsizetype MaxTextParamBytes = 32765;

IMaster *master()
{
    static IMaster *m = fb_get_master_interface();
    return m;
}

QString statusText(const IStatus *status)
{
    char buf[2048];
    master()->getUtilInterface()->formatStatus(buf, sizeof buf, const_cast<IStatus *>(status));
    // The client's messages are plain ASCII; file names in them are ours.
    return QString::fromLocal8Bit(buf).trimmed();
}

DbError errorFromStatus(const IStatus *status)
{
    QList<qint64> codes;
    int osError = 0;
    const intptr_t *v = const_cast<IStatus *>(status)->getErrors();
    while (v && *v != isc_arg_end) {
        switch (*v) {
        case isc_arg_gds:
            codes.append(qint64(v[1]));
            break;
        case isc_arg_unix:
            osError = int(v[1]);
            break;
        case isc_arg_cstring: // length, then the text
            ++v;
            break;
        default:
            break;
        }
        v += 2;
    }
    return DbError(statusText(status), codes, osError);
}

// A status wrapper that is released on scope exit.
struct Status {
    IStatus *raw = master()->getStatus();
    ThrowStatusWrapper wrap{raw};
    ~Status() { wrap.dispose(); }
    ThrowStatusWrapper *operator&() { return &wrap; }
};

template <class F>
auto guarded(F &&f) -> decltype(f())
{
    try {
        return f();
    } catch (const FbException &e) {
        throw errorFromStatus(e.getStatus());
    }
}

// The engine's word that an attachment is gone for good: shut down under
// the program, or its file or link lost.
bool attachmentLost(const IStatus *status)
{
    static const ISC_STATUS lost[] = {isc_att_shutdown, isc_shutdown,       isc_shutinprog,  isc_conn_lost,
                                      isc_network_error, isc_net_read_err, isc_net_write_err,
                                      isc_lost_db_connection,
                                      isc_bad_db_handle};
    const ISC_STATUS *v = const_cast<IStatus *>(status)->getErrors();
    for (; v && v[0] != isc_arg_end; v += 2) {
        if (v[0] == isc_arg_gds && std::find(std::begin(lost), std::end(lost), v[1]) != std::end(lost))
            return true;
        if (v[0] == isc_arg_cstring)
            ++v; // length, pointer
    }
    return false;
}

// Transaction parameters. Reads: read-only, and with read committed the
// engine counts the transaction as committed from its start, so it holds
// nothing back however long it is open. Units: read committed, waiting at
// most a few seconds for a row another connection has locked.
const QByteArray ReadCommittedTpb = [] {
    const char b[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait};
    return QByteArray(b, sizeof b);
}();
const QByteArray SnapshotTpb = [] {
    const char b[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_concurrency, isc_tpb_nowait};
    return QByteArray(b, sizeof b);
}();
constexpr char UnitLockTimeoutSeconds = 10;
const QByteArray UnitTpb = [] {
    const char b[] = {isc_tpb_version3, isc_tpb_write,        isc_tpb_read_committed, isc_tpb_rec_version,
                      isc_tpb_wait,     isc_tpb_lock_timeout, 1,                      UnitLockTimeoutSeconds};
    return QByteArray(b, sizeof b);
}();

// Ends a transaction that is not to be committed; whatever fails, the
// handle is gone afterwards.
void discard(ITransaction *&t)
{
    if (!t)
        return;
    IStatus *raw = master()->getStatus();
    CheckStatusWrapper st(raw);
    t->rollback(&st);
    if (st.getState() & IStatus::STATE_ERRORS)
        t->release();
    raw->dispose();
    t = nullptr;
}

struct ServerLogin {
    std::mutex mutex;
    QByteArray user;
    QByteArray password;
};

ServerLogin &serverLogin()
{
    static ServerLogin login;
    return login;
}

// A server that does not answer is given up after this long, instead of
// the client's three minutes.
constexpr int ServerConnectTimeoutSeconds = 10;

QByteArray dpbFor(ThrowStatusWrapper *st, const QString &name, const QByteArray &user, const QByteArray &password,
                  bool create)
{
    QByteArray u = user;
    QByteArray p = password;
    const bool server = isServerName(name);
    if (server) {
        std::lock_guard<std::mutex> lock(serverLogin().mutex);
        if (!serverLogin().user.isEmpty()) {
            u = serverLogin().user;
            p = serverLogin().password;
        }
    }
    IXpbBuilder *dpb = master()->getUtilInterface()->getXpbBuilder(st, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(st, isc_dpb_user_name, u.constData());
    dpb->insertString(st, isc_dpb_password, p.constData());
    if (server)
        dpb->insertInt(st, isc_dpb_connect_timeout, ServerConnectTimeoutSeconds);
    if (create) {
        dpb->insertInt(st, isc_dpb_sql_dialect, 3);
        dpb->insertInt(st, isc_dpb_page_size, 8192);
    }
    QByteArray r(reinterpret_cast<const char *>(dpb->getBuffer(st)), int(dpb->getBufferLength(st)));
    dpb->dispose();
    return r;
}

} // namespace

bool isServerName(const QString &name)
{
    static const QRegularExpression form(QStringLiteral(
        "^(?:inet[46]?://.+|(?:\\[[^\\]/]+\\]|[a-z0-9_-][a-z0-9._-]*)(?:/[a-z0-9_-]+)?:.+)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    return form.match(name).hasMatch();
}

IAttachment *attachDatabase(const QString &name, const QByteArray &user, const QByteArray &password)
{
    return guarded([&] {
        Status st;
        const QByteArray dpb = dpbFor(&st, name, user, password, false);
        IProvider *prov = master()->getDispatcher();
        IAttachment *att = nullptr;
        try {
            att = prov->attachDatabase(&st, QFile::encodeName(name).constData(), unsigned(dpb.size()),
                                       reinterpret_cast<const unsigned char *>(dpb.constData()));
        } catch (...) {
            prov->release();
            throw;
        }
        prov->release();
        return att;
    });
}

void setServerLogin(const QByteArray &user, const QByteArray &password)
{
    std::lock_guard<std::mutex> lock(serverLogin().mutex);
    serverLogin().user = user;
    serverLogin().password = password;
}

DbError::DbError(const QString &message, const QList<qint64> &codes, int osError)
    : std::runtime_error(message.toStdString()), message_(message), codes_(codes), osError_(osError)
{
}

// ---------------------------------------------------------------- Connection

// Turns the engine's failures into DbError, noting on the way when they say
// the attachment is gone.
struct Guard {
    template <class F>
    static auto run(Connection *c, F &&f) -> decltype(f())
    {
        try {
            return f();
        } catch (const FbException &e) {
            if (attachmentLost(e.getStatus()))
                c->lost_ = true;
            throw errorFromStatus(e.getStatus());
        }
    }
};

Connection::Connection(const QString &databaseName, const QByteArray &user, const QByteArray &password)
    : path_(databaseName), user_(user), password_(password)
{
}

Connection::~Connection()
{
    try {
        close();
    } catch (...) {
        // Nothing sensible is left to do with a failure while shutting down.
    }
}

void Connection::setDatabaseName(const QString &path)
{
    path_ = path;
}

Connection::FileId Connection::fileIdOf(const QString &path)
{
    if (isServerName(path))
        return {};
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

bool Connection::fileReplaced() const
{
    // A local file: gone, or another file under the same path.
    return file_ != FileId() && fileIdOf(path_) != file_;
}

namespace {
// The files the program's attachments have open, by path. The engine takes
// an attachment to a path to the database it already has open under that
// path, whatever file the path names now: after the file was replaced, a
// new attachment would reach the old file as long as any other attachment
// of the process keeps it open, and what it wrote would be lost with it.
struct OpenFiles {
    std::mutex mutex;
    std::map<QString, std::vector<Connection::FileId>> byPath;
};

OpenFiles &openFiles()
{
    static OpenFiles files;
    return files;
}
} // namespace

void Connection::attach()
{
    const QString key = isServerName(path_) ? path_ : QFileInfo(path_).absoluteFilePath();
    const FileId now = fileIdOf(path_);
    {
        std::lock_guard<std::mutex> lock(openFiles().mutex);
        for (const FileId &open : openFiles().byPath[key])
            if (open != now)
                throw DbError(QStringLiteral("数据库文件 %1 已经被替换或删除，程序还有一个连接在使用原来的文件。请稍后再试。")
                                  .arg(QDir::toNativeSeparators(path_)));
    }
    att_ = attachDatabase(path_, user_, password_);
    lost_ = false;
    // Remembered as the file it is now, to notice when the path comes to
    // name another one.
    file_ = now;
    fileKey_ = key;
    std::lock_guard<std::mutex> lock(openFiles().mutex);
    openFiles().byPath[key].push_back(now);
}

void Connection::forgetFile()
{
    if (fileKey_.isEmpty())
        return;
    std::lock_guard<std::mutex> lock(openFiles().mutex);
    auto it = openFiles().byPath.find(fileKey_);
    if (it != openFiles().byPath.end()) {
        std::vector<FileId> &open = it->second;
        const auto one = std::find(open.begin(), open.end(), file_);
        if (one != open.end())
            open.erase(one);
        if (open.empty())
            openFiles().byPath.erase(it);
    }
    fileKey_.clear();
    file_ = {};
}

void Connection::dropAttachment()
{
    releaseQueries();
    discard(unit_);
    if (att_) {
        IStatus *raw = master()->getStatus();
        CheckStatusWrapper st(raw);
        att_->detach(&st);
        if (st.getState() & IStatus::STATE_ERRORS)
            att_->release();
        raw->dispose();
        att_ = nullptr;
    }
    readers_ = 0;
    lost_ = false;
    forgetFile();
}

void Connection::followFile()
{
    if (!att_ || lost_ || openTransactions() != 0 || !fileReplaced())
        return;
    try {
        ensureOpen();
    } catch (const DbError &) {
        // The next action that needs the file says what is wrong with it.
    }
}

void Connection::ensureOpen()
{
    // Nothing is read from the old file any more: move to the new one.
    if (att_ && !lost_ && openTransactions() == 0 && fileReplaced()) {
        lost_ = true;
        movedUntold_ = true;
    }
    if (att_ && lost_)
        dropAttachment();
    if (!att_) {
        try {
            attach();
        } catch (...) {
            // A failure to open the path says as much as the refusal of a
            // unit would: the file is not the one it was.
            movedUntold_ = false;
            throw;
        }
    }
}

ITransaction *Connection::startTransaction(const QByteArray &tpb)
{
    // An attachment the engine ended shows it only when used: once the
    // start of a transaction says so, attach afresh and start again, since
    // nothing has been done in it yet.
    for (int attempt = 0;; ++attempt) {
        ensureOpen();
        try {
            return Guard::run(this, [&] {
                Status st;
                return att_->startTransaction(&st, unsigned(tpb.size()),
                                              reinterpret_cast<const unsigned char *>(tpb.constData()));
            });
        } catch (const DbError &) {
            if (!lost_ || attempt > 0)
                throw;
        }
    }
}

ITransaction *Connection::statementTransaction(bool &own)
{
    // own is set only once the transaction is there: starting it may
    // attach afresh, which lets go of every query, the asking one too.
    if (unit_) {
        own = false;
        return unit_;
    }
    ITransaction *t = startTransaction(reads_ == Reads::Snapshot ? SnapshotTpb : ReadCommittedTpb);
    ++readers_;
    own = true;
    endReadsWhenIdle();
    return t;
}

void Connection::endReadsWhenIdle()
{
    // Only the application's thread waits for the user in its event loop;
    // the scans on threads of their own end with their statements.
    const QCoreApplication *app = QCoreApplication::instance();
    if (idleCallPending_ || !app || QThread::currentThread() != app->thread())
        return;
    if (!idle_)
        idle_ = std::make_unique<QObject>();
    idleCallPending_ = true;
    QTimer::singleShot(0, idle_.get(), [this] {
        idleCallPending_ = false;
        for (Query *q : queries_)
            if (q->ownTra_)
                q->letGo();
    });
}

void Connection::countDown(Fault &fault, const char *what)
{
    if (fault.countdown > 0 && --fault.countdown == 0) {
        QList<qint64> codes;
        if (fault.code)
            codes.append(fault.code);
        throw DbError(QStringLiteral("Injected failure of a %1").arg(QLatin1String(what)), codes, fault.osError);
    }
}

void Connection::endRead(ITransaction *&t)
{
    if (!t)
        return;
    // It only read: a failed commit loses nothing.
    IStatus *raw = master()->getStatus();
    CheckStatusWrapper st(raw);
    t->commit(&st);
    if (st.getState() & IStatus::STATE_ERRORS) {
        if (attachmentLost(&st))
            lost_ = true;
        discard(t);
    }
    raw->dispose();
    t = nullptr;
    if (readers_ > 0)
        --readers_;
}

void Connection::countStatement()
{
    countDown(statementFault_, "statement");
}

void Connection::closeCursorsIn(ITransaction *t)
{
    for (Query *q : queries_)
        if (q->tra_ == t)
            q->close();
}

void Connection::runUnit(const std::function<void()> &fn)
{
    if (unit_) {
        fn();
        return;
    }
    unit_ = startTransaction(UnitTpb);
    try {
        if (movedUntold_) {
            movedUntold_ = false;
            throw DbError(fileChangedMessage());
        }
        fn();
        closeCursorsIn(unit_);
        if (fileReplaced()) {
            lost_ = true; // the next action attaches to what the path names now
            throw DbError(fileChangedMessage());
        }
        countDown(commitFault_, "commit");
        Guard::run(this, [&] {
            Status st;
            unit_->commit(&st);
        });
        unit_ = nullptr;
    } catch (...) {
        closeCursorsIn(unit_);
        discard(unit_);
        throw;
    }
}

QString Connection::fileChangedMessage() const
{
    return QStringLiteral("数据库文件 %1 已经被替换或删除，这次修改没有保存。下一次操作将打开这个路径现在的文件。")
        .arg(QDir::toNativeSeparators(path_));
}

void Connection::failOnStatement(int n, qint64 code, int osError)
{
    statementFault_ = {n, code, osError};
}

void Connection::failOnCommit(int n, qint64 code, int osError)
{
    commitFault_ = {n, code, osError};
}

void Connection::releaseQueries()
{
    for (Query *q : queries_)
        q->release();
}

void Connection::close()
{
    if (!att_)
        return;
    releaseQueries();
    discard(unit_);
    readers_ = 0;
    IAttachment *att = att_;
    att_ = nullptr;
    forgetFile();
    const bool lost = lost_;
    lost_ = false;
    try {
        guarded([&] {
            Status st;
            att->detach(&st);
        });
    } catch (...) {
        att->release();
        // One the engine had ended already is closed all the same.
        if (!lost)
            throw;
    }
}

void Connection::cancelOperation()
{
    IAttachment *att = att_;
    if (!att)
        return;
    // Not through guarded(): "nothing to cancel" is no error here.
    IStatus *raw = master()->getStatus();
    CheckStatusWrapper st(raw);
    att->cancelOperation(&st, fb_cancel_raise);
    raw->dispose();
}

namespace {
int keepAttachmentsOnSignal(const int reason, const int, void *)
{
    // Non-zero refuses the shutdown the engine asks to confirm.
    return reason == fb_shutrsn_signal ? 1 : 0;
}
} // namespace

void leaveTerminationSignalsToProgram()
{
    static const bool registered = [] {
        ISC_STATUS_ARRAY status;
        fb_shutdown_callback(status, keepAttachmentsOnSignal, fb_shut_confirmation, nullptr);
        return status[0] == 1 && status[1] == 0;
    }();
    Q_UNUSED(registered);
}

// ---------------------------------------------------------------- parameters

ParsedSql parseNamedParams(const QByteArray &sql)
{
    ParsedSql r;
    r.text.reserve(sql.size());
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto isNameChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
    };
    while (i < n) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            r.text.append(sql.mid(i, j - i + 1));
            i = j + 1;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            qsizetype j = sql.indexOf('\n', i);
            if (j < 0)
                j = n;
            r.text.append(sql.mid(i, j - i));
            i = j;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            qsizetype j = sql.indexOf("*/", i + 2);
            j = j < 0 ? n : j + 2;
            r.text.append(sql.mid(i, j - i));
            i = j;
        } else if (c == ':' && i + 1 < n && isNameChar(sql[i + 1])) {
            qsizetype j = i + 1;
            while (j < n && isNameChar(sql[j]))
                ++j;
            r.names.append(QString::fromLatin1(sql.mid(i + 1, j - i - 1)).toUpper());
            r.text.append('?');
            i = j;
        } else {
            r.text.append(c);
            ++i;
        }
    }
    return r;
}

// ---------------------------------------------------------------- Query

Query::Query(Connection &connection) : conn_(&connection)
{
    conn_->registerQuery(this);
}

Query::~Query()
{
    release();
    conn_->unregisterQuery(this);
}

void Query::endTransaction()
{
    if (ownTra_)
        conn_->endRead(tra_);
    tra_ = nullptr;
    ownTra_ = false;
}

void Query::close()
{
    rowValid_ = false;
    if (rs_) {
        try {
            Status st;
            rs_->close(&st);
        } catch (...) {
            rs_->release();
        }
        rs_ = nullptr;
    }
    endTransaction();
}

void Query::letGo()
{
    close();
    letGo_ = true;
}

void Query::release()
{
    close();
    if (outMeta_) {
        outMeta_->release();
        outMeta_ = nullptr;
    }
    if (stmt_) {
        stmt_->release();
        stmt_ = nullptr;
    }
    columns_.clear();
}

void Query::setSql(const QString &sql)
{
    release();
    letGo_ = false;
    sql_ = sql;
    ParsedSql p = parseNamedParams(GbkCodec::encode(sql));
    fbSql_ = p.text;
    paramOrder_ = p.names;
    paramValues_.clear();
    paramNull_.clear();
}

QStringList Query::paramNames() const
{
    QStringList r;
    for (const QString &n : paramOrder_)
        if (!r.contains(n))
            r.append(n);
    return r;
}

void Query::setParam(const QString &name, const QString &value)
{
    const QString key = name.toUpper();
    if (!paramOrder_.contains(key))
        throw DbError(QStringLiteral("Parameter %1 not found").arg(name));
    paramValues_.insert(key, GbkCodec::encode(value));
    paramNull_.remove(key);
}

void Query::setParamBytes(const QString &name, const QByteArray &value)
{
    const QString key = name.toUpper();
    if (!paramOrder_.contains(key))
        throw DbError(QStringLiteral("Parameter %1 not found").arg(name));
    paramValues_.insert(key, value);
    paramNull_.remove(key);
}

void Query::setParamNull(const QString &name)
{
    const QString key = name.toUpper();
    if (!paramOrder_.contains(key))
        throw DbError(QStringLiteral("Parameter %1 not found").arg(name));
    paramValues_.remove(key);
    paramNull_.insert(key, true);
}

void Query::clearParams()
{
    paramValues_.clear();
    paramNull_.clear();
}

void Query::prepare(ITransaction *t)
{
    if (stmt_)
        return;
    Guard::run(conn_, [&] {
        Status st;
        stmt_ = conn_->attachment()->prepare(&st, t, unsigned(fbSql_.size()), fbSql_.constData(), SQL_DIALECT_V6,
                                             IStatement::PREPARE_PREFETCH_METADATA);
    });
    if (unsigned(paramOrder_.size()) != Guard::run(conn_, [&] {
            Status st;
            IMessageMetadata *m = stmt_->getInputMetadata(&st);
            unsigned c = m->getCount(&st);
            m->release();
            return c;
        })) {
        release();
        throw DbError(QStringLiteral("Parameter list does not match the statement"));
    }
}

void Query::bindInput(std::vector<unsigned char> &buf, IMessageMetadata *&meta)
{
    meta = nullptr;
    if (paramOrder_.isEmpty())
        return;
    Status st;
    IMessageMetadata *orig = stmt_->getInputMetadata(&st);
    IMetadataBuilder *b = orig->getBuilder(&st);
    const unsigned n = orig->getCount(&st);
    std::vector<bool> isBlob(n);
    for (unsigned i = 0; i < n; ++i) {
        isBlob[i] = (orig->getType(&st, i) & ~1u) == SQL_BLOB;
        if (isBlob[i])
            continue;
        const QByteArray &v = paramValues_.value(paramOrder_[int(i)]);
        // The value's length travels in two bytes: a longer one would be cut
        // short without an error. No text column holds more than this anyway.
        if (v.size() > MaxTextParamBytes) {
            b->release();
            orig->release();
            throw DbError(QStringLiteral("参数 %1 的文本太长（%2 字节，最多 %3 字节）")
                              .arg(paramOrder_[int(i)])
                              .arg(v.size())
                              .arg(MaxTextParamBytes));
        }
        b->setType(&st, i, SQL_VARYING + 1);
        b->setSubType(&st, i, 0);
        b->setScale(&st, i, 0);
        b->setCharSet(&st, i, 0 /* NONE */);
        b->setLength(&st, i, unsigned(qMax<qsizetype>(v.size(), 1)));
    }
    orig->release();
    meta = b->getMetadata(&st);
    b->release();
    buf.assign(meta->getMessageLength(&st), 0);
    for (unsigned i = 0; i < n; ++i) {
        const QString &name = paramOrder_[int(i)];
        short *nullInd = reinterpret_cast<short *>(&buf[meta->getNullOffset(&st, i)]);
        unsigned char *data = &buf[meta->getOffset(&st, i)];
        if (!paramValues_.contains(name)) {
            *nullInd = -1;
            continue;
        }
        *nullInd = 0;
        const QByteArray &v = paramValues_[name];
        if (isBlob[i]) {
            ISC_QUAD id;
            IBlob *blob = conn_->attachment()->createBlob(&st, tra_, &id, 0, nullptr);
            try {
                for (qsizetype off = 0; off < v.size(); off += 32768) {
                    const qsizetype len = qMin<qsizetype>(32768, v.size() - off);
                    blob->putSegment(&st, unsigned(len), v.constData() + off);
                }
                blob->close(&st);
            } catch (...) {
                blob->release();
                throw;
            }
            std::memcpy(data, &id, sizeof id);
        } else {
            const auto len = quint16(v.size());
            std::memcpy(data, &len, sizeof len);
            std::memcpy(data + 2, v.constData(), size_t(v.size()));
        }
    }
}

void Query::setupOutput()
{
    columns_.clear();
    Status st;
    IMessageMetadata *orig = stmt_->getOutputMetadata(&st);
    const unsigned n = orig->getCount(&st);
    IMetadataBuilder *b = orig->getBuilder(&st);
    for (unsigned i = 0; i < n; ++i) {
        Column c;
        c.name = GbkCodec::decode(QByteArray(orig->getAlias(&st, i)));
        const unsigned type = orig->getType(&st, i) & ~1u;
        c.blob = type == SQL_BLOB;
        if (!c.blob) {
            unsigned len = 64;
            if (type == SQL_TEXT || type == SQL_VARYING)
                len = qMax(orig->getLength(&st, i), 1u);
            b->setType(&st, i, SQL_VARYING + 1);
            b->setSubType(&st, i, 0);
            b->setScale(&st, i, 0);
            b->setCharSet(&st, i, 0 /* NONE */);
            b->setLength(&st, i, len);
        }
        columns_.push_back(c);
    }
    orig->release();
    outMeta_ = b->getMetadata(&st);
    b->release();
    for (unsigned i = 0; i < n; ++i) {
        columns_[i].offset = outMeta_->getOffset(&st, i);
        columns_[i].nullOffset = outMeta_->getNullOffset(&st, i);
    }
    outBuf_.assign(outMeta_->getMessageLength(&st), 0);
}

void Query::run(bool rows)
{
    close();
    letGo_ = false;
    tra_ = conn_->statementTransaction(ownTra_);
    try {
        prepare(tra_);
        conn_->countStatement();
        Guard::run(conn_, [&] {
            Status st;
            std::vector<unsigned char> inBuf;
            IMessageMetadata *inMeta = nullptr;
            try {
                bindInput(inBuf, inMeta);
                unsigned char *in = inBuf.empty() ? nullptr : inBuf.data();
                if (rows) {
                    if (!outMeta_)
                        setupOutput();
                    rs_ = stmt_->openCursor(&st, tra_, inMeta, in, outMeta_, 0);
                } else {
                    stmt_->execute(&st, tra_, inMeta, in, nullptr, nullptr);
                }
            } catch (...) {
                if (inMeta)
                    inMeta->release();
                throw;
            }
            if (inMeta)
                inMeta->release();
        });
    } catch (...) {
        close();
        throw;
    }
}

void Query::open()
{
    run(true);
    fetch();
}

void Query::execute()
{
    run(false);
    close();
}

void Query::fetch()
{
    if (!rs_) {
        rowValid_ = false;
        return;
    }
    int r;
    try {
        r = Guard::run(conn_, [&] {
            Status st;
            return rs_->fetchNext(&st, outBuf_.data());
        });
    } catch (...) {
        close();
        throw;
    }
    rowValid_ = r == IStatus::RESULT_OK;
    if (!rowValid_)
        close();
}

void Query::next()
{
    if (letGo_)
        throw DbError(QStringLiteral("The rows of \"%1\" were let go while the program waited; run it again").arg(sql_));
    fetch();
}

QString Query::fieldName(int i) const
{
    return column(i).name;
}

int Query::fieldIndex(const QString &name) const
{
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

int Query::checkedIndex(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    return i;
}

const Query::Column &Query::column(int i) const
{
    if (i < 0 || size_t(i) >= columns_.size())
        throw DbError(QStringLiteral("Field index %1 out of range").arg(i));
    return columns_[size_t(i)];
}

bool Query::isNull(int i) const
{
    const Column &c = column(i);
    if (!rowValid_)
        throw DbError(QStringLiteral("No current row"));
    return *reinterpret_cast<const short *>(&outBuf_[c.nullOffset]) != 0;
}

bool Query::isNull(const QString &name) const
{
    return isNull(checkedIndex(name));
}

QByteArray Query::fieldBytes(int i) const
{
    if (isNull(i))
        return {};
    const Column &c = column(i);
    const unsigned char *data = &outBuf_[c.offset];
    if (!c.blob) {
        quint16 len;
        std::memcpy(&len, data, sizeof len);
        return QByteArray(reinterpret_cast<const char *>(data + 2), len);
    }
    ISC_QUAD id;
    std::memcpy(&id, data, sizeof id);
    return Guard::run(conn_, [&] {
        Status st;
        QByteArray out;
        IBlob *blob = conn_->attachment()->openBlob(&st, tra_, &id, 0, nullptr);
        try {
            char buf[32768];
            for (;;) {
                unsigned got = 0;
                const int r = blob->getSegment(&st, sizeof buf, buf, &got);
                if (r == IStatus::RESULT_NO_DATA)
                    break;
                out.append(buf, qsizetype(got));
            }
            blob->close(&st);
        } catch (...) {
            blob->release();
            throw;
        }
        return out;
    });
}

QString Query::field(int i) const
{
    return GbkCodec::decode(fieldBytes(i));
}

QString Query::field(const QString &name) const
{
    return field(checkedIndex(name));
}

// ---------------------------------------------------------------- create

void createDatabase(const QString &path, const QByteArray &user, const QByteArray &password,
                    const QStringList &statements)
{
    if (!isServerName(path) && QFileInfo::exists(path))
        throw DbError(QStringLiteral("File %1 already exists; it is left untouched").arg(path));
    guarded([&] {
        Status st;
        const QByteArray dpb = dpbFor(&st, path, user, password, true);
        IProvider *prov = master()->getDispatcher();
        IAttachment *att = nullptr;
        try {
            att = prov->createDatabase(&st, QFile::encodeName(path).constData(), unsigned(dpb.size()),
                                       reinterpret_cast<const unsigned char *>(dpb.constData()));
            for (const QString &s : statements) {
                const QByteArray sql = GbkCodec::encode(s);
                ITransaction *tra = att->startTransaction(&st, 0, nullptr);
                att->execute(&st, tra, unsigned(sql.size()), sql.constData(), SQL_DIALECT_V6, nullptr, nullptr,
                             nullptr, nullptr);
                tra->commit(&st);
            }
            att->detach(&st);
            att = nullptr;
        } catch (...) {
            if (att) {
                try {
                    Status st2;
                    att->dropDatabase(&st2);
                } catch (...) {
                    att->release();
                }
            }
            prov->release();
            throw;
        }
        prov->release();
    });
}

} // namespace mv::db
