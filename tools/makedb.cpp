// mvlab-makedb PATH [--sample]
// Makes a new database file with the program's schema and its first
// category. It never overwrites an existing file.

#include "UnitDM.h"
#include "fbsql.h"
#include "sampledata.h"
#include "schema.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool sample = args.removeAll(QStringLiteral("--sample")) > 0;
    QTextStream err(stderr);
    if (args.size() != 1) {
        err << "usage: mvlab-makedb PATH [--sample]\n";
        return 2;
    }
    try {
        mv::createSchemaDatabase(args[0]);
        if (sample) {
            TmvlabDm dm(args[0]);
            mv::fillSampleData(dm);
        }
    } catch (const mv::db::DbError &e) {
        err << "mvlab-makedb: " << e.message() << "\n";
        return 1;
    }
    return 0;
}
