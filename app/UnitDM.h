#pragma once

#include "fbsql.h"

#include <QString>
#include <QStringList>

// Told of every change to DOCUMENTS this program commits, so that what is
// held of the documents in memory stays in step with the file at once.
// Other writers' changes reach it through the database's change log; a
// database on a server also announces them by events (mv::ChangeEvents).
class DocumentListener
{
public:
    virtual ~DocumentListener() = default;
    // Inserted or updated.
    virtual void documentWritten(const QString &id) = 0;
    virtual void documentDeleted(const QString &id) = 0;
    // Every document filed under these categories was deleted.
    virtual void categoryDocumentsDeleted(const QStringList &typeIds) = 0;
};

// The data module: the program's connection to the database file and the
// shared statement that several windows load texts into. Reads run in short
// transactions of their own, changes in units (see mv::db::Connection).
class TmvlabDm
{
public:
    static constexpr const char *DatabaseFileName = "mvlabnew.fdb";
    static constexpr const char *UserName = "sysdba";
    static constexpr const char *Password = "quillmoss";

    // The database beside the program file.
    TmvlabDm();
    // A database elsewhere (tests, tools).
    explicit TmvlabDm(const QString &databasePath);
    ~TmvlabDm();

    static QString defaultDatabasePath();

    mv::db::Connection IBDatabaseMV;
    mv::db::Query IBQueryTemp;

    // Runs a group of changes; they become durable together or not at all.
    void runUnit(const std::function<void()> &fn) { IBDatabaseMV.runUnit(fn); }

    // One listener at a time (the search index); null for none.
    void setDocumentListener(DocumentListener *l) { listener_ = l; }
    DocumentListener *documentListener() const { return listener_; }
    // Called by whoever committed the change.
    void documentWritten(const QString &id)
    {
        ++ownDocumentCommits_;
        if (listener_)
            listener_->documentWritten(id);
    }
    void documentDeleted(const QString &id)
    {
        ++ownDocumentCommits_;
        if (listener_)
            listener_->documentDeleted(id);
    }
    void categoryDocumentsDeleted(const QStringList &typeIds)
    {
        ++ownDocumentCommits_;
        if (listener_)
            listener_->categoryDocumentsDeleted(typeIds);
    }
    // Of commits commits to DOCUMENTS that the database announced, how many
    // others made: those this program made itself (and told its listener
    // of) are taken off, and counted as announced.
    int othersOf(int commits)
    {
        const int own = qMin(commits, ownDocumentCommits_);
        ownDocumentCommits_ -= own;
        return commits - own;
    }

private:
    void DataModuleCreate(const QString &path);
    DocumentListener *listener_ = nullptr;
    int ownDocumentCommits_ = 0;
};

extern TmvlabDm *mvlabDm;
