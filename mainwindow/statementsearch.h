#pragma once

#include "documentrow.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mv::db {
class Connection;
}

// The search's statement on a thread and a connection of its own, for the
// searches the index cannot answer (before it is built, or after it failed):
// the statement reads every document's content, which at a hundred thousand
// documents takes a second or more, and the window goes on answering
// meanwhile. Only the latest request counts: a new one supersedes the one
// running, which is cancelled in the database and never delivered.
class StatementSearch : public QObject
{
    Q_OBJECT
public:
    explicit StatementSearch(const QString &databasePath, QObject *parent = nullptr);
    ~StatementSearch() override;

    // Searches for needle (stored bytes); finished(ticket) follows, unless a
    // later start() or cancel() came first.
    void start(quint64 ticket, const QByteArray &needle);
    // Drops the request there is: nothing more is delivered for it.
    void cancel();

    // The rows of the request finished() was just emitted for.
    std::vector<DocumentRow> takeRows() { return std::move(rows_); }

    // For tests: runs on the search's thread once it is connected, before
    // each statement.
    void setStatementHook(std::function<void()> hook) { hook_ = std::move(hook); }

signals:
    // error is empty when the rows are there.
    void finished(quint64 ticket, const QString &error);

private:
    struct Request {
        quint64 ticket;
        QByteArray needle;
    };
    void run();
    void cancelRunning();

    const QString path_;
    std::function<void()> hook_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> next_;
    bool quit_ = false;
    mv::db::Connection *running_ = nullptr; // under mutex_, while a statement may run
    std::atomic<quint64> wanted_{0};        // the ticket that still counts
    std::thread worker_;
    std::vector<DocumentRow> rows_;
};
