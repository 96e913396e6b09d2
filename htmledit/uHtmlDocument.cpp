#include "uHtmlDocument.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
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
    : QObject(parent), m_page(nullptr)
{
    setPage(page);
}

void THtmlDocument::setPage(QWebEnginePage *page)
{
    if (m_page)
        disconnect(m_page, nullptr, this, nullptr);
    m_page = page;
    m_ready = false;
    m_loadFailed = false;
    m_rendererGone = false;
    m_stalled = false;
    m_pending.clear();
    connect(m_page, &QWebEnginePage::loadFinished, this, &THtmlDocument::onLoadFinished);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, &THtmlDocument::onRendererTerminated);
}

void THtmlDocument::onRendererTerminated()
{
    // Whatever the status: the page's document is gone with its process.
    if (m_rendererGone)
        return;
    m_rendererGone = true;
    emit rendererGone();
}

void THtmlDocument::waitIn(QEventLoop &loop)
{
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto gone = connect(this, &THtmlDocument::rendererGone, &loop, &QEventLoop::quit);
    timer.start(m_timeoutMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(gone);
}

void THtmlDocument::checkGoneDuringWait(QWebEnginePage *waitedOn, const QString &script) const
{
    // The page may have been replaced meanwhile, after its renderer died.
    if (m_page != waitedOn)
        throw EHtmlEngineError(QStringLiteral("The HTML engine's renderer process ended during the call (%1).")
                                   .arg(shorten(script))
                                   .toStdString());
    checkAnswering(script);
}

void THtmlDocument::checkAnswering(const QString &script) const
{
    if (m_rendererGone)
        throw EHtmlEngineError(QStringLiteral("The HTML engine's renderer process has ended (%1).")
                                   .arg(shorten(script))
                                   .toStdString());
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
    checkAnswering(QString());
    QWebEnginePage *const waitedOn = m_page;
    QEventLoop loop;
    connect(this, &THtmlDocument::ready, &loop, &QEventLoop::quit);
    waitIn(loop);
    if (m_ready && m_page == waitedOn)
        return;
    checkGoneDuringWait(waitedOn, QString());
    m_stalled = true;
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
    checkAnswering(script);
    QWebEnginePage *const waitedOn = m_page;
    auto answer = std::make_shared<Answer>();
    QPointer<THtmlDocument> self(this);
    m_page->runJavaScript(wrap(script), QWebEngineScript::ApplicationWorld, [answer, self](const QVariant &v) {
        answer->done = true;
        answer->value = v;
        if (answer->loop)
            answer->loop->quit();
        // A late answer: the page is working again.
        if (self)
            self->m_stalled = false;
    });
    if (!answer->done) {
        QEventLoop loop;
        answer->loop = &loop;
        waitIn(loop);
        answer->loop = nullptr;
    }
    if (!answer->done) {
        checkGoneDuringWait(waitedOn, script);
        m_stalled = true;
        throw EHtmlEngineError(QStringLiteral("The HTML engine did not answer within %1 ms (%2).")
                                   .arg(m_timeoutMs)
                                   .arg(shorten(script))
                                   .toStdString());
    }
    return unwrap(answer->value, script);
}

bool THtmlDocument::EvaluateLater(const QString &script, QObject *context,
                                  std::function<void(const QVariant &)> done)
{
    if (!m_ready || m_rendererGone || m_stalled)
        return false;
    QPointer<QObject> guard(context);
    QPointer<THtmlDocument> self(this);
    m_page->runJavaScript(wrap(script), QWebEngineScript::ApplicationWorld, [guard, self, script, done = std::move(done)](const QVariant &answer) {
        if (self)
            self->m_stalled = false;
        if (!guard)
            return;
        QVariant value;
        try {
            value = unwrap(answer, script);
        } catch (const EHtmlEngineError &e) {
            qWarning("%s", e.what());
            return;
        }
        done(value);
    });
    return true;
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
