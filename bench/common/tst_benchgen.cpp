// The benchmark databases must be what the figures claim: the stated
// sizes, a well-formed tree with the designated subtree exactly as large as
// asked, column limits respected, and the same content for the same seed.

#include "generator.h"

#include "UnitDM.h"
#include "fbsql.h"
#include "gbkcodec.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

namespace {

QList<QStringList> rows(const QString &path, const QString &sql)
{
    TmvlabDm dm(path);
    mv::db::Query q(dm.IBDatabaseMV);
    q.setSql(sql);
    q.open();
    QList<QStringList> r;
    while (!q.eof()) {
        QStringList row;
        for (int i = 0; i < q.fieldCount(); ++i)
            row.append(q.field(i));
        r.append(row);
        q.next();
    }
    return r;
}

QByteArray digest(const QString &path)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    for (const QString &sql : {QStringLiteral("select id, parentid, typename from type"),
                               QStringLiteral("select id, title, typeid, content from documents order by id")})
        for (const QStringList &row : rows(path, sql))
            h.addData(row.join(QChar(0x1f)).toUtf8());
    return h.result();
}

} // namespace

class TstBenchGen : public QObject
{
    Q_OBJECT

private slots:
    void contentMatchesTheRequest();
    void sameSeedSameDatabase();
    void impossibleSizesAreRefused();

private:
    QTemporaryDir dir_;
};

void TstBenchGen::contentMatchesTheRequest()
{
    const int N = 400, M = 600, C = 150, D = 250;
    const QString path = dir_.filePath(QStringLiteral("contract.fdb"));
    const mvbench::GenStats s = mvbench::generate(path, N, M, 7, C, D);
    QCOMPARE(s.categories, N);
    QCOMPARE(s.documents, M);

    // Categories: ids 1..N, each parent either 0 or an earlier category,
    // so every category hangs in the tree and there are no cycles.
    const QList<QStringList> cats = rows(path, QStringLiteral("select id, parentid, typename from type"));
    QCOMPARE(cats.size(), N);
    QHash<int, int> parent;
    QHash<int, QList<int>> children;
    bool idOrder = true;
    for (int i = 0; i < cats.size(); ++i) {
        const int id = cats[i][0].toInt();
        const int p = cats[i][1].toInt();
        QVERIFY(!parent.contains(id));
        QVERIFY2(p == 0 || (p >= 1 && p < id), qPrintable(cats[i].join(' ')));
        QVERIFY(!cats[i][2].isEmpty());
        QVERIFY(!cats[i][2].contains('\''));
        parent.insert(id, p);
        children[p].append(id);
        idOrder = idOrder && (i == 0 || cats[i - 1][0].toInt() < id);
    }
    QCOMPARE(parent.size(), N);
    QVERIFY(parent.contains(1) && parent.contains(N));
    QCOMPARE(parent.value(1), 0);
    QVERIFY2(!idOrder, "rows should not come back in id order");
    QVERIFY(children.value(0).size() > 1);

    // The subtree below 2 has exactly C categories with 2 itself.
    QCOMPARE(parent.value(2), 1);
    QSet<int> subtree{2};
    QList<int> todo{2};
    while (!todo.isEmpty())
        for (int c : children.value(todo.takeLast())) {
            subtree.insert(c);
            todo.append(c);
        }
    QCOMPARE(subtree.size(), C);

    // Documents: ids 1..M, D of them in the subtree, titles within the
    // column, stored bytes as counted.
    const QList<QStringList> docs =
        rows(path, QStringLiteral("select id, typeid, octet_length(title), octet_length(content), content "
                                  "from documents order by id"));
    QCOMPARE(docs.size(), M);
    int inSubtree = 0, large = 0, fullTitles = 0;
    qint64 bytes = 0;
    for (int i = 0; i < docs.size(); ++i) {
        QCOMPARE(docs[i][0].toInt(), i + 1);
        const int typeId = docs[i][1].toInt();
        QVERIFY(parent.contains(typeId));
        inSubtree += subtree.contains(typeId);
        const int titleBytes = docs[i][2].toInt();
        QVERIFY(titleBytes > 0 && titleBytes <= 100);
        fullTitles += titleBytes == 100;
        const int contentBytes = docs[i][3].toInt();
        QVERIFY(contentBytes <= 100 * 1024);
        large += contentBytes > 20 * 1024;
        bytes += contentBytes;
        const QString &html = docs[i][4];
        QVERIFY(html.startsWith(QLatin1String("<BODY>")) && html.endsWith(QLatin1String("</BODY>")));
        QCOMPARE(mv::GbkCodec::encode(html).size(), qsizetype(contentBytes));
    }
    QCOMPARE(inSubtree, D);
    QCOMPARE(bytes, s.contentBytes);
    QVERIFY(large > 0);
    QVERIFY(fullTitles > 0);
    QVERIFY(bytes / M > 3000 && bytes / M < 8000);
}

void TstBenchGen::sameSeedSameDatabase()
{
    const QString a = dir_.filePath(QStringLiteral("a.fdb"));
    const QString b = dir_.filePath(QStringLiteral("b.fdb"));
    const QString c = dir_.filePath(QStringLiteral("c.fdb"));
    mvbench::generate(a, 200, 150, 42, 50, 40);
    mvbench::generate(b, 200, 150, 42, 50, 40);
    mvbench::generate(c, 200, 150, 43, 50, 40);
    QCOMPARE(digest(a), digest(b));
    QVERIFY(digest(a) != digest(c));
}

void TstBenchGen::impossibleSizesAreRefused()
{
    struct Case {
        int categories, documents, subC, subD;
    };
    const Case cases[] = {
        {0, 10, 0, 0},  // no category 1
        {10, 10, 10, 0}, // subtree would swallow category 1
        {10, 10, 5, 11}, // more subtree documents than documents
        {10, 10, 0, 3},  // subtree documents without a subtree
        {10, -1, 0, 0},
    };
    for (const Case &k : cases) {
        const QString path = dir_.filePath(QStringLiteral("refused.fdb"));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 mvbench::generate(path, k.categories, k.documents, 1, k.subC, k.subD));
        QVERIFY(!QFileInfo::exists(path));
    }
    // An existing file is never overwritten.
    const QString existing = dir_.filePath(QStringLiteral("existing.fdb"));
    mvbench::generate(existing, 5, 0, 1);
    const QByteArray before = digest(existing);
    QVERIFY_THROWS_EXCEPTION(mv::db::DbError, mvbench::generate(existing, 9, 3, 2));
    QCOMPARE(digest(existing), before);
}

QTEST_GUILESS_MAIN(TstBenchGen)
#include "tst_benchgen.moc"
