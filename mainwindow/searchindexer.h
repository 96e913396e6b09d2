#pragma once

// Makes the search index ready in the background on a connection of its
// own: opened from its file beside the database and caught up with the
// database's change log, or, when the file is missing, damaged or not the
// database's, built from the table and written to the file. It is kept in
// step through the change log, which records every writer's changes; a
// database the log cannot be added to is kept in step with the program's
// own changes only, in memory. Until the index is ready (or after anything
// went wrong with it) index() is null and the search asks the database.
// Once replaced, deleted and new documents have left enough behind, the
// index is made again from its living documents on a thread of its own,
// written, and takes the place of the old one; searches go on meanwhile.

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
    // Wall time of the last completed build (or opening), in ms.
    double buildMs() const { return buildMs_; }
    // The last index was opened from its file rather than built.
    bool openedFromFile() const { return openedFromFile_; }
    // Why the file was not used at the last start (empty when it was).
    QString fileNote() const { return fileNote_; }

    // Applies the change log's entries after what the index covers (changes
    // committed by this program or any other writer). Safe to call at any
    // time on the window's thread: nothing happens without an index, and a
    // build or compaction running catches up when it is done. Many changes
    // at once hand the index back to the background, the database answering
    // meanwhile.
    void catchUp();

    // Another connection (another machine) committed changes to documents
    // that this program was not told of one by one. With the change log the
    // index applies it from where it stopped; without one (no index yet, or
    // a database the log could not be added to) it is built again while
    // searches ask the database.
    void othersChangedDocuments();

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
    bool resultLogged_ = false;             // the database keeps a change log
    quint64 resultTag_ = 0;
    bool resultOpened_ = false; // from the file
    QString resultNote_;
    bool logged_ = false;
    quint64 tag_ = 0;
    bool openedFromFile_ = false;
    QString fileNote_;
    bool fileReplaced_ = false; // the next start builds from the table
    mv::db::Connection::FileId builtFrom_;  // the file index_ holds
    std::atomic_bool cancel_{false};
    double buildMs_ = 0;
    bool compacting_ = false;
    // Others changed documents while a build or compaction ran: its result
    // may miss that, so it is built again once done.
    bool rebuildWanted_ = false;
    std::function<void()> buildHook_;
};
