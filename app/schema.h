#pragma once

#include <QStringList>

namespace mv {

// The widths of the two text columns, in bytes of the stored encoding.
inline constexpr int TitleBytes = 100;
inline constexpr int TypeNameBytes = 200;

// The statements that give a new database file its two tables and the
// first category (categories can only be added below an existing one).
QStringList schemaStatements();

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
