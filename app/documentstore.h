#pragma once

// Writing documents as the editor does: an insert under the next id, an
// update, a delete, each one unit that is durable when it returns. The data
// module's listener is told of each change once it is committed.

#include <QString>

class TmvlabDm;

namespace mv {

// Inserts a document under the largest id plus one; returns that id.
QString insertDocument(TmvlabDm &dm, const QString &title, const QString &typeId, const QString &content);

// Updates document id (decimal text, checked by the caller). False when no
// such row was there: nothing was stored.
bool updateDocument(TmvlabDm &dm, const QString &id, const QString &title, const QString &typeId,
                    const QString &content);

// Deletes document id (decimal text, checked by the caller).
void deleteDocument(TmvlabDm &dm, const QString &id);

} // namespace mv
