#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

// The address scheme the editing surface's pages live in. Each page is a site
// of its own, "mvdoc://<random name>/": its empty document is served from
// there, and relative picture links in a document resolve below it, to the
// folder above the page's image folder. Nothing else is served: no file
// outside the image folder, nothing that is not a picture, and no other
// scheme is reachable from the page at all (see editsandbox.h).
//
// Pictures that older documents link by absolute "file:" addresses are shown
// through "mvdoc://<site>/~file/<key>/<the address, percent-encoded>": the
// surface's own scripts rewrite a stored document's links to that form when
// the document is written and back when it is read, so the stored text does
// not change. The key is the page's secret; markup cannot make such an
// address up, so only files a stored document linked itself are shown.
namespace mv::htmledit {

inline constexpr char PageScheme[] = "mvdoc";

// Makes the scheme known to the engine. It must happen before the engine
// starts; the library does it when the application object is made (or when
// the library is loaded into a running application). Later calls do
// nothing.
void registerPageScheme();

// The editing surface's empty document: no script, and a content policy
// that lets it load pictures of its own scheme and nothing else.
QByteArray pageShell();

// One editing page's site; it exists as long as this object does.
class PageSite
{
public:
    PageSite();
    ~PageSite();
    PageSite(const PageSite &) = delete;
    PageSite &operator=(const PageSite &) = delete;

    // "mvdoc://<name>/": the page's own address and the base of its links.
    QUrl url() const;
    // The start of the addresses older "file:" links are shown by.
    QString fileLinkPrefix() const;
    void setImageFolder(const QString &folder);

    // How many sites exist now.
    static int count();

private:
    QString m_name;
};

// What the scheme serves for a request, decided without the engine.
struct PageAnswer
{
    enum Kind { Missing, Shell, Picture } kind = Missing;
    QString file;     // for Picture
    QByteArray type;  // MIME type for Picture and Shell
};
PageAnswer answerFor(const QUrl &url, const QByteArray &method = QByteArrayLiteral("GET"));

// Answers the engine's requests for the scheme with answerFor. The engine
// asks on the GUI thread, where the sites are kept; they need no lock.
class TPageSchemeHandler : public QWebEngineUrlSchemeHandler
{
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob *job) override;
};

} // namespace mv::htmledit
