#include "windowsloader.h"

#include "UnitDcouentList.h"
#include "dialogs.h"
#include "mvapplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QTimer>

namespace mv {

namespace {

using RunCommand = void (*)(TfmDocumentList *, const QString &, const QString &);

struct ModuleState
{
    QString path;
    RunCommand run = nullptr;
};

ModuleState &state()
{
    static ModuleState s;
    return s;
}

// Long enough for the tree to be painted first; short enough that the
// module is there before a user's first click.
constexpr int PreloadDelayMs = 50;

QtMessageHandler previousHandler = nullptr;

// The attribute's warning says it should have been set before the
// application object: the context it stands for is made later here, by the
// module, before the engine's first page.
void withoutAttributeWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QLatin1String("AA_ShareOpenGLContexts")) && previousHandler)
        previousHandler(type, context, message);
}

// A program that links the web engine from the start has it set while its
// application object is built, together with the OpenGL context that every
// page's context shares, which on a desktop costs tens of milliseconds of
// start-up. Here the attribute is set before the engine's library is
// loaded (which checks it), and the module makes the context before the
// engine's first page (see windowsmodule.cpp).
void announceSharedContexts()
{
    previousHandler = qInstallMessageHandler(withoutAttributeWarning);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(previousHandler);
}

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
    return state().run != nullptr;
}

bool WindowsModule::load(QString *reason)
{
    ModuleState &s = state();
    if (s.run)
        return true;
    announceSharedContexts();
    // Never unloaded: its windows and the engine live until the end of the
    // run. Every symbol is bound now, so that a module that does not match
    // the program fails here, reported, instead of ending the run later.
    QLibrary lib(s.path.isEmpty() ? defaultPath() : s.path);
    lib.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    auto run = reinterpret_cast<RunCommand>(lib.resolve("mvRunWindowCommand"));
    if (!run) {
        if (reason)
            *reason = lib.errorString();
        return false;
    }
    s.run = run;
    return true;
}

void WindowsModule::run(TfmDocumentList *window, const QString &item, const QString &argument)
{
    QString reason;
    if (!load(&reason)) {
        Dialogs::error(QStringLiteral("编辑窗口的模块无法载入，无法打开该窗口：%1").arg(reason));
        return;
    }
    state().run(window, item, argument);
}

void connectProgramCommands(TfmDocumentList *window)
{
    QObject::connect(window, &TfmDocumentList::commandRequested, window,
                     reported([window](const QString &item, const QString &argument) {
                         WindowsModule::run(window, item, argument);
                     }));
    // A failure here is reported by the first command that needs the module.
    QObject::connect(
        window, &TfmDocumentList::created, window,
        [window] { QTimer::singleShot(PreloadDelayMs, window, [] { WindowsModule::load(); }); },
        Qt::SingleShotConnection);
}

} // namespace mv
