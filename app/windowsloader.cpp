#include "windowsloader.h"

#include "UnitDcouentList.h"
#include "dialogs.h"
#include "mvapplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QOpenGLContext>
#include <QTimer>

QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
QT_END_NAMESPACE

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

QOpenGLContext *shareContext = nullptr;
QtMessageHandler previousHandler = nullptr;

void deleteShareContext()
{
    qt_gl_set_global_share_context(nullptr);
    delete shareContext;
    shareContext = nullptr;
}

// The attribute's warning says it should have been set before the
// application object; the context it stands for is made right here instead.
void withoutAttributeWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QLatin1String("AA_ShareOpenGLContexts")) && previousHandler)
        previousHandler(type, context, message);
}

// What the web engine sets up when it is linked into a program from the
// start: one OpenGL context that every page's context shares, made in the
// GUI thread before the engine's library is loaded. A program that links the
// engine makes it while the application object is built, which on a desktop
// costs tens of milliseconds of start-up; here it waits for the module.
void prepareSharedContext()
{
    if (qt_gl_global_share_context())
        return;
    shareContext = new QOpenGLContext;
    shareContext->create(); // without OpenGL the engine renders in software
    qt_gl_set_global_share_context(shareContext);
    qAddPostRoutine(deleteShareContext);
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
    prepareSharedContext();
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
