#include "UnitBianMing.h"
#include "dialogs.h"
#include "gradientpanel.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMutex>
#include <QPointer>
#include <QSignalSpy>
#include <QSplitter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace {

const QColor LabelColour("#215A89");
const QColor Red("#FF0000");

QString mainPage(const char *path) { return QStringLiteral("http://") + LookupMainHost + QLatin1String(path); }
QString secondPage(const char *path) { return QStringLiteral("http://") + LookupSecondHost + QLatin1String(path); }

// Sees every page request of the browser before it leaves the process. It
// records the address and then blocks it, or sends it to a local address.
class Interceptor : public QWebEngineUrlRequestInterceptor
{
public:
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        const QUrl url = info.requestUrl();
        if (url.host() == QLatin1String("127.0.0.1"))
            return; // already redirected
        {
            QMutexLocker lock(&mutex);
            requested << url.toString();
        }
        if (redirectTo.isEmpty()) {
            info.block(true);
        } else {
            QUrl local(redirectTo);
            local.setPath(QLatin1Char('/') + url.host() + url.path());
            info.redirect(local);
        }
    }
    QStringList taken()
    {
        QMutexLocker lock(&mutex);
        return std::exchange(requested, {});
    }

    QString redirectTo; // empty: block
private:
    QMutex mutex;
    QStringList requested;
};

// Answers every request with a page titled by its path, or with the page
// set for that path; notes every path asked for.
class PageServer : public QTcpServer
{
public:
    struct Page
    {
        QByteArray type;
        QByteArray headers; // further header lines, each ended by CR LF
        QByteArray body;
    };

    PageServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->canReadLine())
                        return;
                    const QByteArray path = s->readLine().split(' ').value(1);
                    requested << QString::fromLatin1(path);
                    const Page page = pages.value(
                        path, {"text/html", "", "<html><head><title>" + path + "</title></head><body>x</body></html>"});
                    s->write("HTTP/1.0 200 OK\r\nContent-Type: " + page.type + "\r\nContent-Length: "
                             + QByteArray::number(page.body.size()) + "\r\n" + page.headers
                             + "Connection: close\r\n\r\n" + page.body);
                    s->disconnectFromHost();
                });
            }
        });
    }

    QHash<QByteArray, Page> pages;
    QStringList requested;
};

QLabel *label(TfmBianMing &w, const QString &name)
{
    return w.RzPanel4->findChild<QLabel *>(name);
}

} // namespace

class TestBianMing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mv::setApplicationTitle(QStringLiteral("Morvane资料系统V1.0")); }
    void windowAndLayout();
    void splitterAndResizing();
    void labels_data();
    void labels();
    void hoverColours_data();
    void hoverColours();
    void doubleClickOpens_data();
    void doubleClickOpens();
    void pagesReplaceEachOtherAndKeepHistory();
    void unreachablePageReportsNothing();
    void refusesWhatPagesAsk_data();
    void refusesWhatPagesAsk();
    void onlyTheTitleBarCloses();
    void openedModallyAndFreed();

private:
    Interceptor interceptor_;
};

void TestBianMing::windowAndLayout()
{
    TfmBianMing w(nullptr);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("便民查询  TellbyMorvane软件工作室"));
    QCOMPARE(w.size(), QSize(724, 503));
    QVERIFY(w.minimumSize() != w.maximumSize()); // resizable
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);

    QCOMPARE(w.RzPanel1->geometry(), QRect(0, 0, 724, 57));
    QCOMPARE(w.RzPanel1->gradientStart(), QColor("#235E8D"));
    QCOMPARE(w.RzPanel1->gradientStop(), QColor("#62A4D9"));
    QCOMPARE(w.findChild<QLabel *>("Image1")->geometry(), QRect(0, 0, 283, 57));
    QCOMPARE(w.RzPanel2->geometry(), QRect(0, 57, 724, 24));
    QCOMPARE(w.RzPanel2->caption(), QStringLiteral("    便民查询"));
    QCOMPARE(w.RzPanel3->geometry(), QRect(0, 478, 724, 25));
    QCOMPARE(w.RzPanel4->geometry(), QRect(0, 0, 185, 397));
    QCOMPARE(w.Shape1->geometry(), QRect(3, 4, 179, 389));
    QCOMPARE(w.RzPanel6->geometry(), QRect(4, 4, 528, 389));
    QCOMPARE(w.RzPanel5->width(), 536);
    QCOMPARE(w.WebBrowser1->parentWidget(), w.RzPanel6);
    QVERIFY(w.WebBrowser1->url().isEmpty()); // no page before the first double click
}

void TestBianMing::splitterAndResizing()
{
    TfmBianMing w(nullptr);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // Widening the list narrows the browser; the outline follows the list.
    w.Splitter1->setSizes({285, 436});
    QCOMPARE(w.RzPanel4->width(), 285);
    QCOMPARE(w.Shape1->geometry(), QRect(3, 4, 279, 389));
    QCOMPARE(w.RzPanel6->width(), 428);

    // A larger window gives the room to the browser; the list keeps its
    // width and the outline takes the new height.
    w.resize(1000, 603);
    QTRY_COMPARE(w.RzPanel4->width(), 285);
    QCOMPARE(w.Shape1->geometry(), QRect(3, 4, 279, 489));
    QCOMPARE(w.RzPanel6->geometry(), QRect(4, 4, 1000 - 285 - 3 - 8, 489));
}

void TestBianMing::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("top");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("blanks");
    QTest::newRow("Label1") << "Label1" << 28 << "电话号码归属地查询" << 10;
    QTest::newRow("Label2") << "Label2" << 53 << "ip地址所在地查询" << 10;
    QTest::newRow("Label12") << "Label12" << 79 << "车辆交通违章查询" << 10;
    QTest::newRow("Label3") << "Label3" << 105 << "国内列车时刻表查询" << 10;
    QTest::newRow("Label4") << "Label4" << 131 << "天气预报-预报五天" << 12;
    QTest::newRow("Label5") << "Label5" << 157 << "国内国际机票查询" << 12;
    QTest::newRow("Label6") << "Label6" << 183 << "在线翻译" << 12;
    QTest::newRow("Label7") << "Label7" << 208 << "货币汇率兑换" << 9;
    QTest::newRow("Label8") << "Label8" << 234 << "阴阳转换万年历" << 13;
    QTest::newRow("Label9") << "Label9" << 260 << "邮编查询区号查询" << 9;
    QTest::newRow("Label10") << "Label10" << 286 << "身份证号码查询验证" << 10;
    QTest::newRow("Label11") << "Label11" << 312 << "EMS邮政速递查询" << 10;
    QTest::newRow("Label13") << "Label13" << 338 << "各地车牌查询表" << 10;
    QTest::newRow("Label14") << "Label14" << 364 << "车辆交通违章查询" << 8;
}

void TestBianMing::labels()
{
    QFETCH(QString, name);
    QFETCH(int, top);
    QFETCH(QString, text);
    QFETCH(int, blanks);
    TfmBianMing w(nullptr);
    w.show();
    QLabel *l = label(w, name);
    QVERIFY(l);
    const QString caption = text + QString(blanks, QLatin1Char(' '));
    QCOMPARE(l->text(), caption);
    QCOMPARE(l->pos(), QPoint(15, top));
    QCOMPARE(l->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(l->font().pointSize(), 8);
    QCOMPARE(l->palette().color(QPalette::WindowText), LabelColour);
    QVERIFY(!l->autoFillBackground());
    // The trailing blanks widen the label.
    const QFontMetrics fm(l->font());
    QCOMPARE(l->width(), fm.horizontalAdvance(caption));
    QVERIFY(l->width() > fm.horizontalAdvance(text));
    QVERIFY(l->isVisible());
    QCOMPARE(w.RzPanel4->childAt(l->geometry().center()), l); // above the outline
}

void TestBianMing::hoverColours_data()
{
    labels_data();
}

void TestBianMing::hoverColours()
{
    QFETCH(QString, name);
    TfmBianMing w(nullptr);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QLabel *l = label(w, name);
    const QFont font = l->font();
    const QColor hover = name == "Label2" ? LabelColour : Red;

    QTest::mouseMove(w.RzPanel4, QPoint(100, 390)); // clear of every label
    QTest::mouseMove(l, QPoint(l->width() - 3, l->height() / 2)); // over the blanks
    QTRY_COMPARE(l->palette().color(QPalette::WindowText), hover);
    QCOMPARE(l->font(), font);
    QVERIFY(!l->testAttribute(Qt::WA_SetCursor));
    QTest::mouseMove(w.RzPanel4, QPoint(100, 390));
    QTRY_COMPARE(l->palette().color(QPalette::WindowText), LabelColour);
}

void TestBianMing::doubleClickOpens_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url"); // empty: none
    QTest::newRow("Label1") << "Label1" << mainPage("/sj/index.htm");
    QTest::newRow("Label2") << "Label2" << mainPage("/ips8.asp");
    QTest::newRow("Label12") << "Label12" << mainPage("/weizhang.htm");
    QTest::newRow("Label3") << "Label3" << secondPage("/train/");
    QTest::newRow("Label4") << "Label4" << secondPage("/weather/");
    QTest::newRow("Label5") << "Label5" << QString();
    QTest::newRow("Label6") << "Label6" << mainPage("/jb.htm");
    QTest::newRow("Label7") << "Label7" << secondPage("/hl.asp");
    QTest::newRow("Label8") << "Label8" << secondPage("/day/");
    QTest::newRow("Label9") << "Label9" << mainPage("/post/");
    QTest::newRow("Label10") << "Label10" << secondPage("/idsearch/");
    QTest::newRow("Label11") << "Label11" << mainPage("/ems");
    QTest::newRow("Label13") << "Label13" << mainPage("/carlist.htm");
    QTest::newRow("Label14") << "Label14" << mainPage("/weizhang.htm");
}

void TestBianMing::doubleClickOpens()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    TfmBianMing w(nullptr);
    w.WebBrowser1->page()->profile()->setUrlRequestInterceptor(&interceptor_);
    interceptor_.redirectTo.clear();
    interceptor_.taken();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QLabel *l = label(w, name);

    // A single click or a right double click opens nothing.
    QTest::mouseClick(l, Qt::LeftButton);
    QTest::mouseDClick(l, Qt::RightButton);
    QTest::mouseDClick(l, Qt::LeftButton);
    if (url.isEmpty()) {
        // Label1 afterwards: its page is then the only one asked for.
        QTest::mouseDClick(label(w, "Label1"), Qt::LeftButton);
        url = mainPage("/sj/index.htm");
    }
    QStringList got;
    QTRY_VERIFY((got += interceptor_.taken()).size() >= 1);
    QTest::qWait(100);
    got += interceptor_.taken();
    QCOMPARE(got, QStringList{url});
    w.WebBrowser1->page()->profile()->setUrlRequestInterceptor(nullptr);
}

void TestBianMing::pagesReplaceEachOtherAndKeepHistory()
{
    PageServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TfmBianMing w(nullptr);
    w.WebBrowser1->page()->profile()->setUrlRequestInterceptor(&interceptor_);
    interceptor_.redirectTo = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
    interceptor_.taken();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy finished(w.WebBrowser1, &QWebEngineView::loadFinished);

    const QList<std::pair<QString, QString>> steps{
        {"Label1", QString("/") + LookupMainHost + "/sj/index.htm"},
        {"Label3", QString("/") + LookupSecondHost + "/train/"},
        {"Label14", QString("/") + LookupMainHost + "/weizhang.htm"},
    };
    int n = 0;
    for (const auto &[name, title] : steps) {
        QTest::mouseDClick(label(w, name), Qt::LeftButton);
        ++n;
        QTRY_COMPARE(finished.size(), n);
        QCOMPARE(finished.last().first().toBool(), true);
        QCOMPARE(w.WebBrowser1->title(), title);
    }
    QCOMPARE(w.WebBrowser1->history()->count(), 3);
    w.WebBrowser1->back();
    QTRY_COMPARE(w.WebBrowser1->title(), steps[1].second);

    interceptor_.redirectTo.clear();
    w.WebBrowser1->page()->profile()->setUrlRequestInterceptor(nullptr);
}

void TestBianMing::unreachablePageReportsNothing()
{
    // A port nobody listens on stands for a missing network.
    quint16 closedPort;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    mv::DialogRecorder boxes;
    TfmBianMing w(nullptr);
    w.WebBrowser1->page()->profile()->setUrlRequestInterceptor(&interceptor_);
    interceptor_.redirectTo = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy finished(w.WebBrowser1, &QWebEngineView::loadFinished);
    QTest::mouseDClick(w.Label6, Qt::LeftButton);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(w.isVisible());

    interceptor_.redirectTo.clear();
    w.WebBrowser1->page()->profile()->setUrlRequestInterceptor(nullptr);
}

void TestBianMing::refusesWhatPagesAsk_data()
{
    // A lookup page of the site, as served; {M}: a folder of local files.
    QTest::addColumn<QString>("page");
    // Requests the page's script makes that must arrive, and that must not.
    QTest::addColumn<QStringList>("arrive");
    QTest::addColumn<QStringList>("never");
    QTest::newRow("local files")
        << "<iframe src=\"file://{M}/marker.html\"></iframe><img src=\"file://{M}/marker.png\">"
           "<script>fetch('file://{M}/marker.txt').then(function () { new Image().src = '/file-read'; });"
           " setTimeout(function () { location.href = 'file://{M}/marker.html'; }, 10);"
           " new Image().src = '/ran';</script>"
        << QStringList{"/ran"} << QStringList{"/marker-read", "/file-read"};
    QTest::newRow("download") << "<script>location.href = '/download.bin';</script>" << QStringList{"/download.bin"}
                              << QStringList{};
    QTest::newRow("new windows")
        << "<a id=\"a\" target=\"_blank\" href=\"/popup-link\">x</a>"
           "<script>window.open('/popup'); document.getElementById('a').click(); new Image().src = '/ran';</script>"
        << QStringList{"/ran"} << QStringList{"/popup", "/popup-link"};
    QTest::newRow("permissions")
        << "<script>function tell(what) { new Image().src = '/' + what; }"
           " navigator.geolocation.getCurrentPosition(function () { tell('location-given'); },"
           "   function () { tell('location-refused'); });"
           " Notification.requestPermission().then(function (p) { tell('notifications-' + p); });"
           " navigator.mediaDevices.getUserMedia({audio: true}).then(function () { tell('microphone-given'); },"
           "   function () { tell('microphone-refused'); });</script>"
        << QStringList{"/location-refused", "/notifications-denied", "/microphone-refused"}
        << QStringList{"/location-given", "/notifications-granted", "/microphone-given"};
}

void TestBianMing::refusesWhatPagesAsk()
{
    QFETCH(QString, page);
    QFETCH(QStringList, arrive);
    QFETCH(QStringList, never);

    QTemporaryDir local, downloads;
    PageServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    // Local files that call the server when a page reads them.
    const QByteArray marker = "<html><body><img src=\"http://127.0.0.1:" + QByteArray::number(server.serverPort())
                              + "/marker-read\"></body></html>";
    for (const char *name : {"marker.html", "marker.txt", "marker.png"}) {
        QFile f(local.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(marker) == marker.size());
    }
    server.pages.insert("/" + QByteArray(LookupMainHost) + "/sj/index.htm",
                        {"text/html", "", "<html><body>" + page.replace("{M}", local.path()).toUtf8() + "</body></html>"});
    server.pages.insert("/download.bin", {"application/octet-stream",
                                          "Content-Disposition: attachment; filename=\"taken.bin\"\r\n", "data"});

    TfmBianMing w(nullptr);
    QWebEngineProfile *profile = w.WebBrowser1->page()->profile();
    QVERIFY(profile->isOffTheRecord());
    profile->setDownloadPath(downloads.path());
    QList<QPointer<QWebEngineDownloadRequest>> offered;
    connect(profile, &QWebEngineProfile::downloadRequested, &w,
            [&](QWebEngineDownloadRequest *request) { offered << request; });
    profile->setUrlRequestInterceptor(&interceptor_);
    interceptor_.redirectTo = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
    const QWidgetList before = QApplication::topLevelWidgets();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QTest::mouseDClick(w.Label1, Qt::LeftButton);
    for (const QString &path : std::as_const(arrive))
        QTRY_VERIFY2_WITH_TIMEOUT(server.requested.contains(path), qPrintable(server.requested.join(' ')), 10000);
    QTest::qWait(500);
    for (const QString &path : std::as_const(never))
        QVERIFY2(!server.requested.contains(path), qPrintable(server.requested.join(' ')));
    // Still on the lookup page, no window beside it, nothing downloaded.
    QCOMPARE(w.WebBrowser1->url().host(), QStringLiteral("127.0.0.1"));
    for (QWidget *t : QApplication::topLevelWidgets())
        QVERIFY2(t == &w || before.contains(t) || !t->isVisible(), t->metaObject()->className());
    QCOMPARE(offered.size(), arrive.contains(QStringLiteral("/download.bin")) ? 1 : 0);
    for (const auto &request : std::as_const(offered))
        QVERIFY(!request || request->state() == QWebEngineDownloadRequest::DownloadCancelled);
    QCOMPARE(QDir(downloads.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    interceptor_.redirectTo.clear();
    profile->setUrlRequestInterceptor(nullptr);
}

void TestBianMing::onlyTheTitleBarCloses()
{
    TfmBianMing w(nullptr);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(w.isVisible());
    QVERIFY(w.close()); // the title bar's close button
    QVERIFY(!w.isVisible());
}

void TestBianMing::openedModallyAndFreed()
{
    QWidget owner;
    owner.show();
    QPointer<TfmBianMing> seen;
    bool modalOverOwner = false;
    QTimer::singleShot(0, this, [&] {
        seen = qobject_cast<TfmBianMing *>(QApplication::activeModalWidget());
        if (!seen)
            return;
        modalOverOwner = seen->parentWidget() == &owner && seen->isModal();
        seen->close();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            d->done(0);
    });
    watchdog.start(5000);
    ShowLookupWindow(&owner);
    QVERIFY(watchdog.isActive());
    QVERIFY(modalOverOwner);
    QVERIFY(seen.isNull());
    QVERIFY(owner.findChildren<TfmBianMing *>().isEmpty());
}

QTEST_MAIN(TestBianMing)
#include "tst_bianming.moc"
