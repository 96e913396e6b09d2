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

} // namespace mv
