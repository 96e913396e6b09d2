#include "schema.h"

#include "UnitDM.h"
#include "fbsql.h"

#include <iterator>

namespace mv {

QStringList schemaStatements()
{
    return QStringList{
        QStringLiteral("create table DOCUMENTS ("
                       " ID integer not null,"
                       " TITLE varchar(%1),"
                       " \"DATE\" date default current_date,"
                       " TYPEID integer not null,"
                       " CONTENT blob sub_type text,"
                       " constraint PK_DOCUMENTS primary key (ID))")
            .arg(TitleBytes),
        QStringLiteral("create table TYPE ("
                       " ID integer not null,"
                       " PARENTID integer,"
                       " TYPENAME varchar(%1),"
                       " constraint PK_TYPE primary key (ID))")
            .arg(TypeNameBytes),
        QStringLiteral("create index IX_DOCUMENTS_TYPEID on DOCUMENTS (TYPEID)"),
        QStringLiteral("create index IX_TYPE_PARENTID on TYPE (PARENTID)"),
        QStringLiteral("insert into TYPE (ID, PARENTID, TYPENAME) values (1, 0, '我的资料')"),
    } + changeEventStatements();
}

namespace {
struct EventTrigger {
    const char *name;
    const char *table;
    const char *event;
};
constexpr EventTrigger EventTriggers[] = {
    {"MV_DOCUMENTS_CHANGED", "DOCUMENTS", DocumentsEvent},
    {"MV_TYPE_CHANGED", "TYPE", TypesEvent},
};
} // namespace

QStringList changeEventStatements()
{
    QStringList out;
    // Posted events reach the listeners when the change commits, and not
    // at all when it is rolled back.
    for (const EventTrigger &t : EventTriggers)
        out.append(QStringLiteral("create trigger %1 for %2 active after insert or update or delete position 100"
                                  " as begin post_event '%3'; end")
                       .arg(QLatin1String(t.name), QLatin1String(t.table), QLatin1String(t.event)));
    return out;
}

void ensureChangeEvents(const QString &path)
{
    TmvlabDm dm(path);
    QStringList have;
    {
        db::Query q(dm.IBDatabaseMV);
        q.setSql(QStringLiteral("select rdb$trigger_name from rdb$triggers where rdb$trigger_name starting with 'MV_'"));
        for (q.open(); !q.eof(); q.next())
            have.append(q.field(0).trimmed());
    }
    const QStringList statements = changeEventStatements();
    dm.runUnit([&] {
        db::Query q(dm.IBDatabaseMV);
        for (size_t i = 0; i < std::size(EventTriggers); ++i) {
            if (have.contains(QLatin1String(EventTriggers[i].name)))
                continue;
            q.setSql(statements[int(i)]);
            q.execute();
        }
    });
}

void createSchemaDatabase(const QString &path)
{
    db::createDatabase(path, TmvlabDm::UserName, TmvlabDm::Password, schemaStatements());
}

} // namespace mv
