#pragma once

#include "fbsql.h"

#include <QString>

// The data module: the only connection to the database file, the run's one
// transaction and the shared statement that several windows load texts into.
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

    // Thin view of the connection's transaction, named as the windows know it.
    class Transaction
    {
    public:
        explicit Transaction(mv::db::Connection &c) : c_(c) {}
        bool active() const { return c_.inTransaction(); }
        void commitRetaining() { c_.commit(); }
        void rollbackRetaining() { c_.rollback(); }

    private:
        mv::db::Connection &c_;
    };

    mv::db::Connection IBDatabaseMV;
    Transaction IBTmv;
    mv::db::Query IBQueryTemp;

    // Runs a group of changes; they become durable together or not at all.
    void runUnit(const std::function<void()> &fn) { IBDatabaseMV.runUnit(fn); }

private:
    void DataModuleCreate(const QString &path);
};

extern TmvlabDm *mvlabDm;
