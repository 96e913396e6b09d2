#include "pagescheme.h"

#include "picturefiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QUuid>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <memory>

namespace mv::htmledit {

namespace {

struct Site
{
    QString imageFolder;
    QString key;
};

QHash<QString, Site> &sites()
{
    static QHash<QString, Site> all;
    return all;
}

QString randomName() { return QUuid::createUuid().toString(QUuid::Id128); }

const QString FileLinks = QStringLiteral("/~file/");

} // namespace

void registerPageScheme()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    QWebEngineUrlScheme scheme(PageScheme);
    // Each page a host of its own: an origin of its own, and relative links
    // that resolve below it.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

// Before any page exists: when the application object is made, or at once
// when the library comes into a running application.
Q_COREAPP_STARTUP_FUNCTION(registerPageScheme)

QByteArray pageShell()
{
    // No DOCTYPE: documents have always been laid out in quirks mode.
    return QByteArrayLiteral(
        "<html><head><meta http-equiv=\"Content-Security-Policy\" content=\""
        "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; font-src 'none'; "
        "script-src 'none'; object-src 'none'; frame-src 'none'; child-src 'none'; worker-src 'none'; "
        "connect-src 'none'; media-src 'none'; manifest-src 'none'; form-action 'none'; base-uri 'none'"
        "\"></head><body></body></html>");
}

PageSite::PageSite() : m_name(randomName())
{
    sites().insert(m_name, Site{QString(), randomName()});
}

PageSite::~PageSite() { sites().remove(m_name); }

QUrl PageSite::url() const
{
    return QUrl(QLatin1String(PageScheme) + QStringLiteral("://") + m_name + QLatin1Char('/'));
}

QString PageSite::fileLinkPrefix() const
{
    return QLatin1String(PageScheme) + QStringLiteral("://") + m_name + FileLinks + sites().value(m_name).key
           + QLatin1Char('/');
}

void PageSite::setImageFolder(const QString &folder) { sites()[m_name].imageFolder = folder; }

int PageSite::count() { return int(sites().size()); }

PageAnswer answerFor(const QUrl &url, const QByteArray &method)
{
    if (method != "GET" || url.scheme() != QLatin1String(PageScheme))
        return {};
    const auto site = sites().constFind(url.host());
    if (site == sites().cend())
        return {};
    const QString path = url.path(QUrl::FullyDecoded);
    if (path == QLatin1String("/"))
        return {PageAnswer::Shell, QString(), QByteArrayLiteral("text/html")};

    QString file;
    const QString fileLinks = FileLinks + site->key + QLatin1Char('/');
    if (path.startsWith(FileLinks)) {
        if (path.startsWith(fileLinks))
            file = pictureForFileLink(site->imageFolder, path.mid(fileLinks.size()));
    } else {
        file = pictureForPath(site->imageFolder, path.mid(1));
    }
    if (file.isEmpty())
        return {};
    return {PageAnswer::Picture, file, pictureType(file).toLatin1()};
}

void TPageSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job)
{
    const PageAnswer answer = answerFor(job->requestUrl(), job->requestMethod());
    // The engine reads the device on a thread of its own until the job is
    // gone; the device goes with the job.
    std::unique_ptr<QIODevice> device;
    if (answer.kind == PageAnswer::Shell) {
        auto *buffer = new QBuffer;
        buffer->setData(pageShell());
        device.reset(buffer);
    } else if (answer.kind == PageAnswer::Picture) {
        device = std::make_unique<QFile>(answer.file);
    }
    if (!device || !device->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    QIODevice *raw = device.release();
    connect(job, &QObject::destroyed, raw, &QObject::deleteLater);
    job->reply(answer.type, raw);
}

} // namespace mv::htmledit
