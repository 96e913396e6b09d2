#pragma once

// Large, repeatable databases for the benchmarks: a category tree of any
// size and HTML documents that look like what users keep (Chinese text with
// the usual markup, a few KB each, a few much larger).

#include <QString>
#include <QtGlobal>

#include <memory>

namespace mvbench {

struct GenStats {
    int categories;      // rows in TYPE, category 1 included
    int documents;       // rows in DOCUMENTS
    qint64 contentBytes; // stored (GBK) bytes of all CONTENT values
    double seconds;      // wall time of the whole generation
};

// Creates a new database file at dbPath (an existing file is refused) with
// the program's schema and fills it:
//  - categories 1..categories; 1 is the schema's first category (parent 0),
//    the others hang below a category with a smaller id or at the top level,
//    and are stored in shuffled order so row order is not id order;
//  - documents 1..documents, each filed under a random category.
// With subtreeCategories > 0, category 2 (a child of 1) roots a subtree of
// exactly that many categories, itself included, and exactly
// subtreeDocuments documents lie in it; no other category has a parent in
// it. The same arguments give the same database content.
// Throws std::invalid_argument for impossible sizes, mv::db::DbError for
// database failures.
GenStats generate(const QString &dbPath, int categories, int documents, quint32 seed,
                  int subtreeCategories = 0, int subtreeDocuments = 0);

// Titles and documents like those generate() writes, from a seed of their
// own, for benchmarks that go on writing.
class DocumentMaker
{
public:
    explicit DocumentMaker(quint32 seed);
    ~DocumentMaker();
    QString title();
    QString document();
    // 0 <= r < n, from the same sequence.
    int below(int n);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// A BODY of paragraphs of Chinese and Latin text with the usual markup,
// of at least bytes stored (code page 936) bytes, ending in a paragraph
// with the id "last" (to tell when it is laid out).
QString richBody(int bytes);

} // namespace mvbench
