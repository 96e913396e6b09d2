#include "schema.h"

#include "UnitDM.h"
#include "fbsql.h"

#include <iterator>
#include <vector>

#include <QRandomGenerator>

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
    } + changeLogStatements() + changeEventStatements();
}

namespace {

struct LogObject {
    const char *kind; // as RDB$ names it: R relation, G generator, T trigger
    const char *name;
    QString statement;
};

QString tagStatement()
{
    // Never 0, which is an untagged file's value.
    const quint64 tag = (QRandomGenerator::system()->generate64() >> 2) + 1;
    return QStringLiteral("alter sequence MV_DATABASE_TAG restart with %1").arg(tag);
}

std::vector<LogObject> logObjects()
{
    // An update that changes a document's id takes it from one id to another.
    return {
        {"G", "MV_CHANGE_SEQ", QStringLiteral("create sequence MV_CHANGE_SEQ")},
        {"G", "MV_DATABASE_TAG", QStringLiteral("create sequence MV_DATABASE_TAG")},
        {"R", "MV_CHANGE_LOG",
         QStringLiteral("create table MV_CHANGE_LOG ("
                        " SEQ bigint not null,"
                        " DOC_ID integer not null,"
                        " constraint PK_MV_CHANGE_LOG primary key (SEQ))")},
        {"T", "MV_CHANGE_LOG_AI",
         QStringLiteral("create trigger MV_CHANGE_LOG_AI for DOCUMENTS after insert position 100 as begin"
                        " insert into MV_CHANGE_LOG (SEQ, DOC_ID) values (gen_id(MV_CHANGE_SEQ, 1), new.ID);"
                        " end")},
        {"T", "MV_CHANGE_LOG_AU",
         QStringLiteral("create trigger MV_CHANGE_LOG_AU for DOCUMENTS after update position 100 as begin"
                        " if (old.ID is distinct from new.ID) then"
                        " insert into MV_CHANGE_LOG (SEQ, DOC_ID) values (gen_id(MV_CHANGE_SEQ, 1), old.ID);"
                        " insert into MV_CHANGE_LOG (SEQ, DOC_ID) values (gen_id(MV_CHANGE_SEQ, 1), new.ID);"
                        " end")},
        {"T", "MV_CHANGE_LOG_AD",
         QStringLiteral("create trigger MV_CHANGE_LOG_AD for DOCUMENTS after delete position 100 as begin"
                        " insert into MV_CHANGE_LOG (SEQ, DOC_ID) values (gen_id(MV_CHANGE_SEQ, 1), old.ID);"
                        " end")},
    };
}

} // namespace

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

namespace {

bool exists(db::Connection &c, const LogObject &o)
{
    db::Query q(c);
    switch (o.kind[0]) {
    case 'G':
        q.setSql(QStringLiteral("select 1 from rdb$generators where rdb$generator_name='%1'").arg(QLatin1String(o.name)));
        break;
    case 'R':
        q.setSql(QStringLiteral("select 1 from rdb$relations where rdb$relation_name='%1'").arg(QLatin1String(o.name)));
        break;
    default:
        q.setSql(QStringLiteral("select 1 from rdb$triggers where rdb$trigger_name='%1'").arg(QLatin1String(o.name)));
        break;
    }
    q.open();
    return !q.eof();
}

} // namespace

QStringList changeLogStatements()
{
    QStringList out;
    for (const LogObject &o : logObjects())
        out.append(o.statement);
    out.append(tagStatement());
    return out;
}

void ensureChangeLog(db::Connection &c)
{
    for (const LogObject &o : logObjects()) {
        if (exists(c, o))
            continue;
        try {
            // Each in a transaction of its own: a trigger names the table
            // the one before it made.
            c.runUnit([&] {
                db::Query q(c);
                q.setSql(o.statement);
                q.execute();
            });
        } catch (const db::DbError &) {
            // Another program adding it at the same time is no failure.
            if (!exists(c, o))
                throw;
        }
    }
    if (databaseTag(c) == 0) {
        c.runUnit([&] {
            db::Query q(c);
            q.setSql(tagStatement());
            q.execute();
        });
    }
}

quint64 databaseTag(db::Connection &c)
{
    db::Query q(c);
    q.setSql(QStringLiteral("select gen_id(MV_DATABASE_TAG, 0) from rdb$database"));
    q.open();
    return q.eof() ? 0 : q.field(0).toULongLong();
}

void createSchemaDatabase(const QString &path)
{
    db::createDatabase(path, TmvlabDm::UserName, TmvlabDm::Password, schemaStatements());
}

} // namespace mv
