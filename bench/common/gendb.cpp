// mvlab-gendb PATH --categories N --documents M [--seed S] [--subtree C D]
// Writes a new benchmark database and prints what it put in.

#include "generator.h"

#include "fbsql.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include <climits>
#include <cstdint>
#include <stdexcept>

namespace {

int usage(QTextStream &err, const QString &problem)
{
    if (!problem.isEmpty())
        err << "mvlab-gendb: " << problem << "\n";
    err << "usage: mvlab-gendb PATH --categories N --documents M [--seed S] [--subtree C D]\n"
           "  Creates a new database at PATH (an existing file is refused) holding N categories\n"
           "  and M documents. --subtree makes category 2 the root of exactly C categories\n"
           "  holding D of the documents. The same arguments always give the same content.\n";
    return 2;
}

bool toInt(const QString &s, qint64 max, qint64 &out)
{
    bool ok = false;
    out = s.toLongLong(&ok);
    return ok && out >= 0 && out <= max;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);

    QString path;
    qint64 categories = -1, documents = -1, seed = 1, subC = 0, subD = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](qint64 max, qint64 &target) {
            if (i + 1 >= args.size() || !toInt(args[i + 1], max, target))
                return false;
            ++i;
            return true;
        };
        if (a == QLatin1String("--categories")) {
            if (!value(INT_MAX, categories))
                return usage(err, QStringLiteral("--categories needs a count"));
        } else if (a == QLatin1String("--documents")) {
            if (!value(INT_MAX, documents))
                return usage(err, QStringLiteral("--documents needs a count"));
        } else if (a == QLatin1String("--seed")) {
            if (!value(UINT32_MAX, seed))
                return usage(err, QStringLiteral("--seed needs a number from 0 to 4294967295"));
        } else if (a == QLatin1String("--subtree")) {
            if (!value(INT_MAX, subC) || !value(INT_MAX, subD))
                return usage(err, QStringLiteral("--subtree needs two counts: categories and documents"));
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            usage(out, QString());
            return 0;
        } else if (a.startsWith(QLatin1Char('-')) || !path.isEmpty()) {
            return usage(err, QStringLiteral("unexpected argument %1").arg(a));
        } else {
            path = a;
        }
    }
    if (path.isEmpty() || categories < 0 || documents < 0)
        return usage(err, QStringLiteral("PATH, --categories and --documents are required"));
    if (QFileInfo::exists(path))
        return usage(err, QStringLiteral("%1 already exists; remove it first").arg(path));

    try {
        const mvbench::GenStats s = mvbench::generate(path, int(categories), int(documents), quint32(seed),
                                                      int(subC), int(subD));
        const double mb = double(s.contentBytes) / (1024.0 * 1024.0);
        out << "database:      " << path << "\n"
            << "categories:    " << s.categories << "\n"
            << "documents:     " << s.documents << "\n"
            << "content bytes: " << s.contentBytes << " (" << QString::number(mb, 'f', 1) << " MB)\n"
            << "seconds:       " << QString::number(s.seconds, 'f', 2) << "\n";
        if (s.seconds > 0 && s.documents > 0)
            out << "throughput:    " << QString::number(s.documents / s.seconds, 'f', 0) << " documents/s, "
                << QString::number(mb / s.seconds, 'f', 1) << " MB/s\n";
        out << "file size:     " << QString::number(double(QFileInfo(path).size()) / (1024.0 * 1024.0), 'f', 1)
            << " MB\n";
    } catch (const mv::db::DbError &e) {
        err << "mvlab-gendb: database error: " << e.message() << "\n";
        return 1;
    } catch (const std::exception &e) {
        err << "mvlab-gendb: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
