// The module the program loads for its windows on the web engine; see
// windowsloader.h.

#include "windowcommands.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT void mvRunWindowCommand(TfmDocumentList *window, const QString &item,
                                                 const QString &argument)
{
    RunWindowCommand(window, item, argument);
}
