#include "searchindexer.h"

#include "changelog.h"
#include "fbsql.h"
#include "schema.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace {

// More changes than this are read on the background thread rather than
// one by one on the window's.
constexpr size_t WindowCatchUp = 500;
// More than this, and the index is made afresh from the table.
constexpr size_t FileCatchUp = 20000;

} // namespace

SearchIndexer::SearchIndexer(TmvlabDm &dm, QObject *parent) : QObject(parent), dm_(dm)
{
    dm_.store().addListener(this);
}

SearchIndexer::~SearchIndexer()
{
    dm_.store().removeListener(this);
    cancel_ = true;
    join();
}

void SearchIndexer::join()
{
    if (worker_.joinable())
        worker_.join();
}

void SearchIndexer::start()
{
    if (index_ || worker_.joinable())
        return;
    cancel_ = false;
    pending_.clear();
    const QString path = dm_.IBDatabaseMV.databaseName();
    // Changes from now on are recorded, so whatever the build's snapshot
    // missed is read again once it is done.
    // A file put in the database's place may share its history up to a
    // point and differ after it: the index file is not trusted for it.
    const bool useFile = !fileReplaced_;
    fileReplaced_ = false;
    worker_ = std::thread([this, path, hook = buildHook_, useFile] {
        QElapsedTimer t;
        t.start();
        std::unique_ptr<SearchIndex> result;
        mv::db::Connection::FileId from;
        QString error, note;
        bool logged = false, opened = false;
        quint64 tag = 0;
        try {
            mv::db::Connection c(path, TmvlabDm::UserName, TmvlabDm::Password);
            try {
                mv::ensureChangeLog(c);
                tag = mv::databaseTag(c);
                logged = true;
            } catch (const mv::db::DbError &e) {
                // A file that takes no change log (read-only) is indexed
                // in memory as before.
                note = QStringLiteral("no change log: ") + e.message();
            }
            const QString file = SearchIndex::pathFor(path);
            if (logged && !useFile)
                note = QStringLiteral("database file replaced");
            if (logged && useFile) {
                result = SearchIndex::open(file, tag, &note);
                if (result) {
                    const LogChanges changes = readChangeLog(c, result->position());
                    if (changes.lost || changes.ids.size() > FileCatchUp) {
                        note = QStringLiteral("behind the change log");
                        result.reset();
                    } else {
                        for (const qint64 id : changes.ids)
                            result->refresh(c, QString::number(id));
                        result->setPosition(changes.next);
                        opened = true;
                    }
                }
            }
            if (!result) {
                const LogPosition position = logged ? logPositionBeforeScan(c) : LogPosition();
                // One view of the table for the whole scan.
                c.setReads(mv::db::Connection::Reads::Snapshot);
                result = SearchIndex::load(c, &cancel_, hook);
                c.setReads(mv::db::Connection::Reads::ReadCommitted);
                if (result && logged) {
                    result->setPosition(position);
                    if (const QString failure = result->write(file, tag); !failure.isEmpty()) {
                        // Kept in memory; the next start builds again.
                        note = QStringLiteral("not written: ") + failure;
                    } else if (auto mapped = SearchIndex::open(file, tag, &note)) {
                        result = std::move(mapped);
                        try {
                            pruneChangeLog(c, position.seq);
                        } catch (const mv::db::DbError &) {
                            // The log stays longer; nothing is lost.
                        }
                    }
                }
            }
            from = c.openFile();
            c.close();
        } catch (const mv::db::DbError &e) {
            result.reset();
            error = e.message();
        } catch (const std::exception &e) {
            result.reset();
            error = QString::fromLocal8Bit(e.what());
        }
        if (!result && error.isEmpty())
            return; // cancelled
        const double ms = t.nsecsElapsed() / 1e6;
        {
            // Handed over through a member: a result the window never
            // collects (it closed first) is freed with the indexer.
            std::lock_guard<std::mutex> lock(resultMutex_);
            result_ = std::move(result);
            resultFrom_ = from;
            resultLogged_ = logged;
            resultTag_ = tag;
            resultOpened_ = opened;
            resultNote_ = note;
        }
        QMetaObject::invokeMethod(this, [this, error, ms] { built(error, ms); }, Qt::QueuedConnection);
    });
}

std::shared_ptr<const SearchIndex> SearchIndexer::current()
{
    // The program's connection moves to a new file first: a build started
    // while it still has the old one open would be given the old one.
    dm_.IBDatabaseMV.followFile();
    if (index_ && mv::db::Connection::fileIdOf(dm_.IBDatabaseMV.databaseName()) != builtFrom_) {
        index_.reset();
        cancel_ = true; // a compaction of it is of no use either
        fileReplaced_ = true;
        start();
    }
    return index_;
}

void SearchIndexer::othersChangedDocuments()
{
    if (index_ && logged_) {
        // The change log names the documents; a compaction under way
        // catches up from it when it ends.
        catchUp();
        return;
    }
    if (worker_.joinable()) {
        rebuildWanted_ = true;
        return;
    }
    if (!index_)
        return; // none yet: the next search starts a build
    index_.reset();
    start();
}

void SearchIndexer::compactWhenDue()
{
    if (!index_ || worker_.joinable() || !index_->wantsCompaction())
        return;
    cancel_ = false;
    pending_.clear();
    compacting_ = true;
    // The copies share their contents with the index (or its file, kept
    // open for them); the thread reads only them, while this one goes on
    // changing the index.
    const QString database = dm_.IBDatabaseMV.databaseName();
    const QString file = logged_ ? SearchIndex::pathFor(database) : QString();
    worker_ = std::thread([this, docs = index_->livingDocuments(), storage = index_->storage(),
                           position = index_->position(), database, file, tag = tag_]() mutable {
        QElapsedTimer t;
        t.start();
        // Cancelled, it hands back nothing, so that the thread is joined.
        std::unique_ptr<SearchIndex> result = SearchIndex::fromDocuments(std::move(docs), &cancel_);
        if (result && !file.isEmpty()) {
            result->setPosition(position);
            // Written, the new index reads its contents from its own file;
            // not written, it keeps them in memory and the old file stays.
            if (result->write(file, tag).isEmpty()) {
                if (auto mapped = SearchIndex::open(file, tag))
                    result = std::move(mapped);
                // The log behind the file is no longer needed.
                try {
                    mv::db::Connection c(database, TmvlabDm::UserName, TmvlabDm::Password);
                    pruneChangeLog(c, position.seq);
                    c.close();
                } catch (const mv::db::DbError &) {
                    // The log stays longer; nothing is lost.
                }
            }
        }
        storage.reset();
        const double ms = t.nsecsElapsed() / 1e6;
        {
            std::lock_guard<std::mutex> lock(resultMutex_);
            result_ = std::move(result);
        }
        QMetaObject::invokeMethod(this, [this, ms] { built(QString(), ms); }, Qt::QueuedConnection);
    });
}

void SearchIndexer::built(const QString &error, double ms)
{
    join();
    bool resultLogged = false;
    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        resultLogged = result_ && resultLogged_;
    }
    // Others' changes made during the build: an index with the change log
    // catches up from it below; only one without is made again.
    if (rebuildWanted_ && resultLogged)
        rebuildWanted_ = false;
    if (rebuildWanted_) {
        rebuildWanted_ = false;
        {
            std::lock_guard<std::mutex> lock(resultMutex_);
            result_.reset();
        }
        compacting_ = false;
        pending_.clear();
        index_.reset();
        start();
        return;
    }
    std::unique_ptr<SearchIndex> owned;
    mv::db::Connection::FileId from;
    bool logged = false, opened = false;
    quint64 tag = 0;
    QString note;
    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        owned = std::move(result_);
        from = resultFrom_;
        logged = resultLogged_;
        tag = resultTag_;
        opened = resultOpened_;
        note = resultNote_;
    }
    const bool compaction = compacting_;
    compacting_ = false;
    if (compaction && (!index_ || !owned)) {
        // The index was dropped meanwhile; a search builds it anew.
        pending_.clear();
        return;
    }
    if (!owned) {
        pending_.clear();
        emit failed(error);
        return;
    }
    // A list showing rows of the old index keeps it until it lets go.
    index_ = std::move(owned);
    if (!compaction) {
        buildMs_ = ms;
        builtFrom_ = from;
        logged_ = logged;
        tag_ = tag;
        openedFromFile_ = opened;
        fileNote_ = note;
    }
    const std::vector<Change> changes = std::move(pending_);
    pending_.clear();
    if (logged_) {
        // The log holds whatever was committed meanwhile.
        catchUp();
    } else {
        for (const Change &c : changes) {
            apply(c);
            if (!index_)
                return;
        }
    }
    if (!compaction && index_)
        emit ready();
}

void SearchIndexer::catchUp()
{
    if (!index_ || !logged_)
        return;
    try {
        const LogChanges changes = readChangeLog(dm_.IBDatabaseMV, index_->position());
        if (changes.lost || changes.ids.size() > WindowCatchUp) {
            // Made ready again in the background; the database answers
            // meanwhile.
            index_.reset();
            cancel_ = true;
            start();
            return;
        }
        for (const qint64 id : changes.ids)
            index_->refresh(dm_.IBDatabaseMV, QString::number(id));
        index_->setPosition(changes.next);
    } catch (const mv::db::DbError &e) {
        // An index that missed a change would find the wrong rows.
        drop(e.message());
        return;
    } catch (const std::exception &e) {
        drop(QString::fromLocal8Bit(e.what()));
        return;
    }
    compactWhenDue();
}

void SearchIndexer::record(Change c)
{
    if (logged_ && index_) {
        catchUp();
        return;
    }
    // While a build or a compaction runs, what it makes has to catch up
    // with the change too (from the log when the database keeps one).
    if (worker_.joinable())
        pending_.push_back(c);
    if (index_) {
        apply(c);
        compactWhenDue();
    }
}

void SearchIndexer::apply(const Change &c)
{
    try {
        switch (c.kind) {
        case Change::Reread:
            // Read back what the file now holds, whatever the change was.
            index_->refresh(dm_.IBDatabaseMV, c.id);
            break;
        case Change::CategoriesEmptied:
            index_->removeCategories(c.typeIds);
            break;
        }
    } catch (const mv::db::DbError &e) {
        // An index that missed a change would find the wrong rows.
        drop(e.message());
    } catch (const std::exception &e) {
        drop(QString::fromLocal8Bit(e.what()));
    }
}

void SearchIndexer::drop(const QString &message)
{
    index_.reset();
    cancel_ = true; // a compaction of it is of no use now
    emit failed(message);
}

void SearchIndexer::documentWritten(const QString &id)
{
    record({Change::Reread, id, {}});
}

void SearchIndexer::documentDeleted(const QString &id)
{
    record({Change::Reread, id, {}});
}

void SearchIndexer::categoryDocumentsDeleted(const QStringList &typeIds)
{
    record({Change::CategoriesEmptied, {}, typeIds});
}
