// Costs of the editing surface next to a bare web view in the same run:
// the time to a usable empty document, and reading and writing a document
// of about 1 MB. Prints milliseconds (median of several rounds); run with
// QT_QPA_PLATFORM=offscreen where there is no display.
#include "uHtmlEdit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Rounds = 7;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeMs(const std::function<void()> &fn)
{
    QElapsedTimer t;
    t.start();
    fn();
    return t.nsecsElapsed() / 1e6;
}

void waitForLoad(QWebEngineView &view)
{
    QEventLoop loop;
    QObject::connect(&view, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
}

QVariant runJs(QWebEnginePage *page, const QString &script)
{
    QVariant result;
    bool done = false;
    QEventLoop loop;
    page->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    return result;
}

// About 1 MB of body text: formatted paragraphs with Latin and Chinese text.
QString bigBody()
{
    QString body = QStringLiteral("<body>");
    for (int i = 0; body.size() < 1000000; ++i) {
        body += QStringLiteral("<p>Paragraph %1 with <b>bold</b>, <i>italic</i> and "
                               "<font color=\"#ff0000\">red</font> words; 中文段落的正文内容。 "
                               "The quick brown fox jumps over the lazy dog.</p>")
                    .arg(i);
    }
    return body + QStringLiteral("</body>");
}

void report(const char *what, const std::vector<double> &edit, const std::vector<double> &bare)
{
    std::printf("%-38s  THtmlEdit %8.1f ms   bare view %8.1f ms\n", what, median(edit), median(bare));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    // The first web view of a process starts the engine; keep that out of
    // the figures but show it.
    const double engineStart = timeMs([] {
        QWebEngineView warm;
        warm.load(QUrl(QStringLiteral("about:blank")));
        waitForLoad(warm);
    });
    std::printf("engine start-up (first view, not counted) %8.1f ms\n", engineStart);

    std::vector<double> editStart, bareStart;
    for (int i = 0; i < Rounds; ++i) {
        editStart.push_back(timeMs([] {
            THtmlEdit edit;
            edit.HTML();
        }));
        bareStart.push_back(timeMs([] {
            QWebEngineView view;
            view.load(QUrl(QStringLiteral("about:blank")));
            waitForLoad(view);
            runJs(view.page(), QStringLiteral("document.body.outerHTML"));
        }));
    }
    report("construction to usable empty document", editStart, bareStart);

    const QString body = bigBody();
    std::printf("document size %lld characters\n", static_cast<long long>(body.size()));

    THtmlEdit edit;
    edit.HTML();
    QWebEngineView bare;
    bare.load(QUrl(QStringLiteral("about:blank")));
    waitForLoad(bare);
    const QString bareWrite = QStringLiteral("document.body.outerHTML = %1;").arg(THtmlDocument::quote(body));

    // Laying out 1 MB of text costs more than parsing it. The page does that
    // on its own after a write; it is forced here, in both views, so that
    // the second figure is the time until the document can be shown.
    const QString layout = QStringLiteral("return document.body.offsetHeight;");
    std::vector<double> editWrite, editWriteLaidOut, editRead, bareWriteMs, bareWriteLaidOut, bareRead;
    qsizetype editLen = 0, bareLen = 0;
    for (int i = 0; i < Rounds; ++i) {
        editWrite.push_back(timeMs([&] {
            edit.NewDocument();
            edit.setHTML(body);
        }));
        editWriteLaidOut.push_back(editWrite.back() + timeMs([&] { edit.Document()->Evaluate(layout); }));
        editRead.push_back(timeMs([&] { editLen = edit.HTML().size(); }));

        bareWriteMs.push_back(timeMs([&] { runJs(bare.page(), bareWrite); }));
        bareWriteLaidOut.push_back(bareWriteMs.back()
                                   + timeMs([&] { runJs(bare.page(), QStringLiteral("document.body.offsetHeight")); }));
        bareRead.push_back(timeMs([&] {
            bareLen = runJs(bare.page(), QStringLiteral("document.body.outerHTML")).toString().size();
        }));
    }
    report("write 1 MB (NewDocument + HTML write)", editWrite, bareWriteMs);
    report("write 1 MB, laid out", editWriteLaidOut, bareWriteLaidOut);
    report("read 1 MB (HTML read)", editRead, bareRead);
    std::printf("read back %lld / %lld characters\n", static_cast<long long>(editLen),
                static_cast<long long>(bareLen));
    return 0;
}
