// The module the program loads for its windows on the web engine; see
// windowsloader.h.

#include "uHtmlEdit.h"
#include "windowcommands.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT void mvRunWindowCommand(TfmDocumentList *window, const QString &item,
                                                 const QString &argument)
{
    RunWindowCommand(window, item, argument);
}

// Called once the module is loaded: starts the engine with the page the
// first editor will take, and keeps one ready for each later editor.
extern "C" Q_DECL_EXPORT void mvPrepareWindows()
{
    THtmlEdit::KeepSparePage(true);
}
