#include "databaselocation.h"

#include "UnitDM.h"
#include "fbsql.h"
#include "schema.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

namespace mv {

namespace {

// What the program reads of each table: DOCUMENTS by column name, TYPE's
// first three columns by position (the category loader reads "select *").
const QStringList DocumentColumns{QStringLiteral("ID"), QStringLiteral("TITLE"), QStringLiteral("DATE"),
                                  QStringLiteral("TYPEID"), QStringLiteral("CONTENT")};
const QStringList TypeColumns{QStringLiteral("ID"), QStringLiteral("PARENTID"), QStringLiteral("TYPENAME")};

// Empty when the database has both tables as the program reads them;
// otherwise what is missing, for the message.
QString missingSchema(const QString &path)
{
    TmvlabDm dm(path);
    db::Query q(dm.IBDatabaseMV);
    q.setSql(QStringLiteral("select rdb$relation_name, rdb$field_name from rdb$relation_fields"
                            " where rdb$relation_name in ('DOCUMENTS', 'TYPE')"
                            " order by rdb$relation_name, rdb$field_position"));
    q.open();
    QMap<QString, QStringList> columns;
    for (; !q.eof(); q.next())
        columns[q.field(0).trimmed()].append(q.field(1).trimmed());
    q.close();

    QStringList missing;
    for (const QString &table : {QStringLiteral("DOCUMENTS"), QStringLiteral("TYPE")}) {
        if (!columns.contains(table))
            missing.append(QStringLiteral("缺少表 %1").arg(table));
    }
    if (!missing.isEmpty())
        return missing.join(QStringLiteral("，"));
    QStringList absent;
    for (const QString &c : DocumentColumns) {
        if (!columns[QStringLiteral("DOCUMENTS")].contains(c))
            absent.append(c);
    }
    if (!absent.isEmpty())
        return QStringLiteral("表 DOCUMENTS 缺少列 %1").arg(absent.join(QStringLiteral(", ")));
    if (columns[QStringLiteral("TYPE")].mid(0, TypeColumns.size()) != TypeColumns)
        return QStringLiteral("表 TYPE 的前三列不是 %1").arg(TypeColumns.join(QStringLiteral(", ")));
    return {};
}

} // namespace

DatabaseLocation::Choice DatabaseLocation::choose(const QString &programDir, const QString &userDataDir,
                                                  const QString &requested)
{
    if (db::isServerName(requested))
        return {requested, Source::Server};
    if (!requested.isEmpty())
        return {QDir::cleanPath(QFileInfo(requested).absoluteFilePath()), Source::Requested};
    const QString fileName = QString::fromLatin1(TmvlabDm::DatabaseFileName);
    const QString beside = QDir(programDir).filePath(fileName);
    if (QFileInfo::exists(beside))
        return {beside, Source::BesideProgram};
    return {QDir(userDataDir).filePath(fileName), Source::UserData};
}

DatabaseLocation::Check DatabaseLocation::inspect(const QString &path)
{
    if (db::isServerName(path)) {
        // Nothing of it can be seen from here but through the server.
        try {
            const QString missing = missingSchema(path);
            if (!missing.isEmpty())
                return {State::OtherSchema, missing};
        } catch (const db::DbError &e) {
            return {State::ServerRefused, e.message()};
        }
        return {State::Usable, {}};
    }
    const QFileInfo file(path);
    if (!file.exists()) {
        // A link to nowhere: a new file would be made wherever it points.
        if (file.isSymLink())
            return {State::NotAFile, {}};
        const QFileInfo folder(file.absolutePath());
        if (!folder.isDir())
            return {State::FolderMissing, {}};
        if (!folder.isWritable())
            return {State::FolderReadOnly, {}};
        return {State::Missing, {}};
    }
    // Before the engine sees it: a folder or a pipe is no database, and a
    // file the engine could only read would fail at the first save.
    if (!file.isFile())
        return {State::NotAFile, {}};
    if (!file.isReadable() || !file.isWritable())
        return {State::FileReadOnly, {}};
    try {
        const QString missing = missingSchema(path);
        if (!missing.isEmpty())
            return {State::OtherSchema, missing};
    } catch (const db::DbError &e) {
        return {State::NotADatabase, e.message()};
    }
    return {State::Usable, {}};
}

QString DatabaseLocation::refusal(const QString &path, const Check &check)
{
    const QString folder = QFileInfo(path).absolutePath();
    switch (check.state) {
    case State::Usable:
    case State::Missing:
        return {};
    case State::FolderMissing:
        return QStringLiteral("文件夹不存在：\n%1\n无法在那里打开或新建数据库!").arg(folder);
    case State::FolderReadOnly:
        return QStringLiteral("文件夹不可写入：\n%1\n无法在那里新建数据库!").arg(folder);
    case State::NotAFile:
        return QStringLiteral("这不是一个文件：\n%1\n无法把它作为数据库打开!").arg(path);
    case State::FileReadOnly:
        return QStringLiteral("数据库文件不可读写：\n%1\n本程序要修改这个文件，无法使用它!").arg(path);
    case State::NotADatabase:
        return QStringLiteral("无法把这个文件作为数据库打开：\n%1\n（%2）\n它不是数据库文件，或者正被别的程序使用!")
            .arg(path, check.detail);
    case State::OtherSchema:
        return QStringLiteral("这个数据库不是本程序的数据库（%2）：\n%1\n无法使用它!").arg(path, check.detail);
    case State::ServerRefused:
        return QStringLiteral("无法使用服务器上的数据库：\n%1\n（%2）\n请检查服务器是否在运行、地址、用户名和密码!")
            .arg(path, check.detail);
    }
    return {};
}

void DatabaseLocation::create(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw db::DbError(QStringLiteral("无法建立文件夹 %1").arg(folder));
    createSchemaDatabase(path);
}

} // namespace mv
