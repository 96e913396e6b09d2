#include "windowsloader.h"

#include "UnitDcouentList.h"
#include "dialogs.h"
#include "webwindows.h"
#include "windowcommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>
#include <QTimer>

namespace mv {

namespace {

struct ModuleState
{
    QString path;
    WebWindows *windows = nullptr;
};

ModuleState &state()
{
    static ModuleState s;
    return s;
}

// Long enough for the tree to be painted first; short enough that the
// plugin is there before a user's first click.
constexpr int PreloadDelayMs = 50;

} // namespace

QString WindowsModule::defaultPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("mvwebwindows"));
}

void WindowsModule::setPath(const QString &path)
{
    state().path = path;
}

bool WindowsModule::isLoaded()
{
    return state().windows != nullptr;
}

WebWindows *WindowsModule::load(QString *reason)
{
    ModuleState &s = state();
    if (s.windows)
        return s.windows;
    // Never unloaded: its windows and the engine live until the end of the
    // run.
    const QString path = s.path.isEmpty() ? defaultPath() : s.path;
    QPluginLoader loader(path);
    loader.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    // Read from the file without loading it: code built against other
    // class layouts must never run.
    const QString iid = loader.metaData().value(QLatin1String("IID")).toString();
    if (iid.isEmpty()) {
        if (reason)
            *reason = QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(path), loader.errorString());
        return nullptr;
    }
    if (iid != QLatin1String(MV_WEBWINDOWS_IID)) {
        if (reason)
            *reason = QStringLiteral("%1 属于另一版本或另一次构建（%2，程序为 %3）")
                          .arg(QDir::toNativeSeparators(path), iid,
                               QStringLiteral(MV_WEBWINDOWS_IID));
        return nullptr;
    }
    auto *windows = qobject_cast<WebWindows *>(loader.instance());
    if (!windows) {
        if (reason)
            *reason = loader.errorString();
        return nullptr;
    }
    s.windows = windows;
    return windows;
}

WebWindows *WindowsModule::forCommand()
{
    QString reason;
    WebWindows *windows = load(&reason);
    if (!windows)
        Dialogs::error(QStringLiteral("编辑窗口的模块无法载入，无法打开该窗口：%1").arg(reason));
    return windows;
}

void connectProgramCommands(TfmDocumentList *window)
{
    ConnectWindowCommands(window, &WindowsModule::forCommand);
    // A failure here is reported by the first command that needs the plugin.
    QObject::connect(
        window, &TfmDocumentList::created, window,
        [window] { QTimer::singleShot(PreloadDelayMs, window, [] { WindowsModule::load(); }); },
        Qt::SingleShotConnection);
}

} // namespace mv
