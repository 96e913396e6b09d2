#include "webwindows.h"

#include "UnitBianMing.h"
#include "UnitTemp.h"
#include "uHtmlEdit.h"

namespace mv {

void WebWindowsImpl::openEditor(QWidget *owner, TmvlabDm &dm, const QString &mode)
{
    OpenDocumentEditor(owner, mode, dm);
    // The first editor started the engine; from now on a page is kept ready
    // for the next one. Not earlier: starting the engine holds the window
    // up for most of a tenth of a second, which belongs to the first
    // opening, not to some moment the user did not choose.
    THtmlEdit::KeepSparePage(true);
}

void WebWindowsImpl::openLookup(QWidget *owner)
{
    ShowLookupWindow(owner);
}

} // namespace mv
