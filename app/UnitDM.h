#pragma once

#include "documentstore.h"
#include "fbsql.h"

#include <QString>
#include <QStringList>

// The search index's view of the store's change notices.
using DocumentListener = mv::StoreListener;

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

    // Every write goes through the store, which tells its listeners.
    mv::DocumentStore &store() { return store_; }

private:
    void DataModuleCreate(const QString &path);
    mv::DocumentStore store_{*this};
};

extern TmvlabDm *mvlabDm;
