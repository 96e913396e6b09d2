#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace mvtest {

// A database server of the test's own: the system's server binary run
// directly (no system service) on a free loopback port, with its
// configuration, security database and lock folder in a temporary folder.
// Killed with the fixture.
class FbServer
{
public:
    static constexpr const char *User = "sysdba";
    static constexpr const char *Password = "loopback-pw";

    FbServer();
    ~FbServer();
    FbServer(const FbServer &) = delete;
    FbServer &operator=(const FbServer &) = delete;

    // Prepares the folder and starts the server; false, and why, when it
    // could not (no server binary, a failed set-up).
    bool start(QString *why);
    // Ends it at once, as a crash or a pulled cable would.
    void kill();
    bool running() const { return process_.state() != QProcess::NotRunning; }

    int port() const { return port_; }
    // The name a client gives for a database file in the server's folder.
    QString nameOf(const QString &fileName) const;
    // The name a client gives for a database file anywhere on this machine.
    QString nameOfPath(const QString &absolutePath) const;
    QString folder() const { return dir_.path(); }

private:
    bool prepare(QString *why);
    bool waitForPort(int ms) const;

    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    bool prepared_ = false;
};

} // namespace mvtest
