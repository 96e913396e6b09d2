// One database on a server, used by several programs: names, logins, the
// change events between processes, the refused save over another's change,
// and a server that dies and comes back under a running program. The
// server is the system's binary run by the test on a loopback port.

#include "UnitDM.h"
#include "changeevents.h"
#include "databaselocation.h"
#include "documentstore.h"
#include "fbserver.h"
#include "fbsql.h"
#include "schema.h"
#include "searchindexer.h"
#include "serverlogin.h"
#include "testdb.h"
#include "treeshape.h"
#include "UnitDcouentList.h"
#include "documentquery.h"
#include "trayicon.h"
#include "treeview.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using mv::db::DbError;

namespace {

QString peerProgram()
{
    return QStringLiteral(MV_BUILD_DIR "/tests/mvserverpeer");
}

bool writePrivate(const QString &path, const QByteArray &bytes, QFile::Permissions perms)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    return f.setPermissions(perms);
}

using mvtest::execOn;
using mvtest::node;
using mvtest::shape;

constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

// The other program, on its own process.
class Peer
{
public:
    Peer(const QString &database, const QString &passwordFile)
    {
        proc_.start(peerProgram(), {database, QLatin1String(mvtest::FbServer::User), passwordFile});
    }
    ~Peer()
    {
        proc_.closeWriteChannel();
        if (!proc_.waitForFinished(5000))
            proc_.kill();
    }
    void send(const QString &line) { proc_.write((line + QLatin1Char('\n')).toUtf8()); }
    // The next line that starts with prefix, within ms; empty when none.
    QString waitFor(const QString &prefix, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            while (proc_.canReadLine()) {
                const QString line = QString::fromUtf8(proc_.readLine()).trimmed();
                if (line.startsWith(prefix))
                    return line;
            }
            proc_.waitForReadyRead(20);
            QCoreApplication::processEvents();
        }
        return {};
    }

private:
    QProcess proc_;
};

} // namespace

class TestServerDb : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void serverNames_data();
    void serverNames();
    void localPathWithColonStaysLocal();
    void serverDatabaseChosenAndChecked();
    void loginFiles();
    void othersCommitsAreAnnouncedBothWays();
    void saveOverAnotherSaveIsRefused();
    void mainWindowFollowsOthers();
    void serverKilledAndRestartedUnderRunningProgram();

private:
    QString newDatabase(const QString &fileName);

    mvtest::FbServer server_;
    QTemporaryDir dir_;
    QString passwordFile_;
};

void TestServerDb::initTestCase()
{
    QString why;
    QVERIFY2(server_.start(&why), qPrintable(why));
    passwordFile_ = dir_.filePath(QStringLiteral("password"));
    QVERIFY(writePrivate(passwordFile_, QByteArray(mvtest::FbServer::Password) + "\n", OwnerOnly));
    mv::db::setServerLogin(mvtest::FbServer::User, mvtest::FbServer::Password);
}

QString TestServerDb::newDatabase(const QString &fileName)
{
    const QString name = server_.nameOf(fileName);
    mv::db::createDatabase(name, TmvlabDm::UserName, TmvlabDm::Password, mv::schemaStatements());
    return name;
}

void TestServerDb::serverNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("server");
    QTest::newRow("host and path") << "files.example:/srv/mvlab.fdb" << true;
    QTest::newRow("host, port and alias") << "127.0.0.1/3051:mvlab" << true;
    QTest::newRow("url form") << "inet://files.example:3050//srv/mvlab.fdb" << true;
    QTest::newRow("ipv6 host") << "[::1]/3050:/srv/a.fdb" << true;
    QTest::newRow("absolute path with a colon") << "/home/u/a:b/mvlab.fdb" << false;
    QTest::newRow("relative path with a colon, dotted") << "./a:b.fdb" << false;
    QTest::newRow("plain file") << "/home/u/mvlab.fdb" << false;
    QTest::newRow("empty") << "" << false;
}

void TestServerDb::serverNames()
{
    QFETCH(QString, name);
    QFETCH(bool, server);
    QCOMPARE(mv::db::isServerName(name), server);
}

void TestServerDb::localPathWithColonStaysLocal()
{
    // A local file whose folder holds a colon stays a local file of the
    // user's choice, made absolute, and is refused with the path named
    // (the engine reads the colon as a host's), nothing made for it.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("with:colon")));
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const mv::DatabaseLocation::Choice choice =
        mv::DatabaseLocation::choose(QStringLiteral("/nowhere"), QStringLiteral("/nowhere"),
                                     QStringLiteral("./with:colon/mvlab.fdb"));
    QDir::setCurrent(cwd);
    QCOMPARE(choice.source, mv::DatabaseLocation::Source::Requested);
    QCOMPARE(choice.path, dir.filePath(QStringLiteral("with:colon/mvlab.fdb")));
    QVERIFY(!mv::db::isServerName(choice.path));
}

void TestServerDb::serverDatabaseChosenAndChecked()
{
    using mv::DatabaseLocation;
    const QString name = newDatabase(QStringLiteral("chosen.fdb"));
    const DatabaseLocation::Choice choice = DatabaseLocation::choose(QStringLiteral("/nowhere"), QStringLiteral("/nowhere"), name);
    QCOMPARE(choice.source, DatabaseLocation::Source::Server);
    QCOMPARE(choice.path, name); // not taken for a relative file name
    QCOMPARE(DatabaseLocation::inspect(name).state, DatabaseLocation::State::Usable);

    const QString missing = server_.nameOf(QStringLiteral("missing.fdb"));
    const DatabaseLocation::Check check = DatabaseLocation::inspect(missing);
    QCOMPARE(check.state, DatabaseLocation::State::ServerRefused);
    QVERIFY(DatabaseLocation::refusal(missing, check).contains(missing));
    // Nothing was made on the server for it.
    QVERIFY(!QFile::exists(QDir(server_.folder()).filePath(QStringLiteral("missing.fdb"))));
}

void TestServerDb::loginFiles()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("server.conf"));
    QVERIFY(writePrivate(settings, "# mine\ndatabase = host:/srv/m.fdb\nuser=alice\npassword=from-settings\n", OwnerOnly));
    QString failure;
    std::optional<mv::ServerLogin> login = mv::ServerLogin::resolve({}, {}, settings, &failure);
    QVERIFY2(login, qPrintable(failure));
    QCOMPARE(login->database, QStringLiteral("host:/srv/m.fdb"));
    QCOMPARE(login->user, QByteArray("alice"));
    QCOMPARE(login->password, QByteArray("from-settings"));

    // The command line wins; a password file's first line is the password.
    const QString pw = dir.filePath(QStringLiteral("pw"));
    QVERIFY(writePrivate(pw, "s3cret\r\nignored\n", OwnerOnly));
    login = mv::ServerLogin::resolve(QStringLiteral("bob"), pw, settings, &failure);
    QVERIFY(login);
    QCOMPARE(login->user, QByteArray("bob"));
    QCOMPARE(login->password, QByteArray("s3cret"));

    // Files others may read are refused, and the message names the file
    // but never holds the password.
    for (const QString &open : {settings, pw}) {
        QVERIFY(QFile::setPermissions(open, OwnerOnly | QFile::ReadGroup | QFile::ReadOther));
        failure.clear();
        QVERIFY(!mv::ServerLogin::resolve({}, open == pw ? pw : QString(), settings == open ? settings : QString(),
                                          &failure));
        QVERIFY(failure.contains(open));
        QVERIFY(!failure.contains(QStringLiteral("s3cret")) && !failure.contains(QStringLiteral("from-settings")));
        QVERIFY(QFile::setPermissions(open, OwnerOnly));
    }
    // No settings file: nothing to read, no failure.
    QVERIFY(mv::ServerLogin::resolve({}, {}, dir.filePath(QStringLiteral("none")), &failure));
}

void TestServerDb::othersCommitsAreAnnouncedBothWays()
{
    const QString name = newDatabase(QStringLiteral("both.fdb"));
    TmvlabDm dm(name);
    SearchIndexer indexer(dm);
    indexer.start();
    QTRY_VERIFY_WITH_TIMEOUT(indexer.index(), 10000);
    mv::ChangeEvents events(name);
    QVERIFY(events.listening());
    QSignalSpy documents(&events, &mv::ChangeEvents::documentsChanged);
    QSignalSpy categories(&events, &mv::ChangeEvents::categoriesChanged);
    int othersCommits = 0;
    QObject::connect(&events, &mv::ChangeEvents::documentsChanged, &indexer, [&](int n) {
        const int others = dm.store().othersOf(n);
        othersCommits += others;
        if (others != 0)
            indexer.othersChangedDocuments();
    });

    Peer peer(name, passwordFile_);
    QCOMPARE(peer.waitFor(QStringLiteral("ready"), 10000), QStringLiteral("ready"));

    // The peer saves; this program's search finds the new word.
    QElapsedTimer took;
    took.start();
    peer.send(QStringLiteral("insert 远方 zebracrossing"));
    QVERIFY(peer.waitFor(QStringLiteral("inserted")).startsWith(QStringLiteral("inserted ")));
    const qint64 saved = took.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(othersCommits == 1, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(indexer.index() && indexer.index()->search("zebracrossing").value_or(
                                                     std::vector<const SearchIndex::Document *>{}).size() == 1,
                             1000);
    qInfo("save to search finding it: %lld ms (commit to index %lld ms)", took.elapsed(),
          took.elapsed() - saved);

    // This program saves; the peer hears of it.
    took.restart();
    dm.store().insertDocument(QStringLiteral("近处"), QStringLiteral("1"), QStringLiteral("<p>x</p>"));
    QVERIFY(!peer.waitFor(QStringLiteral("documents"), 1000).isEmpty());
    qInfo("commit to the other process's announcement: %lld ms", took.elapsed());
    // Its own save is not taken for another's.
    QTest::qWait(300);
    QCOMPARE(othersCommits, 1);

    // A category from the peer.
    peer.send(QStringLiteral("category 新类"));
    QVERIFY(!peer.waitFor(QStringLiteral("category")).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!categories.isEmpty(), 1000);
}

void TestServerDb::saveOverAnotherSaveIsRefused()
{
    const QString name = newDatabase(QStringLiteral("conflict.fdb"));
    TmvlabDm here(name);
    TmvlabDm there(name);
    const QString id = here.store().insertDocument(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("one"));
    const QByteArray loadedHere = mv::documentVersion(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("one"));
    const QByteArray loadedThere = loadedHere;

    QByteArray stored;
    QCOMPARE(there.store().updateLoadedDocument(id, loadedThere, QStringLiteral("t"), QStringLiteral("1"),
                                      QStringLiteral("two"), &stored),
             mv::UpdateResult::Stored);
    QCOMPARE(here.store().updateLoadedDocument(id, loadedHere, QStringLiteral("t"), QStringLiteral("1"),
                                      QStringLiteral("mine")),
             mv::UpdateResult::ChangedSinceLoaded);
    QCOMPARE(mvtest::rowsOf(name, QStringLiteral("select content from documents where id=") + id),
             QStringList{QStringLiteral("two")});
    // Saved again from what is stored now, it goes through; and a row
    // deleted meanwhile is told apart.
    QCOMPARE(here.store().updateLoadedDocument(id, stored, QStringLiteral("t"), QStringLiteral("1"),
                                      QStringLiteral("mine")),
             mv::UpdateResult::Stored);
    there.store().deleteDocument(id);
    QCOMPARE(here.store().updateLoadedDocument(id, stored, QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("x")),
             mv::UpdateResult::Missing);
}

// Another program adds, renames and removes categories and saves a
// document: the tree is built again as the user left it where its nodes
// still exist, and the list shows the new document, without anyone asking.
void TestServerDb::mainWindowFollowsOthers()
{
    mv::TrayIcon::setAvailableOverride(true);
    const QString name = newDatabase(QStringLiteral("window.fdb"));
    execOn(name, {QStringLiteral("delete from TYPE"), QStringLiteral("insert into TYPE values (3, 0, '三级')"),
                  QStringLiteral("insert into TYPE values (1, 0, '一级')"),
                  QStringLiteral("insert into TYPE values (2, 3, '二级')"),
                  QStringLiteral("insert into TYPE values (5, 3, 'My Notes')"),
                  QStringLiteral("insert into DOCUMENTS (ID, TITLE, TYPEID, CONTENT) values (1, 'T1', 1, 'x')")});
    TmvlabDm dm(name);
    TfmDocumentList w(&dm);
    w.show();
    QVERIFY(w.ChangeEvents1->listening());
    // Selecting shows the node, opening its parent: closed afterwards.
    w.RzTreeView1->setCurrentItem(node(w.RzTreeView1, QStringLiteral("5 My Notes")));
    node(w.RzTreeView1, QStringLiteral("3 三级"))->setExpanded(false);
    w.IBQueryDocument->openCategory(dm, QStringLiteral("1"));
    QCOMPARE(w.IBQueryDocument->rowCount(), 1);

    execOn(name, {QStringLiteral("insert into TYPE values (9, 1, '新类')"),
                  QStringLiteral("update TYPE set TYPENAME = '二级改' where ID = 2")});
    QTRY_COMPARE_WITH_TIMEOUT(shape(w.RzTreeView1),
                              (QStringList{"3 三级 (closed)", "  2 二级改", "  5 My Notes", "1 一级", "  9 新类"}), 1000);
    QCOMPARE(w.SelectedNode(), node(w.RzTreeView1, QStringLiteral("5 My Notes")));

    // The selected node gone: nothing is selected, the rest stays.
    execOn(name, {QStringLiteral("delete from TYPE where ID = 5")});
    QTRY_COMPARE_WITH_TIMEOUT(shape(w.RzTreeView1), (QStringList{"3 三级 (closed)", "  2 二级改", "1 一级", "  9 新类"}),
                              1000);
    QVERIFY(!w.SelectedNode());

    execOn(name, {QStringLiteral("insert into DOCUMENTS (ID, TITLE, TYPEID, CONTENT) values (40, '别处', 1, 'y')")});
    QTRY_COMPARE_WITH_TIMEOUT(w.IBQueryDocument->rowCount(), 2, 1000);
}

void TestServerDb::serverKilledAndRestartedUnderRunningProgram()
{
    const QString name = newDatabase(QStringLiteral("restart.fdb"));
    TmvlabDm dm(name);
    const QString id = dm.store().insertDocument(QStringLiteral("kept"), QStringLiteral("1"), QStringLiteral("before"));
    mv::ChangeEvents events(name);
    events.setRetryInterval(200);
    QVERIFY(events.listening());

    server_.kill();
    // Each action while it is gone fails with the engine's word, and
    // stores nothing.
    QVERIFY_THROWS_EXCEPTION(DbError, mvtest::rowsOf(name, QStringLiteral("select id from documents")));
    QVERIFY_THROWS_EXCEPTION(DbError, dm.store().updateDocument(id, QStringLiteral("kept"), QStringLiteral("1"),
                                                         QStringLiteral("during")));
    QTRY_VERIFY_WITH_TIMEOUT(!events.listening(), 5000);

    QString why;
    QVERIFY2(server_.start(&why), qPrintable(why));
    // The next action attaches afresh; what was saved before is there, what
    // failed is not.
    QStringList rows;
    dm.IBQueryTemp.setSql(QStringLiteral("select content from documents where id=") + id);
    dm.IBQueryTemp.open();
    rows.append(dm.IBQueryTemp.field(0));
    dm.IBQueryTemp.close();
    QCOMPARE(rows, QStringList{QStringLiteral("before")});
    QVERIFY(dm.store().updateDocument(id, QStringLiteral("kept"), QStringLiteral("1"), QStringLiteral("after")));

    // The events come back by themselves, and first say that anything may
    // have changed.
    QSignalSpy documents(&events, &mv::ChangeEvents::documentsChanged);
    QTRY_VERIFY_WITH_TIMEOUT(events.listening(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!documents.isEmpty(), 2000);
    documents.clear();
    TmvlabDm other(name);
    other.store().insertDocument(QStringLiteral("new"), QStringLiteral("1"), QStringLiteral("x"));
    QTRY_VERIFY_WITH_TIMEOUT(!documents.isEmpty(), 1000);
}

QTEST_MAIN(TestServerDb)
#include "tst_serverdb.moc"
