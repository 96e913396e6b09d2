#include "changelog.h"

#include "fbsql.h"

#include <QDateTime>

#include <algorithm>
#include <unordered_set>

namespace {

// Writers whose number may still be uncommitted when a scan starts.
constexpr qint64 InFlight = 64;
// Entries kept behind a copy's position when the log is pruned.
constexpr qint64 KeptBehind = 10000;

qint64 number(const mv::db::Query &q, int i)
{
    return q.field(i).toLongLong();
}

} // namespace

LogChanges readChangeLog(mv::db::Connection &c, const LogPosition &from)
{
    LogChanges out;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    {
        mv::db::Query q(c);
        q.setSql(QStringLiteral("select (select min(SEQ) from MV_CHANGE_LOG), gen_id(MV_CHANGE_SEQ, 0) from rdb$database"));
        q.open();
        const bool empty = q.isNull(0);
        const qint64 first = number(q, 0);
        const qint64 generated = number(q, 1);
        // The entry right after the position must still be there, unless
        // nothing was numbered since. A number reused (the log's counter
        // went back) proves another history.
        if (generated < from.seq || (generated > from.seq && (empty || first > from.seq + 1))) {
            out.lost = true;
            return out;
        }
    }
    const qint64 low = from.gaps.empty() ? from.seq : std::min(from.seq, from.gaps.front().seq - 1);
    mv::db::Query q(c);
    q.setSql(QStringLiteral("select SEQ, DOC_ID from MV_CHANGE_LOG where SEQ > %1 order by SEQ").arg(low));
    q.open();
    std::unordered_set<qint64> seenIds;
    std::vector<LogPosition::Gap> gaps;
    size_t gap = 0;
    qint64 head = from.seq;
    while (!q.eof()) {
        const qint64 seq = number(q, 0);
        const qint64 id = number(q, 1);
        q.next();
        bool wanted = seq > from.seq;
        if (!wanted) {
            while (gap < from.gaps.size() && from.gaps[gap].seq < seq)
                gaps.push_back(from.gaps[gap++]);
            wanted = gap < from.gaps.size() && from.gaps[gap].seq == seq;
            if (wanted)
                ++gap; // filled
        } else {
            for (qint64 missing = head + 1; missing < seq && missing - head <= qint64(LogPosition::MaxGaps); ++missing)
                gaps.push_back({missing, now + LogPosition::GapLifeMs});
            head = seq;
        }
        if (wanted && seenIds.insert(id).second)
            out.ids.push_back(id);
    }
    for (; gap < from.gaps.size(); ++gap)
        gaps.push_back(from.gaps[gap]);
    std::sort(gaps.begin(), gaps.end(), [](const auto &a, const auto &b) { return a.seq < b.seq; });
    // A writer holds its number for the length of one short transaction:
    // a gap still open long after is a rollback.
    gaps.erase(std::remove_if(gaps.begin(), gaps.end(), [&](const auto &g) { return g.expiresMs < now; }),
               gaps.end());
    if (gaps.size() > LogPosition::MaxGaps)
        gaps.erase(gaps.begin(), gaps.end() - qsizetype(LogPosition::MaxGaps));
    out.next.seq = head;
    out.next.gaps = std::move(gaps);
    return out;
}

LogPosition logPositionBeforeScan(mv::db::Connection &c)
{
    mv::db::Query q(c);
    q.setSql(QStringLiteral("select gen_id(MV_CHANGE_SEQ, 0) from rdb$database"));
    q.open();
    LogPosition p;
    p.seq = number(q, 0);
    const qint64 expires = QDateTime::currentMSecsSinceEpoch() + LogPosition::GapLifeMs;
    for (qint64 s = std::max<qint64>(1, p.seq - InFlight + 1); s <= p.seq; ++s)
        p.gaps.push_back({s, expires});
    return p;
}

void pruneChangeLog(mv::db::Connection &c, qint64 seq)
{
    if (seq <= KeptBehind)
        return;
    c.runUnit([&] {
        mv::db::Query q(c);
        q.setSql(QStringLiteral("delete from MV_CHANGE_LOG where SEQ <= %1").arg(seq - KeptBehind));
        q.execute();
    });
}
