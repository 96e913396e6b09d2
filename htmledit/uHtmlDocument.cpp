#include "uHtmlDocument.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>
#include <utility>

namespace {

// Shared between a waiting call and the engine's callback, so that an answer
// arriving after the wait has given up touches nothing that is gone.
struct Answer
{
    bool done = false;
    QVariant value;
    QEventLoop *loop = nullptr;
};

QString shorten(const QString &script)
{
    QString s = script.simplified();
    if (s.size() > 80)
        s = s.left(77) + QStringLiteral("...");
    return s;
}

} // namespace

THtmlDocument::THtmlDocument(QWebEnginePage *page, QObject *parent)
    : QObject(parent), m_page(page)
{
    connect(m_page, &QWebEnginePage::loadFinished, this, &THtmlDocument::onLoadFinished);
}

void THtmlDocument::onLoadFinished(bool ok)
{
    if (m_ready)
        return;
    m_ready = true;
    m_loadFailed = !ok;
    // Scripts queued before the document existed run now, in their order;
    // any later script is queued behind them by the engine.
    const QStringList pending = std::exchange(m_pending, {});
    for (const QString &script : pending) {
        m_page->runJavaScript(wrap(script), QWebEngineScript::ApplicationWorld, [script](const QVariant &answer) {
            try {
                unwrap(answer, script);
            } catch (const EHtmlEngineError &e) {
                qWarning("%s", e.what());
            }
        });
    }
    emit ready();
}

void THtmlDocument::waitUntilReady()
{
    if (m_ready)
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &THtmlDocument::ready, &loop, &QEventLoop::quit);
    timer.start(m_timeoutMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!m_ready)
        throw EHtmlEngineError(QStringLiteral("The HTML document did not finish loading within %1 ms.")
                                   .arg(m_timeoutMs)
                                   .toStdString());
}

QVariant THtmlDocument::Evaluate(const QString &script)
{
    waitUntilReady();
    return run(script);
}

void THtmlDocument::Execute(const QString &script)
{
    if (!m_ready) {
        m_pending.append(script);
        return;
    }
    run(script);
}

QVariant THtmlDocument::run(const QString &script)
{
    auto answer = std::make_shared<Answer>();
    m_page->runJavaScript(wrap(script), QWebEngineScript::ApplicationWorld, [answer](const QVariant &v) {
        answer->done = true;
        answer->value = v;
        if (answer->loop)
            answer->loop->quit();
    });
    if (!answer->done) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        answer->loop = &loop;
        timer.start(m_timeoutMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        answer->loop = nullptr;
    }
    if (!answer->done)
        throw EHtmlEngineError(QStringLiteral("The HTML engine did not answer within %1 ms (%2).")
                                   .arg(m_timeoutMs)
                                   .arg(shorten(script))
                                   .toStdString());
    return unwrap(answer->value, script);
}

void THtmlDocument::Focus()
{
    if (QWebEngineView *view = QWebEngineView::forPage(m_page))
        view->setFocus(Qt::OtherFocusReason);
    Execute(QStringLiteral("window.focus();"));
}

QString THtmlDocument::quote(const QString &s)
{
    // A JSON string is a JavaScript string literal; take it out of its array.
    const QByteArray json = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QString THtmlDocument::wrap(const QString &script)
{
    // The answer is always a two-element array: success flag, then the value
    // or the error text. A bare undefined would be indistinguishable from a
    // page that did not run the script at all.
    return QStringLiteral("(function(){try{var v=(function(){\n%1\n})();"
                          "return [true, v === undefined ? null : v];}"
                          "catch(e){return [false, String(e)];}})()")
        .arg(script);
}

QVariant THtmlDocument::unwrap(const QVariant &answer, const QString &script)
{
    const QVariantList list = answer.toList();
    if (list.size() != 2)
        throw EHtmlEngineError(QStringLiteral("The HTML engine did not run the script (%1).")
                                   .arg(shorten(script))
                                   .toStdString());
    if (!list.at(0).toBool())
        throw EHtmlEngineError(QStringLiteral("The HTML engine reported an error: %1 (%2).")
                                   .arg(list.at(1).toString(), shorten(script))
                                   .toStdString());
    return list.at(1);
}
