// The module the program loads for its windows on the web engine; see
// windowsloader.h.

#include "uHtmlEdit.h"
#include "windowcommands.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QString>

QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
QT_END_NAMESPACE

namespace {

QOpenGLContext *shareContext = nullptr;

void deleteShareContext()
{
    qt_gl_set_global_share_context(nullptr);
    delete shareContext;
    shareContext = nullptr;
}

// The OpenGL context every page's context shares, which the engine needs
// before its first page: made by the first command that shows one, not when
// the module is loaded (on a desktop it holds the window up for tens of
// milliseconds, which belong to the first opening).
void prepareSharedContext()
{
    if (qt_gl_global_share_context())
        return;
    shareContext = new QOpenGLContext;
    shareContext->create(); // without OpenGL the engine renders in software
    qt_gl_set_global_share_context(shareContext);
    // Run after the engine's own clean-up, which is added later (the
    // routines run last added first).
    qAddPostRoutine(deleteShareContext);
}

} // namespace

extern "C" Q_DECL_EXPORT void mvRunWindowCommand(TfmDocumentList *window, const QString &item,
                                                 const QString &argument)
{
    if (OpensDocumentEditor(item) || item == QLatin1String("N8"))
        prepareSharedContext();
    RunWindowCommand(window, item, argument);
    // The first editor started the engine; from now on a page is kept ready
    // for the next one. Not earlier: starting the engine holds the window
    // up for most of a tenth of a second, which belongs to the first
    // opening, not to some moment the user did not choose.
    if (OpensDocumentEditor(item))
        THtmlEdit::KeepSparePage(true);
}
