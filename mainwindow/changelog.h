#pragma once

// Reading the database's change log (see mv::changeLogStatements) for
// whatever keeps a copy of the documents: which documents to read again
// since the last time it looked.

#include <QtGlobal>

#include <vector>

namespace mv::db {
class Connection;
}

// What of the log has been applied: every entry up to seq, except the gaps.
// A gap is a number below seq that was not in the log when seq was read: a
// writer that took its number first may commit later, or never (rolled
// back). Gaps are looked for again until they expire.
struct LogPosition {
    struct Gap {
        qint64 seq;
        qint64 expiresMs; // wall clock, ms since the epoch
    };
    qint64 seq = 0;
    std::vector<Gap> gaps; // ascending seq

    static constexpr qint64 GapLifeMs = 10 * 60 * 1000;
    static constexpr size_t MaxGaps = 4096;
};

struct LogChanges {
    std::vector<qint64> ids; // documents to read again, each once
    LogPosition next;         // the position once they are read
    // Entries the position needs are no longer in the log (pruned, or the
    // log was emptied): what was made from it must be made again.
    bool lost = false;
};

// The entries after from, read through c.
LogChanges readChangeLog(mv::db::Connection &c, const LogPosition &from);

// A position for a copy made by reading the table after this call: the
// newest entries before it are treated as gaps, since writers that numbered
// them may commit after the read began.
LogPosition logPositionBeforeScan(mv::db::Connection &c);

// Drops the entries far behind seq, so that the log stays small; a copy
// that old is made again rather than caught up.
void pruneChangeLog(mv::db::Connection &c, qint64 seq);
