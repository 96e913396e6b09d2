#include "schema.h"

#include "UnitDM.h"
#include "fbsql.h"

namespace mv {

QStringList schemaStatements()
{
    return {
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
    };
}

void createSchemaDatabase(const QString &path)
{
    db::createDatabase(path, TmvlabDm::UserName, TmvlabDm::Password, schemaStatements());
}

} // namespace mv
