// The windows plugin as another version or build of the program makes it:
// the same interface under another stamp. It must be refused unloaded, so
// loading it leaves a mark the test looks for.
#include "webwindows.h"

#include <QObject>

namespace {
const bool loaded = qputenv("MV_MISMATCHED_PLUGIN_LOADED", "1");
}

class MismatchedPlugin : public QObject, public mv::WebWindows
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MV_WEBWINDOWS_IID)
    Q_INTERFACES(mv::WebWindows)
public:
    void openEditor(QWidget *, TmvlabDm &, const QString &) override { qFatal("mismatched plugin ran"); }
    void openLookup(QWidget *) override { qFatal("mismatched plugin ran"); }
};

#include "mismatchedmodule.moc"
