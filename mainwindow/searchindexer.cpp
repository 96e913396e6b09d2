#include "searchindexer.h"

#include "fbsql.h"

#include <QElapsedTimer>
#include <QMetaObject>

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
    worker_ = std::thread([this, path, hook = buildHook_] {
        QElapsedTimer t;
        t.start();
        std::unique_ptr<SearchIndex> result;
        mv::db::Connection::FileId from;
        QString error;
        try {
            mv::db::Connection c(path, TmvlabDm::UserName, TmvlabDm::Password);
            // One view of the table for the whole scan.
            c.setReads(mv::db::Connection::Reads::Snapshot);
            result = SearchIndex::load(c, &cancel_, hook);
            from = c.openFile();
            c.close();
        } catch (const mv::db::DbError &e) {
            error = e.message();
        } catch (const std::exception &e) {
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
        start();
    }
    return index_;
}

void SearchIndexer::compactWhenDue()
{
    if (!index_ || worker_.joinable() || !index_->wantsCompaction())
        return;
    cancel_ = false;
    pending_.clear();
    compacting_ = true;
    // The copies share their contents with the index; the thread reads only
    // them, while this one goes on changing the index.
    worker_ = std::thread([this, docs = index_->livingDocuments()]() mutable {
        QElapsedTimer t;
        t.start();
        // Cancelled, it hands back nothing, so that the thread is joined.
        std::unique_ptr<SearchIndex> result = SearchIndex::fromDocuments(std::move(docs), &cancel_);
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
    std::unique_ptr<SearchIndex> owned;
    mv::db::Connection::FileId from;
    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        owned = std::move(result_);
        from = resultFrom_;
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
    }
    const std::vector<Change> changes = std::move(pending_);
    pending_.clear();
    for (const Change &c : changes) {
        apply(c);
        if (!index_)
            return;
    }
    if (!compaction)
        emit ready();
}

void SearchIndexer::record(Change c)
{
    // While a build or a compaction runs, what it makes has to catch up
    // with the change too.
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
