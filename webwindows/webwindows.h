#pragma once

// The windows that need the web engine, as the program sees them: the
// document editor and the lookup window. They come from a plugin loaded
// after start-up (see windowsloader.h), so that starting the program does
// not wait for the engine's libraries. The interface's id carries this
// build's stamp: a plugin of another version or build does not match it.

#include "webwindowsversion.h"

#include <QString>
#include <QtPlugin>

class QWidget;
class TmvlabDm;

namespace mv {

class WebWindows
{
public:
    virtual ~WebWindows() = default;
    // The editor in its mode string ("4-Add-Top", "17-Edit-…"), modal over
    // owner, writing through dm's store.
    virtual void openEditor(QWidget *owner, TmvlabDm &dm, const QString &mode) = 0;
    virtual void openLookup(QWidget *owner) = 0;
};

// The windows themselves, for the plugin and for tests that link them.
class WebWindowsImpl : public WebWindows
{
public:
    void openEditor(QWidget *owner, TmvlabDm &dm, const QString &mode) override;
    void openLookup(QWidget *owner) override;
};

} // namespace mv

#define MV_WEBWINDOWS_IID "org.morvane.mvlab.WebWindows/" MV_WEBWINDOWS_STAMP
Q_DECLARE_INTERFACE(mv::WebWindows, MV_WEBWINDOWS_IID)
