#include "editpage.h"

#include "editsandbox.h"
#include "editscript.h"

#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

TEditPage::TEditPage(QObject *parent) : QWebEnginePage(mv::htmledit::editingProfile(), parent)
{
    QWebEngineScript script;
    script.setName(QStringLiteral("mvEdit"));
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(mv::htmledit::editScript(m_site.url().toString(), m_site.fileLinkPrefix()));
    scripts().insert(script);

    connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl &origin, Feature feature) {
        setFeaturePermission(origin, feature, PermissionDeniedByUser);
    });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    // printRequested is left unconnected: a document's print request does
    // nothing.
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (!m_loaded)
            m_loadOk = ok;
        m_loaded = true;
    });
    connect(this, &QWebEnginePage::renderProcessTerminated, this, [this] { m_gone = true; });
    // Until the empty page is there, writes and settings wait in the
    // document's queue; reads wait for it.
    load(m_site.url());
}

bool TEditPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    return isMainFrame && !m_loaded && url == m_site.url();
}

QWebEnginePage *TEditPage::createWindow(WebWindowType) { return nullptr; }

QStringList TEditPage::chooseFiles(FileSelectionMode, const QStringList &, const QStringList &) { return {}; }

void TEditPage::javaScriptAlert(const QUrl &, const QString &) {}

bool TEditPage::javaScriptConfirm(const QUrl &, const QString &) { return false; }

bool TEditPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) { return false; }

void TEditPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) {}
