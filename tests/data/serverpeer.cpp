// The other program in the server tests: its own data module on the
// database named by argv[1] (login from argv[2] and the password file
// argv[3]), listening for the database's change events. Reads commands
// from stdin, one a line, and answers on stdout:
//   insert TITLE WORD     a document whose body holds WORD -> "inserted ID"
//   category NAME         a category below the first one   -> "category ID"
// and prints "documents N" / "categories" when others' commits are announced.

#include "UnitDM.h"
#include "changeevents.h"
#include "documentstore.h"
#include "fbsql.h"
#include "serverlogin.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {
void say(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    QString failure;
    const std::optional<QByteArray> password = mv::ServerLogin::readPasswordFile(args[3], &failure);
    if (!password) {
        say(QStringLiteral("error ") + failure);
        return 1;
    }
    mv::db::setServerLogin(args[2].toUtf8(), *password);
    TmvlabDm dm(args[1]);
    mv::ChangeEvents events(args[1]);
    events.setRetryInterval(200);
    QObject::connect(&events, &mv::ChangeEvents::documentsChanged, [&](int n) {
        if (dm.store().othersOf(n) != 0 || n == mv::ChangeEvents::Unknown)
            say(QStringLiteral("documents %1").arg(n));
    });
    QObject::connect(&events, &mv::ChangeEvents::categoriesChanged, [] { say(QStringLiteral("categories")); });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[4096];
        if (!std::fgets(buf, sizeof buf, stdin)) {
            QCoreApplication::exit(0);
            return;
        }
        const QStringList cmd = QString::fromUtf8(buf).trimmed().split(QLatin1Char(' '));
        try {
            if (cmd.value(0) == QLatin1String("insert")) {
                const QString id = dm.store().insertDocument(cmd.value(1), QStringLiteral("1"),
                                                      QStringLiteral("<p>%1</p>").arg(cmd.value(2)));
                say(QStringLiteral("inserted ") + id);
            } else if (cmd.value(0) == QLatin1String("category")) {
                QString id;
                dm.runUnit([&] {
                    mv::db::Query q(dm.IBDatabaseMV);
                    q.setSql(QStringLiteral("select max(id) + 1 from type"));
                    q.open();
                    id = q.field(0);
                    q.close();
                    q.setSql(QStringLiteral("insert into type (id, parentid, typename) values (:id, 1, :name)"));
                    q.setParam(QStringLiteral("id"), id);
                    q.setParam(QStringLiteral("name"), cmd.value(1));
                    q.execute();
                });
                say(QStringLiteral("category ") + id);
            }
        } catch (const mv::db::DbError &e) {
            say(QStringLiteral("error ") + e.message());
        }
    });
    say(events.listening() ? QStringLiteral("ready") : QStringLiteral("not listening"));
    return app.exec();
}
