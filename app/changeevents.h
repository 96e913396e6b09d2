#pragma once

// Tells the program of every committed change to the documents or the
// categories, whoever made it: another program on another machine, a tool,
// or this program itself. The database's triggers post an event at each
// such commit; this registers for them on an attachment of its own and
// emits a signal in the thread it lives in. When the attachment is lost
// (the server stopped, the network went down) it registers again every few
// seconds, and once it does, says that both may have changed, since it
// cannot know what it missed. A database file on this machine is used by
// this program alone: nothing is registered for it.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace mv {

class ChangeEvents : public QObject
{
    Q_OBJECT
public:
    explicit ChangeEvents(const QString &databaseName, QObject *parent = nullptr);
    ~ChangeEvents() override;

    // Registers now (also called from the constructor); false when the
    // database could not be reached, and it tries again later, or is a
    // file on this machine.
    bool start();
    // Registered and not known to be lost.
    bool listening() const;
    // How long to wait before registering again after a failure, and how
    // often to make sure the link is still there meanwhile.
    void setRetryInterval(int ms)
    {
        retry_.setInterval(ms);
        ping_.setInterval(ms);
    }

    // Commits count unknown: the link was lost, and whatever happened
    // meanwhile is not known.
    static constexpr int Unknown = -1;

signals:
    // commits: how many committed transactions changed them since the last
    // signal, or Unknown.
    void documentsChanged(int commits);
    void categoriesChanged();

private:
    struct Shared;
    void delivered();
    void queue();
    void lost();
    void stop();
    void ping();

    QString databaseName_;
    std::shared_ptr<Shared> shared_;
    QTimer retry_;
    // The client does not always say when the link broke: asked now and
    // then, the server answers or the link is known lost.
    QTimer ping_;
    bool announceAll_ = false;
};

} // namespace mv
