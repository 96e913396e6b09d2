#pragma once

#include <QStringList>

namespace mv::db {
class Connection;
}

namespace mv {

// The widths of the two text columns, in bytes of the stored encoding.
inline constexpr int TitleBytes = 100;
inline constexpr int TypeNameBytes = 200;

// The statements that give a new database file its two tables and the
// first category (categories can only be added below an existing one).
QStringList schemaStatements();

// Every committed insert, update and delete of a document appends its id to
// MV_CHANGE_LOG under a number from MV_CHANGE_SEQ, written by triggers in the
// writer's own transaction, so that whatever is kept of the documents
// outside the file (the search index) can prove what it has seen.
// MV_DATABASE_TAG holds a random number given when the log is made: an
// index made from one file is not taken for another's.
QStringList changeLogStatements();

// Adds the change log to a file that lacks it (or part of it); nothing
// happens when it is all there. Throws DbError when it cannot be added.
void ensureChangeLog(db::Connection &c);

// The file's tag (see changeLogStatements).
quint64 databaseTag(db::Connection &c);

// Creates a database file with the schema at path; refuses an existing file.
void createSchemaDatabase(const QString &path);

// The names of the events posted when a change to DOCUMENTS or TYPE is
// committed, whoever made it.
inline constexpr const char *DocumentsEvent = "MV_DOCUMENTS";
inline constexpr const char *TypesEvent = "MV_TYPES";

// The triggers that post those events.
QStringList changeEventStatements();

// Adds the event triggers to a database made before they existed (the two
// tables stay as they are). Throws db::DbError.
void ensureChangeEvents(const QString &path);

} // namespace mv
