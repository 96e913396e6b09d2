#pragma once

#include "fbsql.h"

#include <QString>
#include <QStringList>

// Told of every change to DOCUMENTS once it is committed, so that what is
// held of the documents in memory stays in step with the file at once
// (other writers' changes reach it through the database's change log).
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
        if (listener_)
            listener_->documentWritten(id);
    }
    void documentDeleted(const QString &id)
    {
        if (listener_)
            listener_->documentDeleted(id);
    }
    void categoryDocumentsDeleted(const QStringList &typeIds)
    {
        if (listener_)
            listener_->categoryDocumentsDeleted(typeIds);
    }

private:
    void DataModuleCreate(const QString &path);
    DocumentListener *listener_ = nullptr;
};

extern TmvlabDm *mvlabDm;
