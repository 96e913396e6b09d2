#pragma once

#include "pagescheme.h"

#include <QWebEnginePage>

// The editing surface's page, on the sandboxed editing profile: a site of
// its own (pagescheme.h), the surface's script in the program's script world
// (editscript.h), and nothing a document may ask of the program: no
// navigation once its empty document is there (a dropped file or a clicked
// link would otherwise replace the only copy of the user's text), no new
// windows, no dialogs, no file choosers, no permissions. Such requests are
// refused without a word.
class TEditPage : public QWebEnginePage
{
public:
    explicit TEditPage(QObject *parent);

    bool isLoaded() const { return m_loaded; }
    bool loadOk() const { return m_loadOk; }
    // Its renderer process died (it may have served another page too).
    bool isGone() const { return m_gone; }
    void setImageFolder(const QString &folder) { m_site.setImageFolder(folder); }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    // A hostile document would fill the log with the refusals of its
    // content policy.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    mv::htmledit::PageSite m_site;
    bool m_loaded = false;
    bool m_loadOk = false;
    bool m_gone = false;
};
