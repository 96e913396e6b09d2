#pragma once

#include "fbsql.h"

#include <QString>

namespace mv::db {

// Why a change could not be written when the file's storage failed (a full
// disk, a read-only or vanished medium, a read or write error), told from
// the engine's codes and the system's error number; empty for any other
// failure.
QString storageFailureReason(const DbError &e);

// The text a user is shown for a failed change: for a storage failure one
// Chinese sentence that says nothing was saved and why, with the engine's
// own text after it; otherwise the engine's text as it stands.
QString failedChangeText(const DbError &e);

} // namespace mv::db
