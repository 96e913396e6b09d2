#include "editsandbox.h"

#include "pagescheme.h"

#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include <memory>

namespace mv::htmledit {

namespace {

// Only the page itself and its pictures, both of the pages' own scheme: no
// network, no local files, no frames, fonts, style sheets or prefetches of
// any scheme.
class TEditInterceptor : public QWebEngineUrlRequestInterceptor
{
public:
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const auto type = info.resourceType();
        const bool wanted = type == QWebEngineUrlRequestInfo::ResourceTypeMainFrame
                            || type == QWebEngineUrlRequestInfo::ResourceTypeImage;
        if (!wanted || info.requestUrl().scheme() != QLatin1String(PageScheme))
            info.block(true);
    }
};

struct Sandbox
{
    // Declared last, so gone first: the profile refers to the other two.
    TEditInterceptor interceptor;
    TPageSchemeHandler handler;
    std::unique_ptr<QWebEngineProfile> profile;
};

Sandbox *sandbox = nullptr;

void dropSandbox()
{
    // A page still alive would be left on a profile that is gone; then the
    // profile stays for the little time the process has left.
    if (PageSite::count() == 0) {
        sandbox->profile.reset();
        delete sandbox;
    }
    sandbox = nullptr;
}

void lockDown(QWebEngineSettings *s)
{
    using S = QWebEngineSettings;
    for (S::WebAttribute off : {S::JavascriptEnabled, S::JavascriptCanOpenWindows, S::JavascriptCanAccessClipboard,
                                S::JavascriptCanPaste, S::LocalContentCanAccessFileUrls,
                                S::LocalContentCanAccessRemoteUrls, S::LocalStorageEnabled, S::PluginsEnabled,
                                S::PdfViewerEnabled, S::HyperlinkAuditingEnabled, S::DnsPrefetchEnabled,
                                S::AutoLoadIconsForPage, S::TouchIconsEnabled, S::NavigateOnDropEnabled,
                                S::WebGLEnabled, S::ScreenCaptureEnabled, S::FullScreenSupportEnabled,
                                S::AllowRunningInsecureContent, S::AllowGeolocationOnInsecureOrigins,
                                S::AllowWindowActivationFromJavaScript, S::ErrorPageEnabled})
        s->setAttribute(off, false);
    s->setAttribute(S::WebRTCPublicInterfacesOnly, true);
    s->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

} // namespace

QWebEngineProfile *editingProfile()
{
    if (sandbox)
        return sandbox->profile.get();
    registerPageScheme();
    sandbox = new Sandbox;
    // No storage name: nothing of it is written to disk.
    sandbox->profile = std::make_unique<QWebEngineProfile>();
    QWebEngineProfile *profile = sandbox->profile.get();
    profile->setSpellCheckEnabled(false);
    profile->installUrlSchemeHandler(PageScheme, &sandbox->handler);
    profile->setUrlRequestInterceptor(&sandbox->interceptor);
    lockDown(profile->settings());
    // Before the engine's own clean-up, which was added when the profile
    // started the engine (the routines run last added first), and after
    // that of the spare page, which is added later.
    qAddPostRoutine(dropSandbox);
    return profile;
}

} // namespace mv::htmledit
