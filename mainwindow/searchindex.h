#pragma once

// The documents' stored contents held in memory with an index of the
// characters they contain, so that a search finds exactly the documents the
// LIKE statement finds (a case-sensitive byte match that begins on a
// character boundary), in the table's natural order, without reading the
// table. A search that extends the one before it (the next keystroke)
// starts each document where the shorter text was found.
//
// The stored text is cut into characters as GbkCodec::charLength cuts it.
// Every document's distinct characters and distinct pairs of neighbouring
// characters have posting lists (document slots, delta-coded). A search text
// of one or two characters is answered by one list alone; a longer one by
// intersecting the lists of its pairs and confirming each candidate in its
// content.
//
// An index can be written to a file and opened from it again: its
// documents' contents and its posting lists then stay in the file, mapped
// (the system pages them in and out), and only the rows are read into
// memory. Documents put after that live in memory beside the file's, in
// slots after its slots, with posting lists of their own; a list is the
// file's part followed by the memory's.
//
// Not thread-safe: built on one thread, then used on one thread at a time.

#include "changelog.h"
#include "documentrow.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mv::db {
class Connection;
class Query;
} // namespace mv::db

class SearchIndex
{
public:
    struct Document {
        DocumentRow row;
        qint64 idNumber = 0;
        qint64 typeNumber = 0; // TYPEID; none when null
        QByteArray content;      // stored bytes
        quint64 recordNumber = 0; // position in the table's natural order
        QByteArray sync;         // per 64 bytes: where its first character starts
        bool hasContent = false; // CONTENT is not null
        bool alive = true;       // false once replaced or deleted
        // Holds a four-byte form whose last two bytes are not those of a
        // four-byte character: its hits are checked byte by byte as the
        // LIKE statement and the boundary rule see them.
        bool irregular = false;
    };

    struct Stats {
        qint64 documents = 0;
        qint64 documentSlots = 0; // document places held, living or not
        qint64 contentBytes = 0; // stored bytes held for confirming hits
        qint64 indexBytes = 0;   // posting lists, their tables, the rows
        qint64 postingLists = 0;
        qint64 postings = 0;
    };

    SearchIndex();
    ~SearchIndex();
    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    // Reads every document through c. Returns null when cancel becomes set.
    // opened runs once the rows are being read (what they are is fixed then).
    static std::unique_ptr<SearchIndex> load(mv::db::Connection &c, const std::atomic_bool *cancel = nullptr,
                                             const std::function<void()> &opened = {});

    // A replaced or deleted document leaves its slot and its postings
    // behind until the index is made again from the living documents; so
    // does a document put beside a file, in memory. True once they are
    // worth that.
    bool wantsCompaction() const;
    // Copies of the living documents in natural order (their contents are
    // shared, not copied), to make an index from.
    std::vector<Document> livingDocuments() const;
    // An index of these documents alone. Returns null when cancel becomes set.
    static std::unique_ptr<SearchIndex> fromDocuments(std::vector<Document> docs,
                                                      const std::atomic_bool *cancel = nullptr);

    // Reads document id (decimal text) again through c: replaces what the
    // index holds of it, or drops it when the row is gone.
    void refresh(mv::db::Connection &c, const QString &id);
    // Drops every document filed under one of these categories.
    void removeCategories(const QStringList &typeIds);

    // Adds a document, or replaces the one with the same id.
    void put(Document doc);
    void remove(const QString &id);

    // The documents whose content holds needle (stored bytes) beginning on a
    // character boundary, in natural order; an empty needle gives every
    // document whose content is not null. No value when the needle ends in a
    // character whose length depends on what follows it (never the case for
    // encoded text): the caller then asks the database.
    std::optional<std::vector<const Document *>> search(const QByteArray &needle) const;

    // The documents filed under one of typeIds, highest id first; at most
    // limit of them, or all when limit is 0.
    std::vector<const Document *> listCategories(const std::vector<qint64> &typeIds, size_t limit) const;

    // Writes the index to path atomically (a new file takes the old one's
    // place only once complete), with the database's tag and the change-log
    // position it covers. Only an index made in memory whose every slot is
    // living (as load and fromDocuments make one) can be written. Returns
    // an error, empty on success.
    QString write(const QString &path, quint64 tag) const;
    // The index written at path, mapped. Null, with the reason in why, when
    // the file is missing, damaged, of another format or of another
    // database (tag).
    static std::unique_ptr<SearchIndex> open(const QString &path, quint64 tag, QString *why = nullptr);
    // The file beside a database where its index is kept.
    static QString pathFor(const QString &databasePath);
    // Keeps what the documents' contents point into (the mapped file)
    // while copies of them are used elsewhere.
    std::shared_ptr<const void> storage() const { return map_; }
    bool mapped() const { return map_ != nullptr; }

    // The change log entries the index has applied.
    const LogPosition &position() const { return position_; }
    void setPosition(LogPosition p) { position_ = std::move(p); }

    Stats stats() const;
    // Searches start afresh (for measuring them).
    void forgetRecentSearches() const { recent_.clear(); }

private:
    struct Postings;
    struct ListRef;
    struct Mapping;
    struct FileKey;
    struct Hit {
        quint32 slot;
        quint32 at; // first position of the text on a character boundary
    };
    struct Recent {
        QByteArray needle;
        int chars;
        std::vector<Hit> hits; // ascending slots
    };
    bool isBoundary(const Document &d, qsizetype at) const;
    qsizetype firstHit(const Document &d, const QByteArray &needle, qsizetype from, bool anyByte) const;
    std::vector<Hit> confirmedHits(const std::vector<quint32> &codes, const QByteArray &needle) const;
    void changed() { recent_.clear(); }
    ListRef list(quint64 key) const;
    quint32 listFor(quint64 key);
    void indexContent(quint32 slot, const QByteArray &content);

    void finish();

    std::deque<Document> docs_; // by slot; slots only grow, never move
    QHash<QString, quint32> slotOfId_;
    std::vector<Postings> lists_;
    std::vector<qint32> directLists_; // single characters and single-byte pairs
    QHash<quint64, quint32> hashedLists_;
    std::vector<quint32> irregular_; // slots
    mutable std::vector<Recent> recent_; // the last searches of three or more characters
    quint64 maxRecord_ = 0;
    bool ordered_ = true; // living documents' slots are in natural order
    LogPosition position_;
    // The file's part: slots below baseSlots_, the lists of baseKeys_.
    std::shared_ptr<Mapping> map_;
    const FileKey *baseKeys_ = nullptr;
    size_t baseKeyCount_ = 0;
    const quint8 *basePostings_ = nullptr;
    quint32 baseSlots_ = 0;
    qint64 memoryContent_ = 0; // living contents held in memory beside a file
};
