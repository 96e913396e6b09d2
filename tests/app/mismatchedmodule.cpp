// A windows module built against another program: it needs a function this
// program does not have.
#include <QString>

class TfmDocumentList;

void aFunctionNoProgramHas();

extern "C" Q_DECL_EXPORT void mvRunWindowCommand(TfmDocumentList *, const QString &, const QString &)
{
    aFunctionNoProgramHas();
}
