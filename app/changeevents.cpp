#include "changeevents.h"

#include "UnitDM.h"
#include "fbsql.h"
#include "schema.h"

#include <QFile>
#include <QMetaObject>
#include <QPointer>

#include <firebird/Interface.h>
#include <ibase.h>

#include <atomic>
#include <mutex>
#include <vector>

using namespace Firebird;

namespace mv {

namespace {

constexpr int RetryIntervalMs = 3000;

// An event parameter block: version, then each name with its count.
std::vector<unsigned char> eventBlock(const QList<QByteArray> &names)
{
    // Version 1 of the block's layout.
    std::vector<unsigned char> b{1};
    for (const QByteArray &n : names) {
        b.push_back(static_cast<unsigned char>(n.size()));
        b.insert(b.end(), n.begin(), n.end());
        b.insert(b.end(), 4, 0);
    }
    return b;
}

// The count of each event in a block, in order.
std::vector<quint32> countsOf(const std::vector<unsigned char> &b)
{
    std::vector<quint32> out;
    size_t i = 1;
    while (i < b.size()) {
        i += 1 + b[i];
        if (i + 4 > b.size())
            break;
        out.push_back(quint32(b[i]) | quint32(b[i + 1]) << 8 | quint32(b[i + 2]) << 16 | quint32(b[i + 3]) << 24);
        i += 4;
    }
    return out;
}

// Writes counts into a block made by eventBlock, in order.
void setCounts(std::vector<unsigned char> &b, const std::vector<quint32> &counts)
{
    size_t i = 1;
    for (quint32 c : counts) {
        if (i >= b.size())
            break;
        i += 1 + b[i];
        if (i + 4 > b.size())
            break;
        for (int k = 0; k < 4; ++k)
            b[i + size_t(k)] = static_cast<unsigned char>(c >> (8 * k));
        i += 4;
    }
}

} // namespace

// What the client's thread and this object share: the attachment, the
// registration, and the block the last delivery filled in.
struct ChangeEvents::Shared : IEventCallbackImpl<ChangeEvents::Shared, CheckStatusWrapper> {
    std::mutex mutex;
    QPointer<ChangeEvents> owner;
    IAttachment *att = nullptr;
    IEvents *events = nullptr;
    std::vector<unsigned char> request; // what is asked for: the counts known so far
    std::vector<unsigned char> delivered;
    bool pending = false; // a delivery waits to be handled
    bool baseline = true;  // no delivery yet since the registration
    std::atomic_int refs{1};

    void addRef() override { ++refs; }
    int release() override
    {
        if (--refs == 0) {
            delete this;
            return 0;
        }
        return 1;
    }
    // On the client's thread.
    void eventCallbackFunction(unsigned length, const ISC_UCHAR *events) override
    {
        // Nothing comes when a request ends without a delivery (released,
        // cancelled, or the link broke): the ping tells a broken link.
        if (length == 0 || !events)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        delivered.assign(events, events + length);
        if (pending || !owner)
            return;
        pending = true;
        QMetaObject::invokeMethod(owner.data(), [o = owner] {
            if (o)
                o->delivered();
        }, Qt::QueuedConnection);
    }
};

ChangeEvents::ChangeEvents(const QString &databaseName, QObject *parent)
    : QObject(parent), databaseName_(databaseName)
{
    retry_.setInterval(RetryIntervalMs);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] { start(); });
    ping_.setInterval(RetryIntervalMs);
    connect(&ping_, &QTimer::timeout, this, &ChangeEvents::ping);
    start();
}

ChangeEvents::~ChangeEvents()
{
    stop();
}

bool ChangeEvents::listening() const
{
    return shared_ && shared_->events;
}

bool ChangeEvents::start()
{
    stop();
    // Only a server has other programs on the same database: a file here
    // is this process's alone, and an attachment of this one would keep a
    // replaced file open under its path (see db::Connection).
    if (!db::isServerName(databaseName_))
        return false;
    auto *s = new Shared;
    s->owner = this;
    // The callback object is counted: the client may hold it past stop().
    shared_ = std::shared_ptr<Shared>(s, [](Shared *p) { p->release(); });
    s->request = eventBlock({QByteArray(DocumentsEvent), QByteArray(TypesEvent)});
    try {
        s->att = db::attachDatabase(databaseName_, TmvlabDm::UserName, TmvlabDm::Password);
        queue();
        if (listening()) {
            ping_.start();
            if (announceAll_) {
                // Whatever was committed while the link was down.
                announceAll_ = false;
                QTimer::singleShot(0, this, [this] {
                    emit documentsChanged(Unknown);
                    emit categoriesChanged();
                });
            }
        }
    } catch (const db::DbError &) {
        stop();
        announceAll_ = true;
        retry_.start();
        return false;
    }
    return listening();
}

void ChangeEvents::queue()
{
    Shared *s = shared_.get();
    IEvents *done = nullptr;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->pending = false;
        done = s->events;
        s->events = nullptr;
    }
    // The delivered request is over; let go of it before asking again.
    // Outside the lock: the client may call back while letting go.
    if (done)
        done->release();
    IStatus *raw = fb_get_master_interface()->getStatus();
    CheckStatusWrapper st(raw);
    IEvents *ev = s->att->queEvents(&st, s, unsigned(s->request.size()), s->request.data());
    const bool failed = st.getState() & IStatus::STATE_ERRORS;
    raw->dispose();
    if (failed) {
        lost();
        return;
    }
    std::lock_guard<std::mutex> lock(s->mutex);
    s->events = ev;
}

void ChangeEvents::delivered()
{
    Shared *s = shared_.get();
    if (!s)
        return;
    std::vector<unsigned char> got;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        got = s->delivered;
    }
    const std::vector<quint32> before = countsOf(s->request);
    const std::vector<quint32> now = countsOf(got);
    // The delivered block need not be laid out as the request was.
    setCounts(s->request, now);
    // The server answers a new registration at once with its counts as
    // they stand: that first delivery is where counting starts.
    const bool baseline = s->baseline;
    s->baseline = false;
    // Asked again before anything else, so that nothing posted meanwhile
    // is missed. A failure lets go of s.
    queue();
    if (baseline)
        return;
    auto commits = [&](size_t i) -> int {
        if (i >= now.size() || i >= before.size() || now[i] == before[i])
            return 0;
        return now[i] > before[i] ? int(now[i] - before[i]) : Unknown;
    };
    if (const int documents = commits(0))
        emit documentsChanged(documents);
    if (commits(1))
        emit categoriesChanged();
}

void ChangeEvents::ping()
{
    if (!shared_ || !shared_->att)
        return;
    IStatus *raw = fb_get_master_interface()->getStatus();
    CheckStatusWrapper st(raw);
    shared_->att->ping(&st);
    const bool failed = st.getState() & IStatus::STATE_ERRORS;
    raw->dispose();
    if (failed)
        lost();
}

void ChangeEvents::lost()
{
    stop();
    announceAll_ = true;
    retry_.start();
}

void ChangeEvents::stop()
{
    ping_.stop();
    if (!shared_)
        return;
    Shared *s = shared_.get();
    IEvents *ev;
    IAttachment *att;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->owner = nullptr;
        ev = s->events;
        s->events = nullptr;
        att = s->att;
        s->att = nullptr;
    }
    IStatus *raw = fb_get_master_interface()->getStatus();
    CheckStatusWrapper st(raw);
    if (ev) {
        ev->cancel(&st);
        if (st.getState() & IStatus::STATE_ERRORS)
            ev->release();
        st.init();
    }
    if (att) {
        att->detach(&st);
        if (st.getState() & IStatus::STATE_ERRORS)
            att->release();
    }
    raw->dispose();
    shared_.reset();
}

} // namespace mv
