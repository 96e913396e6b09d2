#include "statementsearch.h"

#include "UnitDM.h"
#include "documentquery.h"
#include "fbsql.h"

StatementSearch::StatementSearch(const QString &databasePath, QObject *parent) : QObject(parent), path_(databasePath)
{
}

StatementSearch::~StatementSearch()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        next_.reset();
        wanted_ = 0;
        cancelRunning();
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void StatementSearch::cancelRunning()
{
    if (running_)
        running_->cancelOperation();
}

void StatementSearch::start(quint64 ticket, const QByteArray &needle)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next_ = Request{ticket, needle};
        wanted_ = ticket;
        cancelRunning();
        if (!worker_.joinable())
            worker_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

void StatementSearch::cancel()
{
    std::lock_guard<std::mutex> lock(mutex_);
    next_.reset();
    wanted_ = 0;
    cancelRunning();
}

void StatementSearch::run()
{
    for (;;) {
        Request r;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || next_; });
            if (quit_)
                return;
            r = std::move(*next_);
            next_.reset();
        }
        std::vector<DocumentRow> rows;
        QString error;
        // A connection for each search: its transaction sees every change
        // committed before it, as the window's own statement would.
        mv::db::Connection c(path_, TmvlabDm::UserName, TmvlabDm::Password);
        c.setReads(mv::db::Connection::Reads::Snapshot);
        try {
            c.ensureOpen();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                running_ = &c;
            }
            if (hook_)
                hook_();
            if (wanted_ == r.ticket)
                rows = DocumentQuery::searchRows(c, r.needle, [&] { return wanted_ != r.ticket; });
        } catch (const mv::db::DbError &e) {
            error = e.message();
        } catch (const std::exception &e) {
            error = QString::fromLocal8Bit(e.what());
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = nullptr;
        }
        try {
            c.close();
        } catch (...) {
            // It only read.
        }
        if (wanted_ != r.ticket)
            continue; // superseded: its end, cancelled or not, is nobody's
        QMetaObject::invokeMethod(
            this,
            [this, ticket = r.ticket, rows = std::move(rows), error]() mutable {
                if (ticket != wanted_)
                    return;
                rows_ = std::move(rows);
                emit finished(ticket, error);
            },
            Qt::QueuedConnection);
    }
}
