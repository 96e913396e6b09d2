#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <stdexcept>

class QWebEnginePage;

// Raised when the HTML engine fails a call or does not answer in time.
class EHtmlEngineError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The editing surface's HTML document as the rest of the component sees it:
// a synchronous face on the engine's asynchronous page.
//
// The page answers scripts asynchronously and loads its first document in the
// background. This class hides both:
//  - Execute() before the first document has loaded is queued and run, in
//    order, as soon as it has; afterwards it runs at once and waits for the
//    answer. Nothing written early is lost.
//  - Evaluate() waits (bounded) for the first document, then runs its script
//    and waits (bounded) for the value.
// A wait that runs out raises EHtmlEngineError instead of hanging; so does a
// script that throws, with the script's error text.
//
// A page whose renderer process has died fails every call at once, and a
// wait in progress ends when it dies; rendererGone() is emitted then.
// setPage() starts over on a new page. A page that let a wait run out is
// waited for again by the next call (it may be back by then).
//
// Scripts are function bodies: they run inside a function of their own, so
// they may declare variables and end with "return value;". They run in the
// program's own script world: they share the document's elements, but
// nothing the document's script may have defined or replaced.
class THtmlDocument : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 10000;

    explicit THtmlDocument(QWebEnginePage *page, QObject *parent = nullptr);

    QWebEnginePage *page() const { return m_page; }
    // Watches this page from now on, as for a new one: nothing is ready,
    // queued or failed.
    void setPage(QWebEnginePage *page);

    // The renderer process of the page died; every call fails until setPage().
    bool isRendererGone() const { return m_rendererGone; }
    // A wait ran out and the page has not answered anything since.
    bool isStalled() const { return m_stalled; }

    // True once the first document has finished loading.
    bool isReady() const { return m_ready; }
    // For a page that had finished loading before this object watched it.
    void pageLoaded(bool ok) { onLoadFinished(ok); }
    // Waits until isReady(); raises EHtmlEngineError when the bound runs out.
    void waitUntilReady();

    QVariant Evaluate(const QString &script);
    void Execute(const QString &script);
    // Runs script without waiting; done gets its value once the page
    // answers, unless context is gone by then. False (and done is never
    // called) when the page cannot take it now: not loaded, stalled, or its
    // renderer gone.
    bool EvaluateLater(const QString &script, QObject *context, std::function<void(const QVariant &)> done);

    // Keyboard focus to the document's window: first the widget that shows
    // the page, then the page's own window object.
    void Focus();

    int timeoutMs() const { return m_timeoutMs; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    // A JavaScript string literal holding s, safe to paste into a script.
    static QString quote(const QString &s);

signals:
    void ready();
    void rendererGone();

private:
    void onLoadFinished(bool ok);
    void onRendererTerminated();
    // Waits in loop until it is quit or the bound runs out; the wait also
    // ends when the renderer dies.
    void waitIn(class QEventLoop &loop);
    // Raised for a page that cannot answer now.
    void checkAnswering(const QString &script) const;
    void checkGoneDuringWait(QWebEnginePage *waitedOn, const QString &script) const;
    QVariant run(const QString &script);
    static QString wrap(const QString &script);
    static QVariant unwrap(const QVariant &answer, const QString &script);

    QWebEnginePage *m_page;
    bool m_ready = false;
    bool m_loadFailed = false;
    bool m_rendererGone = false;
    bool m_stalled = false;
    int m_timeoutMs = DefaultTimeoutMs;
    QStringList m_pending;
};
