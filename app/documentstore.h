#pragma once

// The one writer of the database: every insert, update and delete of a
// document, every change to the categories and the deletion of a subtree
// runs here, each as one unit that is durable when it returns. Once a unit
// is committed its listeners are told what changed; a unit that fails
// changed nothing and tells nobody. The reads the windows need of single
// rows are here too, so that no window writes a statement itself.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>
#include <vector>

class TmvlabDm;

namespace mv {

// A digest of what a document holds (title, category, body), taken when an
// editor loads it and again from what a save stored: another machine's save
// in between changes what the row holds, and so the digest.
QByteArray documentVersion(const QString &title, const QString &typeId, const QString &content);

// What a save over a loaded document found.
enum class UpdateResult { Stored, Missing, ChangedSinceLoaded };

// Input that is refused before anything reaches the database.
class InputError : public std::runtime_error
{
public:
    explicit InputError(const QString &message) : std::runtime_error(message.toStdString()), message_(message) {}
    QString message() const { return message_; }

private:
    QString message_;
};

// The id as a canonical decimal text, or an InputError naming the field.
QString checkedId(const QString &text, const QString &what);

// Told of each committed change, on the thread that made it.
class StoreListener
{
public:
    virtual ~StoreListener() = default;
    // Inserted or updated.
    virtual void documentWritten(const QString &id) = 0;
    virtual void documentDeleted(const QString &id) = 0;
    // Every document filed under these categories was deleted.
    virtual void categoryDocumentsDeleted(const QStringList &typeIds) = 0;
    // A category was added, renamed or deleted.
    virtual void categoriesChanged() {}
};

struct StoredDocument {
    QString id;
    QString title;
    QString typeId;
    QString date; // ISO date as stored
    QString content;
};

class DocumentStore
{
public:
    explicit DocumentStore(TmvlabDm &dm) : dm_(dm) {}
    DocumentStore(const DocumentStore &) = delete;
    DocumentStore &operator=(const DocumentStore &) = delete;

    // Listeners are not owned; one must remove itself before it goes.
    void addListener(StoreListener *l);
    void removeListener(StoreListener *l);
    // For tests that write rows the store cannot (raw bytes, nulls) and
    // tell the listeners as it would.
    const std::vector<StoreListener *> &listeners() const { return listeners_; }

    // Documents. Ids are decimal text; one that is not is an InputError.
    // Inserts under the largest id plus one; returns that id. The version
    // of what was stored goes to *version when given.
    QString insertDocument(const QString &title, const QString &typeId, const QString &content,
                           QByteArray *version = nullptr);
    // False when no such row was there: nothing was stored.
    bool updateDocument(const QString &id, const QString &title, const QString &typeId, const QString &content);
    // Updates document id only while it still holds what was loaded (its
    // version loadedVersion): the row is locked, compared and written in one
    // unit, so that a save made elsewhere in between is never overwritten.
    // On Stored, *version (when given) is the version now stored.
    UpdateResult updateLoadedDocument(const QString &id, const QByteArray &loadedVersion, const QString &title,
                                      const QString &typeId, const QString &content, QByteArray *version = nullptr);
    void deleteDocument(const QString &id);
    // The row, or none when there is no such document.
    std::optional<StoredDocument> document(const QString &id);

    // Categories. Names are stored exactly as given.
    // "select max(id) from type" plus one; "1" on an empty table.
    QString nextCategoryId();
    // Inserts a category with the given new id under parentId.
    void insertCategory(const QString &id, const QString &parentIdText, const QString &name);
    // nextCategoryId, then insertCategory; returns the new id.
    QString addCategory(const QString &parentIdText, const QString &name);
    // An id without a row changes nothing.
    void renameCategory(const QString &idText, const QString &name);
    // The category's name; empty when there is none.
    QString categoryName(const QString &idText);
    // Deletes the category and every category below it, and with them their
    // documents when asked, in one unit. Returns the ids deleted ("4,5,9,6").
    QString deleteCategorySubtree(const QString &id, bool withDocuments);

    // Of commits commits to DOCUMENTS that the database announced, how many
    // others made: those this program made itself (and told its listeners
    // of) are taken off, and counted as announced.
    int othersOf(int commits);

private:
    template<typename F>
    void tell(F &&f);
    // Tells the listeners of a committed change to documents, counting it
    // as this program's own for othersOf.
    template<typename F>
    void tellDocuments(F &&f);

    TmvlabDm &dm_;
    std::vector<StoreListener *> listeners_;
    int ownDocumentCommits_ = 0;
};

} // namespace mv
