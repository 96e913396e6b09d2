// The module the program loads for its windows on the web engine; see
// windowsloader.h.

#include "uHtmlEdit.h"
#include "windowcommands.h"

#include <QString>

extern "C" Q_DECL_EXPORT void mvRunWindowCommand(TfmDocumentList *window, const QString &item,
                                                 const QString &argument)
{
    RunWindowCommand(window, item, argument);
    // The first editor started the engine; from now on a page is kept ready
    // for the next one. Not earlier: starting the engine holds the window
    // up for most of a tenth of a second, which belongs to the first
    // opening, not to some moment the user did not choose.
    if (item == QLatin1String("N7") || item == QLatin1String("DBGridEh1"))
        THtmlEdit::KeepSparePage(true);
}
