#pragma once

// Writing documents as the editor does: an insert under the next id, an
// update, a delete, each one unit that is durable when it returns. The data
// module's listener is told of each change once it is committed.

#include <QByteArray>
#include <QString>

class TmvlabDm;

namespace mv {

// A digest of what a document holds (title, category, body), taken when an
// editor loads it and again from what a save stored: another machine's save
// in between changes what the row holds, and so the digest.
QByteArray documentVersion(const QString &title, const QString &typeId, const QString &content);

// Inserts a document under the largest id plus one; returns that id. The
// version of what was stored goes to *version when given.
QString insertDocument(TmvlabDm &dm, const QString &title, const QString &typeId, const QString &content,
                       QByteArray *version = nullptr);

// Updates document id (decimal text, checked by the caller). False when no
// such row was there: nothing was stored.
bool updateDocument(TmvlabDm &dm, const QString &id, const QString &title, const QString &typeId,
                    const QString &content);

// Updates document id only while it still holds what was loaded (its
// version loadedVersion): the row is locked, compared and written in one
// unit, so that a save made elsewhere in between is never overwritten.
// On Stored, *version (when given) is the version now stored.
enum class UpdateResult { Stored, Missing, ChangedSinceLoaded };
UpdateResult updateLoadedDocument(TmvlabDm &dm, const QString &id, const QByteArray &loadedVersion,
                                  const QString &title, const QString &typeId, const QString &content,
                                  QByteArray *version = nullptr);

// Deletes document id (decimal text, checked by the caller).
void deleteDocument(TmvlabDm &dm, const QString &id);

} // namespace mv
