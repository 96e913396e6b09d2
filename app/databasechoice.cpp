#include "databasechoice.h"

#include "databaselocation.h"
#include "dialogs.h"
#include "fbsql.h"

#include <QFileInfo>

namespace mv {

namespace {

DatabaseChoiceResult made(const QString &path)
{
    try {
        DatabaseLocation::create(path);
    } catch (const db::DbError &e) {
        Dialogs::error(QStringLiteral("无法新建数据库文件：\n%1\n（%2）\n程序无法继续!").arg(path, e.message()));
        return {{}, 1};
    }
    return {path};
}

} // namespace

DatabaseChoiceResult chooseDatabase(const QString &programDir, const QString &userDataDir,
                                    const QString &requested)
{
    const DatabaseLocation::Choice choice = DatabaseLocation::choose(programDir, userDataDir, requested);
    switch (choice.source) {
    case DatabaseLocation::Source::BesideProgram:
        return {choice.path};
    case DatabaseLocation::Source::UserData:
        // The program's own file: made on the first start, then used as it is.
        if (QFileInfo::exists(choice.path))
            return {choice.path};
        return made(choice.path);
    case DatabaseLocation::Source::Requested:
        break;
    case DatabaseLocation::Source::Server: {
        // A database on a server is made by whoever runs the server.
        const DatabaseLocation::Check check = DatabaseLocation::inspect(choice.path);
        if (check.state == DatabaseLocation::State::Usable)
            return {choice.path};
        Dialogs::error(DatabaseLocation::refusal(choice.path, check));
        return {{}, 1};
    }
    }

    const DatabaseLocation::Check check = DatabaseLocation::inspect(choice.path);
    switch (check.state) {
    case DatabaseLocation::State::Usable:
        return {choice.path};
    case DatabaseLocation::State::Missing:
        if (!Dialogs::question(QStringLiteral("数据库文件不存在：\n%1\n要在那里新建一个空的数据库吗?").arg(choice.path),
                               QStringLiteral("新建数据库")))
            return {{}, 0};
        return made(choice.path);
    default:
        Dialogs::error(DatabaseLocation::refusal(choice.path, check));
        return {{}, 1};
    }
}

} // namespace mv
