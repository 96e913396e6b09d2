#pragma once

#include <QStringList>

namespace mv {

// The statements that give a new database file its two tables and the
// first category (categories can only be added below an existing one).
QStringList schemaStatements();

// Creates a database file with the schema at path; refuses an existing file.
void createSchemaDatabase(const QString &path);

} // namespace mv
