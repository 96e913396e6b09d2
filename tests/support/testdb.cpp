#include "testdb.h"

#include "fbsql.h"
#include "schema.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <stdexcept>

namespace mvtest {

TestDb::TestDb(bool withFirstCategory)
{
    if (!dir_.isValid())
        throw std::runtime_error("cannot make a temporary folder");
    path_ = dir_.filePath(QStringLiteral("mvlabnew.fdb"));
    mv::createSchemaDatabase(path_);
    if (!withFirstCategory)
        exec({QStringLiteral("delete from type")});
}

void TestDb::exec(const QStringList &statements)
{
    execOn(path_, statements);
}

void execOn(const QString &name, const QStringList &statements)
{
    TmvlabDm dm(name);
    dm.runUnit([&] {
        mv::db::Query q(dm.IBDatabaseMV);
        for (const QString &s : statements) {
            q.setSql(s);
            q.execute();
        }
    });
}

QStringList rowsOf(const QString &path, const QString &sql)
{
    TmvlabDm dm(path);
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(sql);
    q.open();
    QStringList out;
    while (!q.eof()) {
        QStringList cols;
        for (int i = 0; i < q.fieldCount(); ++i)
            cols.append(q.isNull(i) ? QStringLiteral("<null>") : q.field(i));
        out.append(cols.join(QLatin1Char('|')));
        q.next();
    }
    return out;
}

QStringList folderSnapshot(const QString &folder)
{
    QStringList out;
    const QDir dir(folder);
    for (const QFileInfo &f : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                                QDir::Name)) {
        QByteArray digest;
        QFile file(f.filePath());
        if (f.isFile() && file.open(QIODevice::ReadOnly))
            digest = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
        out.append(f.fileName() + QLatin1Char('|') + QString::fromLatin1(digest));
    }
    return out;
}

QStringList TestDb::rows(const QString &sql)
{
    return rowsOf(path_, sql);
}

} // namespace mvtest
