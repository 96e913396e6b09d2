// The plugin the program loads for its windows on the web engine.

#include "webwindows.h"

#include <QObject>

class WebWindowsPlugin : public QObject, public mv::WebWindowsImpl
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MV_WEBWINDOWS_IID)
    Q_INTERFACES(mv::WebWindows)
};

#include "webwindowsplugin.moc"
