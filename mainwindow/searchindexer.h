#pragma once

// Builds the search index in the background on a connection of its own and
// keeps it in step with every change the program commits. Until it is
// ready (or after anything went wrong with it) index() is null and the
// search asks the database. Once replaced and deleted documents have left
// enough behind, the index is made again from its living documents on a
// thread of its own, and takes the place of the old one; searches go on
// meanwhile.

#include "UnitDM.h"
#include "searchindex.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class SearchIndexer : public QObject, public DocumentListener
{
    Q_OBJECT
public:
    // Listens to dm's store.
    explicit SearchIndexer(TmvlabDm &dm, QObject *parent = nullptr);
    ~SearchIndexer() override;

    // Starts building unless a build runs or the index is ready.
    void start();
    bool building() const { return worker_.joinable() && !index_; }
    // The index is being made again from its living documents.
    bool compacting() const { return compacting_; }
    const SearchIndex *index() const { return index_.get(); }
    std::shared_ptr<const SearchIndex> shared() const { return index_; }
    // The index to search: none (and a build started) when the database's
    // path has come to name another file than the one it was built from
    // (restored, synchronised), whose documents it does not hold.
    std::shared_ptr<const SearchIndex> current();
    // For tests: runs on the building thread once the build's view of the
    // table is fixed, before any row is indexed.
    void setBuildHook(std::function<void()> hook) { buildHook_ = std::move(hook); }
    // Wall time of the last completed build, in ms.
    double buildMs() const { return buildMs_; }

    void documentWritten(const QString &id) override;
    void documentDeleted(const QString &id) override;
    void categoryDocumentsDeleted(const QStringList &typeIds) override;

signals:
    // The index became ready (after catching up on the changes made while
    // it was built).
    void ready();
    // A build or an update failed; the search uses the database again.
    void failed(const QString &message);

private:
    struct Change {
        // Either document id is read again (written or deleted alike), or the
        // documents of typeIds are dropped.
        enum Kind { Reread, CategoriesEmptied } kind;
        QString id;
        QStringList typeIds;
    };
    void apply(const Change &c);
    void record(Change c);
    void compactWhenDue();
    void built(const QString &error, double ms);
    void drop(const QString &message);
    void join();

    TmvlabDm &dm_;
    std::shared_ptr<SearchIndex> index_;
    std::vector<Change> pending_; // changes made while a build or compaction runs
    std::thread worker_;
    std::mutex resultMutex_;
    std::unique_ptr<SearchIndex> result_; // from the worker
    mv::db::Connection::FileId resultFrom_; // the file it read, with result_
    mv::db::Connection::FileId builtFrom_;  // the file index_ holds
    std::atomic_bool cancel_{false};
    double buildMs_ = 0;
    bool compacting_ = false;
    std::function<void()> buildHook_;
};
