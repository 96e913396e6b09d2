#pragma once

#include <QObject>

class QSocketNotifier;

namespace mv {

// SIGINT and SIGTERM, taken from their default (ending the process on the
// spot) and from the database engine (which would end every connection and
// leave the program unable to save): while this object lives, each arrives
// as received() in the event loop, so that the program ends itself as its
// own exit command does.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signal);

private:
    void readSignal();

    QSocketNotifier *notifier_ = nullptr;
};

} // namespace mv
