#include "searchindex.h"

#include "documentquery.h"
#include "fbsql.h"
#include "gbkcodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <limits>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <thread>
#include <unordered_set>
#include <cstring>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const QString SelectDocuments =
    QStringLiteral("select id, title, \"DATE\", typeid, content, rdb$db_key from documents");

// A character as a number: its bytes, plus one so that no character is 0
// (a pair's key keeps its first character in the upper half).
inline quint32 charCode(const char *data, qsizetype size, qsizetype pos, int &len)
{
    len = mv::GbkCodec::charLength(data, size, pos);
    const auto *u = reinterpret_cast<const uchar *>(data + pos);
    switch (len) {
    case 1:
        return quint32(u[0]) + 1;
    case 2:
        return ((quint32(u[0]) << 8) | u[1]) + 1;
    default:
        return ((quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | u[3]) + 1;
    }
}

inline quint64 pairKey(quint32 first, quint32 second)
{
    return (quint64(first) << 32) | second;
}

// TYPEID is a 32-bit integer: this is none of them.
constexpr qint64 NoType = std::numeric_limits<qint64>::min();
constexpr int SyncShift = 6; // 64-byte blocks
constexpr size_t RecentSearches = 16;
// Candidates to confirm from which a second thread helps.
constexpr size_t ParallelFrom = 4096;

// Single characters of one or two bytes, and pairs of single-byte
// characters (the markup), sit in a table; the rest in a hash.
constexpr qint32 DirectSingles = 0x10000;
constexpr qint32 DirectSize = DirectSingles + 256 * 256;

inline int directSlot(quint64 key)
{
    if (key < quint64(DirectSingles))
        return int(key);
    const quint64 first = key >> 32;
    const quint64 second = key & 0xFFFFFFFFu;
    if (first >= 1 && first <= 256 && second >= 1 && second <= 256)
        return DirectSingles + int((first - 1) * 256 + (second - 1));
    return -1;
}

// The record number inside RDB$DB_KEY: the table scans in its order.
quint64 recordNumber(const QByteArray &dbKey)
{
    if (dbKey.size() < 8)
        return 0;
    const auto *u = reinterpret_cast<const uchar *>(dbKey.constData());
    const quint32 low = quint32(u[4]) | (quint32(u[5]) << 8) | (quint32(u[6]) << 16) | (quint32(u[7]) << 24);
    return (quint64(u[2]) << 32) | low;
}

// Where needle (two bytes or more) first occurs in text, or null. With SSE2
// sixteen places are tried at once on the needle's first and last byte.
const char *findBytes(const char *text, qsizetype size, const char *needle, qsizetype m)
{
    if (m > size)
        return nullptr;
#if defined(__SSE2__)
    if (m >= 2) {
        const __m128i first = _mm_set1_epi8(needle[0]);
        const __m128i last = _mm_set1_epi8(needle[m - 1]);
        qsizetype i = 0;
        for (; i + m - 1 + 16 <= size; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i + m - 1));
            unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
            while (mask) {
                const int bit = __builtin_ctz(mask);
                if (std::memcmp(text + i + bit + 1, needle + 1, size_t(m - 2)) == 0)
                    return text + i + bit;
                mask &= mask - 1;
            }
        }
        return static_cast<const char *>(memmem(text + i, size_t(size - i), needle, size_t(m)));
    }
#endif
    return static_cast<const char *>(memmem(text, size_t(size), needle, size_t(m)));
}

SearchIndex::Document readDocument(const mv::db::Query &q)
{
    SearchIndex::Document d;
    d.row = {q.field(0), q.field(1), q.field(2), q.field(3)};
    d.idNumber = d.row.id.toLongLong();
    bool typed = false;
    d.typeNumber = d.row.typeId.toLongLong(&typed);
    if (!typed)
        d.typeNumber = NoType;
    d.hasContent = !q.isNull(4);
    d.content = q.fieldBytes(4);
    d.recordNumber = recordNumber(q.fieldBytes(5));
    return d;
}

} // namespace

// Document hits in ascending order, each as its distance from the slot
// after the previous one, seven bits a byte.
struct SearchIndex::Postings {
    std::vector<quint8> bytes;
    quint32 next = 0; // the slot after the last one added
    quint32 count = 0;

    void add(quint32 slot)
    {
        if (count && next == slot + 1)
            return; // this document already
        quint32 gap = slot - next;
        while (gap >= 0x80) {
            bytes.push_back(quint8(gap | 0x80));
            gap >>= 7;
        }
        bytes.push_back(quint8(gap));
        next = slot + 1;
        ++count;
    }

    static quint32 readGap(const quint8 *&p)
    {
        quint32 gap = 0;
        int shift = 0;
        quint8 b;
        do {
            b = *p++;
            gap |= quint32(b & 0x7F) << shift;
            shift += 7;
        } while (b & 0x80);
        return gap;
    }

    void decode(std::vector<quint32> &out) const
    {
        out.clear();
        out.reserve(count);
        quint32 slot = 0;
        const quint8 *p = bytes.data();
        const quint8 *end = p + bytes.size();
        while (p < end) {
            slot += readGap(p);
            out.push_back(slot);
            ++slot;
        }
    }

    // Keeps the hits of in that this list holds.
    void intersect(std::vector<quint32> &in) const
    {
        size_t kept = 0;
        size_t i = 0;
        quint32 slot = 0;
        const quint8 *p = bytes.data();
        const quint8 *end = p + bytes.size();
        while (p < end && i < in.size()) {
            slot += readGap(p);
            while (i < in.size() && in[i] < slot)
                ++i;
            if (i < in.size() && in[i] == slot)
                in[kept++] = in[i++];
            ++slot;
        }
        in.resize(kept);
    }
};

// A list as the file holds it: its key, where its bytes are in the
// postings, how many documents it names.
struct SearchIndex::FileKey {
    quint64 key;
    quint64 offset;
    quint32 size;
    quint32 count;
};

struct SearchIndex::Mapping {
    QFile file;
    const uchar *data = nullptr;
    qint64 size = 0;
    ~Mapping()
    {
        if (data)
            file.unmap(const_cast<uchar *>(data));
    }
};

// One key's hits: the file's part (slots below its limit), then the
// memory's (slots after them), so the whole stays ascending.
struct SearchIndex::ListRef {
    const quint8 *base = nullptr;
    const quint8 *baseEnd = nullptr;
    quint32 baseCount = 0;
    quint32 baseLimit = 0; // a damaged file names no slot past its own
    const Postings *delta = nullptr;

    explicit operator bool() const { return base || delta; }
    bool operator==(const ListRef &o) const { return base == o.base && delta == o.delta; }
    quint32 count() const { return baseCount + (delta ? delta->count : 0); }

    // Reads one gap, never past end (a damaged file may end in the middle
    // of one); false at the end.
    static bool readGap(const quint8 *&p, const quint8 *end, quint32 &gap)
    {
        gap = 0;
        int shift = 0;
        while (p < end) {
            const quint8 b = *p++;
            gap |= quint32(b & 0x7F) << (shift & 31);
            shift += 7;
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    void decode(std::vector<quint32> &out) const
    {
        out.clear();
        out.reserve(count());
        quint32 slot = 0;
        quint32 gap;
        for (const quint8 *p = base; p && readGap(p, baseEnd, gap);) {
            slot += gap;
            if (slot >= baseLimit)
                break;
            out.push_back(slot);
            ++slot;
        }
        if (delta) {
            std::vector<quint32> more;
            delta->decode(more);
            out.insert(out.end(), more.begin(), more.end());
        }
    }

    // Keeps the hits of in that this list holds.
    void intersect(std::vector<quint32> &in) const
    {
        size_t kept = 0;
        size_t i = 0;
        quint32 slot = 0;
        quint32 gap;
        for (const quint8 *p = base; p && i < in.size() && readGap(p, baseEnd, gap);) {
            slot += gap;
            if (slot >= baseLimit)
                break;
            while (i < in.size() && in[i] < slot)
                ++i;
            if (i < in.size() && in[i] == slot)
                in[kept++] = in[i++];
            ++slot;
        }
        if (delta) {
            // The memory's slots all come after the file's.
            while (i < in.size() && in[i] < baseLimit)
                ++i;
            std::vector<quint32> rest(in.begin() + qsizetype(i), in.end());
            delta->intersect(rest);
            for (const quint32 s : rest)
                in[kept++] = s;
        }
        in.resize(kept);
    }
};

SearchIndex::SearchIndex() : directLists_(size_t(DirectSize), -1)
{
}

SearchIndex::~SearchIndex()
{
    // Its many posting lists go back to the allocator, which keeps the
    // pages (in the arena of whichever thread made them) unless told to
    // give them back: a long run that makes the index again and again
    // would hold on to each one's pages.
    docs_.clear();
    lists_.clear();
    lists_.shrink_to_fit();
    hashedLists_.clear();
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

std::unique_ptr<SearchIndex> SearchIndex::load(mv::db::Connection &c, const std::atomic_bool *cancel,
                                               const std::function<void()> &opened)
{
    auto index = std::make_unique<SearchIndex>();
    mv::db::Query q(c);
    q.setSql(SelectDocuments);
    q.open();
    if (opened)
        opened();
    while (!q.eof()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return nullptr;
        index->put(readDocument(q));
        q.next();
    }
    index->finish();
    return index;
}

void SearchIndex::finish()
{
    for (Postings &p : lists_)
        p.bytes.shrink_to_fit();
}

bool SearchIndex::wantsCompaction() const
{
    // A quarter more than the living, and a few for a small index: the
    // work of making it again is spread over as many changes as it has
    // documents, give or take.
    const size_t living = size_t(slotOfId_.size());
    if (docs_.size() - living > 64 + living / 4)
        return true;
    // Beside a file, what new documents hold in memory is kept to a small
    // part of what the file holds.
    return map_ && memoryContent_ > (16 << 20) + map_->size / 32;
}

std::vector<SearchIndex::Document> SearchIndex::livingDocuments() const
{
    std::vector<Document> out;
    out.reserve(size_t(slotOfId_.size()));
    for (const Document &d : docs_)
        if (d.alive)
            out.push_back(d);
    std::sort(out.begin(), out.end(),
              [](const Document &a, const Document &b) { return a.recordNumber < b.recordNumber; });
    return out;
}

std::unique_ptr<SearchIndex> SearchIndex::fromDocuments(std::vector<Document> docs, const std::atomic_bool *cancel)
{
    auto index = std::make_unique<SearchIndex>();
    for (Document &d : docs) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return nullptr;
        index->put(std::move(d));
    }
    index->finish();
    return index;
}

void SearchIndex::refresh(mv::db::Connection &c, const QString &id)
{
    bool numeric = false;
    const qint64 n = id.toLongLong(&numeric);
    if (!numeric)
        return;
    mv::db::Query q(c);
    q.setSql(SelectDocuments + QStringLiteral(" where id=") + QString::number(n));
    q.open();
    if (q.eof()) {
        remove(QString::number(n));
        return;
    }
    put(readDocument(q));
}

void SearchIndex::removeCategories(const QStringList &typeIds)
{
    changed();
    const QSet<QString> types(typeIds.begin(), typeIds.end());
    for (auto it = slotOfId_.begin(); it != slotOfId_.end();) {
        Document &d = docs_[it.value()];
        if (types.contains(d.row.typeId)) {
            if (it.value() >= baseSlots_ && map_)
                memoryContent_ -= d.content.size();
            d.alive = false;
            d.content = QByteArray();
            d.sync = QByteArray();
            it = slotOfId_.erase(it);
        } else {
            ++it;
        }
    }
}

void SearchIndex::put(Document doc)
{
    remove(doc.row.id);
    changed();
    const auto slot = quint32(docs_.size());
    // Living documents must come in natural order by slot for the results
    // to need no sorting. A replaced document keeps its record number, and
    // a record number is reused only once its document is gone, so one
    // below the largest seen is the only case that breaks the order.
    if (doc.recordNumber < maxRecord_)
        ordered_ = false;
    maxRecord_ = std::max(maxRecord_, doc.recordNumber);
    doc.alive = true;
    if (map_)
        memoryContent_ += doc.content.size();
    slotOfId_.insert(doc.row.id, slot);
    docs_.push_back(std::move(doc));
    indexContent(slot, docs_.back().content);
    if (docs_.back().irregular)
        irregular_.push_back(slot);
}

void SearchIndex::remove(const QString &id)
{
    const auto it = slotOfId_.constFind(id);
    if (it == slotOfId_.constEnd())
        return;
    Document &d = docs_[it.value()];
    if (it.value() >= baseSlots_ && map_)
        memoryContent_ -= d.content.size();
    d.alive = false;
    d.content = QByteArray();
    d.sync = QByteArray();
    slotOfId_.erase(it);
    changed();
}

SearchIndex::ListRef SearchIndex::list(quint64 key) const
{
    ListRef r;
    if (baseKeyCount_) {
        const FileKey *end = baseKeys_ + baseKeyCount_;
        const FileKey *k = std::lower_bound(baseKeys_, end, key, [](const FileKey &e, quint64 v) { return e.key < v; });
        if (k != end && k->key == key) {
            r.base = basePostings_ + k->offset;
            r.baseEnd = r.base + k->size;
            r.baseCount = k->count;
            r.baseLimit = baseSlots_;
        }
    }
    const int direct = directSlot(key);
    qint32 at = -1;
    if (direct >= 0) {
        at = directLists_[size_t(direct)];
    } else {
        const auto it = hashedLists_.constFind(key);
        if (it != hashedLists_.constEnd())
            at = qint32(it.value());
    }
    if (at >= 0)
        r.delta = &lists_[size_t(at)];
    return r;
}

quint32 SearchIndex::listFor(quint64 key)
{
    const int direct = directSlot(key);
    if (direct >= 0) {
        qint32 &at = directLists_[size_t(direct)];
        if (at < 0) {
            at = qint32(lists_.size());
            lists_.emplace_back();
        }
        return quint32(at);
    }
    auto it = hashedLists_.find(key);
    if (it == hashedLists_.end()) {
        it = hashedLists_.insert(key, quint32(lists_.size()));
        lists_.emplace_back();
    }
    return it.value();
}

void SearchIndex::indexContent(quint32 slot, const QByteArray &content)
{
    Document &doc = docs_[slot];
    const char *data = content.constData();
    const qsizetype size = content.size();
    doc.sync = QByteArray(((size + (1 << SyncShift) - 1) >> SyncShift), '\0');
    qsizetype block = 0;
    quint32 previous = 0;
    quint64 lastPair = 0;
    quint32 lastPairList = 0;
    for (qsizetype pos = 0; pos < size;) {
        while ((block << SyncShift) <= pos && block < doc.sync.size()) {
            doc.sync[block] = char(pos - (block << SyncShift));
            ++block;
        }
        int len;
        const quint32 code = charCode(data, size, pos, len);
        if (len == 4) {
            const auto b2 = uchar(data[pos + 2]);
            const auto b3 = uchar(data[pos + 3]);
            if (b2 < 0x81 || b2 == 0xFF || b3 < 0x30 || b3 > 0x39)
                doc.irregular = true;
        }
        pos += len;
        lists_[listFor(code)].add(slot);
        if (previous) {
            // Text repeats its pairs ("  ", "的的"); skip the lookup then.
            const quint64 key = pairKey(previous, code);
            if (key != lastPair) {
                lastPairList = listFor(key);
                lastPair = key;
            }
            lists_[lastPairList].add(slot);
        }
        previous = code;
    }
    // A character that runs to the end covers the last block's start.
    for (; block < doc.sync.size(); ++block)
        doc.sync[block] = char(size - (block << SyncShift));
}

bool SearchIndex::isBoundary(const Document &d, qsizetype at) const
{
    const qsizetype block = at >> SyncShift;
    qsizetype pos = (block << SyncShift) + uchar(d.sync[block]);
    const char *data = d.content.constData();
    const qsizetype size = d.content.size();
    while (pos < at)
        pos += mv::GbkCodec::charLength(data, size, pos);
    return pos == at;
}

qsizetype SearchIndex::firstHit(const Document &d, const QByteArray &needle, qsizetype from, bool anyByte) const
{
    const char *data = d.content.constData();
    const qsizetype size = d.content.size();
    const qsizetype m = needle.size();
    while (from + m <= size) {
        const char *hit = findBytes(data + from, size - from, needle.constData(), m);
        if (!hit)
            return -1;
        const qsizetype at = hit - data;
        if (anyByte || isBoundary(d, at))
            return at;
        from = at + 1;
    }
    return -1;
}

std::vector<SearchIndex::Hit> SearchIndex::confirmedHits(const std::vector<quint32> &codes,
                                                         const QByteArray &needle) const
{
    // In a regular document only the first byte of a character can be one
    // of these, so any byte hit is on a boundary.
    const bool anyByte = !docsql::needsBoundaryCheck(needle);
    const Recent *base = nullptr;
    for (const Recent &r : recent_)
        if (needle.startsWith(r.needle) && (!base || r.needle.size() > base->needle.size()))
            base = &r;
    if (base && base->needle == needle)
        return base->hits;

    // The lists of the pairs not already confirmed by the shorter text.
    const size_t from = base ? size_t(base->chars - 1) : 0;
    std::vector<ListRef> lists;
    for (size_t i = from; i + 1 < codes.size(); ++i) {
        const ListRef p = list(pairKey(codes[i], codes[i + 1]));
        if (!p)
            return {};
        if (std::find(lists.begin(), lists.end(), p) == lists.end())
            lists.push_back(p);
    }
    std::sort(lists.begin(), lists.end(), [](const ListRef &a, const ListRef &b) { return a.count() < b.count(); });
    std::vector<quint32> candidates;
    if (base) {
        candidates.reserve(base->hits.size());
        for (const Hit &h : base->hits)
            candidates.push_back(h.slot);
    } else {
        lists.front().decode(candidates);
        lists.erase(lists.begin());
    }
    for (size_t i = 0; i < lists.size() && !candidates.empty(); ++i)
        lists[i].intersect(candidates);

    // Confirms candidates [from, to) into out.
    const auto confirm = [&](size_t from, size_t to, std::vector<Hit> &out) {
        out.reserve(to - from);
        if (base) {
            // Every hit of the longer text is a hit of the shorter one, at
            // or after where that was first found.
            auto b = std::lower_bound(base->hits.begin(), base->hits.end(), candidates[from],
                                      [](const Hit &h, quint32 s) { return h.slot < s; });
            for (size_t i = from; i < to; ++i) {
                const quint32 s = candidates[i];
                while (b->slot != s)
                    ++b;
                const Hit &h = *b;
                const Document &d = docs_[s];
                if (h.at + needle.size() <= d.content.size()
                    && std::memcmp(d.content.constData() + h.at, needle.constData(), size_t(needle.size())) == 0) {
                    out.push_back(h);
                } else if (const qsizetype at = firstHit(d, needle, h.at + 1, anyByte); at >= 0) {
                    out.push_back({s, quint32(at)});
                }
            }
        } else {
            for (size_t i = from; i < to; ++i) {
                const Document &d = docs_[candidates[i]];
                if (!d.alive || d.irregular)
                    continue;
                if (const qsizetype at = firstHit(d, needle, 0, anyByte); at >= 0)
                    out.push_back({candidates[i], quint32(at)});
            }
        }
    };
    std::vector<Hit> hits;
    if (candidates.size() < ParallelFrom || std::thread::hardware_concurrency() < 2) {
        confirm(0, candidates.size(), hits);
    } else {
        // Many candidates: the second half on another core. Nothing changes
        // the index meanwhile; both halves only read it.
        const size_t half = candidates.size() / 2;
        std::vector<Hit> second;
        std::thread other([&] { confirm(half, candidates.size(), second); });
        confirm(0, half, hits);
        other.join();
        hits.insert(hits.end(), second.begin(), second.end());
    }
    if (recent_.size() >= RecentSearches)
        recent_.erase(recent_.begin());
    recent_.push_back({needle, int(codes.size()), hits});
    return hits;
}

std::optional<std::vector<const SearchIndex::Document *>> SearchIndex::search(const QByteArray &needle) const
{
    std::vector<quint32> codes;
    const char *data = needle.constData();
    const qsizetype size = needle.size();
    for (qsizetype pos = 0; pos < size;) {
        int len;
        const quint32 code = charCode(data, size, pos, len);
        // A lone lead byte may be the start of a longer character in a
        // document, which the lists keep as that longer character.
        if (len == 1 && uchar(data[pos]) >= 0x81 && uchar(data[pos]) != 0xFF)
            return std::nullopt;
        codes.push_back(code);
        pos += len;
    }

    std::vector<const Document *> out;
    bool sorted = ordered_;
    if (codes.empty()) {
        // Every content matches, however irregular.
        out.reserve(docs_.size());
        for (const Document &d : docs_)
            if (d.alive && d.hasContent)
                out.push_back(&d);
    } else if (codes.size() <= 2) {
        // The list is the answer: no document holds the pair without it.
        std::vector<quint32> hits;
        if (const ListRef p = list(codes.size() == 1 ? quint64(codes[0]) : pairKey(codes[0], codes[1])))
            p.decode(hits);
        out.reserve(hits.size());
        for (const quint32 s : hits)
            if (docs_[s].alive && !docs_[s].irregular)
                out.push_back(&docs_[s]);
    } else {
        const std::vector<Hit> hits = confirmedHits(codes, needle);
        out.reserve(hits.size());
        for (const Hit &h : hits)
            out.push_back(&docs_[h.slot]);
    }
    for (size_t i = 0; i < irregular_.size() && !codes.empty(); ++i) {
        const quint32 s = irregular_[i];
        const Document &d = docs_[s];
        if (!d.alive)
            continue;
        const bool hit = docsql::needsBoundaryCheck(needle) ? docsql::matchesOnCharBoundary(d.content, needle)
                                                            : d.content.contains(needle);
        if (hit) {
            out.push_back(&d);
            sorted = false;
        }
    }
    if (!sorted)
        std::sort(out.begin(), out.end(),
                  [](const Document *a, const Document *b) { return a->recordNumber < b->recordNumber; });
    return out;
}

std::vector<const SearchIndex::Document *> SearchIndex::listCategories(const std::vector<qint64> &typeIds,
                                                                       size_t limit) const
{
    const std::unordered_set<qint64> types(typeIds.begin(), typeIds.end());
    std::vector<const Document *> out;
    for (const Document &d : docs_)
        if (d.alive && types.count(d.typeNumber))
            out.push_back(&d);
    const auto newestFirst = [](const Document *a, const Document *b) { return a->idNumber > b->idNumber; };
    if (limit && out.size() > limit) {
        std::partial_sort(out.begin(), out.begin() + qsizetype(limit), out.end(), newestFirst);
        out.resize(limit);
    } else {
        std::sort(out.begin(), out.end(), newestFirst);
    }
    return out;
}

SearchIndex::Stats SearchIndex::stats() const
{
    Stats s;
    s.documents = slotOfId_.size();
    s.documentSlots = qint64(docs_.size());
    s.postingLists = qint64(lists_.size());
    qint64 rows = 0;
    for (const Document &d : docs_) {
        if (d.alive)
            s.contentBytes += d.content.size();
        rows += qint64(sizeof(Document)) + 2 * (d.row.id.capacity() + d.row.title.capacity() + d.row.date.capacity()
                                                + d.row.typeId.capacity());
    }
    qint64 lists = qint64(lists_.capacity() * sizeof(Postings)) + qint64(directLists_.size() * sizeof(qint32));
    for (const Postings &p : lists_) {
        lists += qint64(p.bytes.capacity());
        s.postings += p.count;
    }
    // A hash entry: key, value and the table's own share per entry.
    lists += qint64(hashedLists_.size()) * 24 + qint64(slotOfId_.size()) * 48;
    // The file's lists, in the file.
    s.postingLists += qint64(baseKeyCount_);
    for (size_t i = 0; i < baseKeyCount_; ++i) {
        lists += qint64(sizeof(FileKey)) + baseKeys_[i].size;
        s.postings += baseKeys_[i].count;
    }
    s.indexBytes = lists + rows;
    return s;
}

// The file: a header, then sections each starting on 8 bytes. The rows,
// the documents' table, the synchronisation points, the lists' keys and
// the log's gaps are checked against a digest when the file is opened;
// the contents and the postings are read only within their sections'
// bounds, so damage there can give wrong rows but never a crash, and the
// file is only ever replaced whole.
namespace {

constexpr char FileMagic[8] = {'M', 'V', 'S', 'R', 'C', 'H', '\r', '\n'};
constexpr quint32 FileFormat = 1;

struct Section {
    quint64 offset;
    quint64 size;
};

enum SectionId { Docs, Rows, Sync, Keys, Gaps, Content, PostingsBytes, SectionCount };

struct FileHeader {
    char magic[8];
    quint32 format;
    quint32 headerSize;
    quint64 tag;
    qint64 seq;
    quint64 fileSize;
    quint64 docCount;
    quint64 keyCount;
    quint64 gapCount;
    Section sections[SectionCount];
    quint64 digest; // of the header with this 0, and the checked sections
};

struct FileDoc {
    qint64 id;
    qint64 type;
    quint64 record;
    quint64 contentOffset; // in Content
    quint64 syncOffset;    // in Sync
    quint32 contentSize;
    quint32 flags;
    quint32 rowOffset; // in Rows
    quint32 rowSize;
};
constexpr quint32 HasContent = 1, Irregular = 2;

struct FileGap {
    qint64 seq;
    qint64 expiresMs;
};

// A fast 64-bit digest of words (not for security: it finds damage).
struct Digest {
    quint64 h = 0x9E3779B97F4A7C15ull;
    void add(const char *data, qint64 size)
    {
        qint64 i = 0;
        for (; i + 8 <= size; i += 8) {
            quint64 w;
            std::memcpy(&w, data + i, 8);
            mix(w);
        }
        quint64 tail = 0;
        if (size > i)
            std::memcpy(&tail, data + i, size_t(size - i));
        mix(tail ^ quint64(size - i) << 56);
    }
    void mix(quint64 w)
    {
        h ^= w * 0xC2B2AE3D27D4EB4Full;
        h = ((h << 31) | (h >> 33)) * 0x9E3779B97F4A7C15ull + 0x165667B19E3779F9ull;
    }
};

void appendRowField(QByteArray &out, const QString &v)
{
    const QByteArray u = v.toUtf8();
    const auto n = quint16(std::min<qsizetype>(u.size(), 0xFFFF));
    out.append(char(n & 0xFF)).append(char(n >> 8)).append(u.constData(), n);
}

bool readRowField(const char *&p, const char *end, QString &v)
{
    if (end - p < 2)
        return false;
    const quint16 n = quint16(uchar(p[0]) | (uchar(p[1]) << 8));
    p += 2;
    if (end - p < n)
        return false;
    v = QString::fromUtf8(p, n);
    p += n;
    return true;
}

qint64 padded(qint64 n)
{
    return (n + 7) & ~qint64(7);
}

} // namespace

QString SearchIndex::pathFor(const QString &databasePath)
{
    return databasePath + QStringLiteral(".search");
}

QString SearchIndex::write(const QString &path, quint64 tag) const
{
    if (map_ || size_t(slotOfId_.size()) != docs_.size())
        return QStringLiteral("only a compact index made in memory can be written");
    // The lists by key: the file looks them up by halving.
    std::vector<std::pair<quint64, quint32>> keys;
    keys.reserve(lists_.size());
    for (qint32 slot = 0; slot < DirectSize; ++slot) {
        const qint32 at = directLists_[size_t(slot)];
        if (at < 0)
            continue;
        const quint64 key = slot < DirectSingles
            ? quint64(slot)
            : pairKey(quint32((slot - DirectSingles) / 256 + 1), quint32((slot - DirectSingles) % 256 + 1));
        keys.emplace_back(key, quint32(at));
    }
    for (auto it = hashedLists_.constBegin(); it != hashedLists_.constEnd(); ++it)
        keys.emplace_back(it.key(), it.value());
    std::sort(keys.begin(), keys.end());

    std::vector<FileDoc> docs;
    docs.reserve(docs_.size());
    QByteArray rows, sync;
    quint64 content = 0;
    for (const Document &d : docs_) {
        FileDoc f{};
        f.id = d.idNumber;
        f.type = d.typeNumber;
        f.record = d.recordNumber;
        f.contentOffset = content;
        f.contentSize = quint32(d.content.size());
        f.syncOffset = quint64(sync.size());
        f.flags = (d.hasContent ? HasContent : 0) | (d.irregular ? Irregular : 0);
        f.rowOffset = quint32(rows.size());
        appendRowField(rows, d.row.id);
        appendRowField(rows, d.row.title);
        appendRowField(rows, d.row.date);
        appendRowField(rows, d.row.typeId);
        f.rowSize = quint32(rows.size()) - f.rowOffset;
        sync.append(d.sync);
        content += quint64(d.content.size());
        docs.push_back(f);
    }
    std::vector<FileKey> fileKeys;
    fileKeys.reserve(keys.size());
    quint64 postings = 0;
    for (const auto &[key, at] : keys) {
        const Postings &p = lists_[at];
        fileKeys.push_back({key, postings, quint32(p.bytes.size()), p.count});
        postings += p.bytes.size();
    }
    std::vector<FileGap> gaps;
    for (const LogPosition::Gap &g : position_.gaps)
        gaps.push_back({g.seq, g.expiresMs});

    FileHeader h{};
    std::memcpy(h.magic, FileMagic, sizeof FileMagic);
    h.format = FileFormat;
    h.headerSize = sizeof(FileHeader);
    h.tag = tag;
    h.seq = position_.seq;
    h.docCount = docs.size();
    h.keyCount = fileKeys.size();
    h.gapCount = gaps.size();
    const qint64 sizes[SectionCount] = {qint64(docs.size() * sizeof(FileDoc)), rows.size(), sync.size(),
                                        qint64(fileKeys.size() * sizeof(FileKey)), qint64(gaps.size() * sizeof(FileGap)),
                                        qint64(content), qint64(postings)};
    qint64 at = padded(sizeof(FileHeader));
    for (int i = 0; i < SectionCount; ++i) {
        h.sections[i] = {quint64(at), quint64(sizes[i])};
        at = padded(at + sizes[i]);
    }
    // Room after the postings: a damaged last gap reads into zeros.
    h.fileSize = quint64(at + 8);

    const char *checked[] = {reinterpret_cast<const char *>(docs.data()), rows.constData(), sync.constData(),
                             reinterpret_cast<const char *>(fileKeys.data()),
                             reinterpret_cast<const char *>(gaps.data())};
    Digest digest;
    digest.add(reinterpret_cast<const char *>(&h), sizeof h);
    for (int i = Docs; i <= Gaps; ++i)
        digest.add(checked[i], sizes[i]);
    h.digest = digest.h;

    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    qint64 written = 0;
    bool ok = true;
    const auto put = [&](const char *data, qint64 size) {
        if (ok && size > 0)
            ok = f.write(data, size) == size;
        written += size;
    };
    const auto pad = [&] {
        static const char zeros[8] = {};
        put(zeros, padded(written) - written);
    };
    put(reinterpret_cast<const char *>(&h), sizeof h);
    pad();
    for (int i = Docs; i <= Gaps; ++i) {
        put(checked[i], sizes[i]);
        pad();
    }
    for (const Document &d : docs_)
        put(d.content.constData(), d.content.size());
    pad();
    for (const auto &[key, at] : keys)
        put(reinterpret_cast<const char *>(lists_[at].bytes.data()), qint64(lists_[at].bytes.size()));
    pad();
    static const char tail[8] = {};
    put(tail, 8);
    if (!ok || written != qint64(h.fileSize)) {
        const QString error = f.errorString();
        f.cancelWriting();
        return error.isEmpty() ? QStringLiteral("could not write %1").arg(path) : error;
    }
    if (!f.commit())
        return f.errorString();
    return QString();
}

std::unique_ptr<SearchIndex> SearchIndex::open(const QString &path, quint64 tag, QString *why)
{
    const auto fail = [&](const QString &reason) {
        if (why)
            *why = reason;
        return nullptr;
    };
    auto map = std::make_shared<Mapping>();
    map->file.setFileName(path);
    if (!map->file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("missing"));
    map->size = map->file.size();
    if (map->size < qint64(sizeof(FileHeader)))
        return fail(QStringLiteral("too short"));
    map->data = map->file.map(0, map->size);
    if (!map->data)
        return fail(map->file.errorString());
    // The descriptor is not needed once mapped; the mapping keeps the file.
    map->file.close();
    const char *base = reinterpret_cast<const char *>(map->data);
    FileHeader h;
    std::memcpy(&h, base, sizeof h);
    if (std::memcmp(h.magic, FileMagic, sizeof FileMagic) != 0 || h.format != FileFormat
        || h.headerSize != sizeof(FileHeader))
        return fail(QStringLiteral("another format"));
    if (h.tag != tag)
        return fail(QStringLiteral("another database"));
    if (h.fileSize != quint64(map->size))
        return fail(QStringLiteral("truncated"));
    const quint64 entry[SectionCount] = {sizeof(FileDoc), 1, 1, sizeof(FileKey), sizeof(FileGap), 1, 1};
    const quint64 counts[SectionCount] = {h.docCount, 0, 0, h.keyCount, h.gapCount, 0, 0};
    for (int i = 0; i < SectionCount; ++i) {
        const Section &s = h.sections[i];
        if (s.offset % 8 || s.offset < sizeof(FileHeader) || s.offset > h.fileSize || s.size > h.fileSize - s.offset
            || (entry[i] > 1 && s.size != counts[i] * entry[i]))
            return fail(QStringLiteral("damaged"));
    }
    if (h.docCount >= std::numeric_limits<quint32>::max())
        return fail(QStringLiteral("damaged"));
    Digest digest;
    {
        FileHeader zeroed = h;
        zeroed.digest = 0;
        digest.add(reinterpret_cast<const char *>(&zeroed), sizeof zeroed);
    }
    for (int i = Docs; i <= Gaps; ++i)
        digest.add(base + h.sections[i].offset, qint64(h.sections[i].size));
    if (digest.h != h.digest)
        return fail(QStringLiteral("damaged"));

    auto index = std::make_unique<SearchIndex>();
    const Section &rows = h.sections[Rows];
    const Section &sync = h.sections[Sync];
    const Section &content = h.sections[Content];
    const auto *docs = reinterpret_cast<const FileDoc *>(base + h.sections[Docs].offset);
    quint64 lastRecord = 0;
    index->slotOfId_.reserve(qsizetype(h.docCount));
    for (quint64 i = 0; i < h.docCount; ++i) {
        const FileDoc &f = docs[i];
        const quint64 syncSize = (quint64(f.contentSize) + (1u << SyncShift) - 1) >> SyncShift;
        if (f.contentOffset > content.size || f.contentSize > content.size - f.contentOffset
            || f.syncOffset > sync.size || syncSize > sync.size - f.syncOffset || f.rowOffset > rows.size
            || f.rowSize > rows.size - f.rowOffset)
            return fail(QStringLiteral("damaged"));
        Document d;
        const char *p = base + rows.offset + f.rowOffset;
        const char *end = p + f.rowSize;
        if (!readRowField(p, end, d.row.id) || !readRowField(p, end, d.row.title) || !readRowField(p, end, d.row.date)
            || !readRowField(p, end, d.row.typeId))
            return fail(QStringLiteral("damaged"));
        d.idNumber = f.id;
        d.typeNumber = f.type;
        d.recordNumber = f.record;
        d.hasContent = f.flags & HasContent;
        d.irregular = f.flags & Irregular;
        d.content = QByteArray::fromRawData(base + content.offset + f.contentOffset, f.contentSize);
        d.sync = QByteArray::fromRawData(base + sync.offset + f.syncOffset, qsizetype(syncSize));
        if (i && f.record < lastRecord)
            index->ordered_ = false;
        lastRecord = std::max(lastRecord, f.record);
        const auto slot = quint32(index->docs_.size());
        const qsizetype before = index->slotOfId_.size();
        index->slotOfId_.insert(d.row.id, slot);
        if (index->slotOfId_.size() == before)
            return fail(QStringLiteral("damaged")); // an id twice
        if (d.irregular)
            index->irregular_.push_back(slot);
        index->docs_.push_back(std::move(d));
    }
    index->maxRecord_ = lastRecord;
    const auto *keys = reinterpret_cast<const FileKey *>(base + h.sections[Keys].offset);
    const Section &postings = h.sections[PostingsBytes];
    for (quint64 i = 0; i < h.keyCount; ++i)
        if ((i && keys[i].key <= keys[i - 1].key) || keys[i].offset > postings.size
            || keys[i].size > postings.size - keys[i].offset)
            return fail(QStringLiteral("damaged"));
    index->baseKeys_ = keys;
    index->baseKeyCount_ = size_t(h.keyCount);
    index->basePostings_ = reinterpret_cast<const quint8 *>(base + postings.offset);
    index->baseSlots_ = quint32(h.docCount);
    LogPosition position;
    position.seq = h.seq;
    const auto *gaps = reinterpret_cast<const FileGap *>(base + h.sections[Gaps].offset);
    for (quint64 i = 0; i < h.gapCount; ++i)
        position.gaps.push_back({gaps[i].seq, gaps[i].expiresMs});
    index->position_ = std::move(position);
    index->map_ = std::move(map);
    return index;
}
