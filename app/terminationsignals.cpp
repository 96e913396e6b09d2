#include "terminationsignals.h"

#include "fbsql.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace mv {

namespace {

// The handler may only write to a pipe; the event loop reads it.
int wakePipe[2] = {-1, -1};
struct sigaction previous[2];
constexpr int Handled[2] = {SIGINT, SIGTERM};

void onSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("SIGINT and SIGTERM keep their default: no pipe for them (%s)", strerror(errno));
        return;
    }
    db::leaveTerminationSignalsToProgram();
    notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i)
        ::sigaction(Handled[i], &action, &previous[i]);
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier_)
        return;
    for (int i = 0; i < 2; ++i)
        ::sigaction(Handled[i], &previous[i], nullptr);
    delete notifier_;
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
}

void TerminationSignals::readSignal()
{
    char byte;
    while (::read(wakePipe[0], &byte, 1) == 1)
        emit received(int(byte));
}

} // namespace mv
