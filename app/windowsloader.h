#pragma once

#include <QString>

class TfmDocumentList;

namespace mv {

// The windows built on the web engine (the editor, the lookup window) and
// the category dialogs that belong with them live in a module beside the
// program, so that starting the program does not wait for the engine's
// libraries. The module is loaded once the main window is up, or by the
// first command that needs it, whichever comes first. Once an editor has
// been opened, the module keeps a page ready for the next one.
class WindowsModule
{
public:
    // The module's file, without prefix or suffix: beside the program, as
    // in the build folder and in the installed lib/mvlab (bin/mvlab is a
    // link to the program there, and the program's folder is that of the
    // file the link leads to).
    static QString defaultPath();
    // Another file (tests); forgets a module already loaded from elsewhere
    // only in the sense that later loads use the new path.
    static void setPath(const QString &path);

    // Loads the module once; false with the loader's reason when it cannot.
    static bool load(QString *reason = nullptr);
    static bool isLoaded();

    // Runs one of the main window's commands in the module, loading it
    // first; a module that cannot be loaded is reported and nothing runs.
    static void run(TfmDocumentList *window, const QString &item, const QString &argument);
};

// The program's main window wiring: its commands go to the module, which is
// loaded soon after the window has shown its tree.
void connectProgramCommands(TfmDocumentList *window);

} // namespace mv
