#pragma once

#include <QString>

class TfmDocumentList;

namespace mv {

class WebWindows;

// The windows built on the web engine (the editor, the lookup window) live
// in a plugin beside the program, so that starting the program does not
// wait for the engine's libraries. The plugin is loaded once the main
// window is up, or by the first command that needs it, whichever comes
// first. One of another version or build is refused before it is loaded.
class WindowsModule
{
public:
    // The plugin's file, without prefix or suffix: beside the program, as
    // in the build folder and in the installed lib/mvlab (bin/mvlab is a
    // link to the program there, and the program's folder is that of the
    // file the link leads to).
    static QString defaultPath();
    // Another file (tests); later loads use the new path.
    static void setPath(const QString &path);

    // Loads the plugin once; null with the reason when it cannot.
    static WebWindows *load(QString *reason = nullptr);
    static bool isLoaded();

    // The plugin for a command, loaded first; one that cannot be loaded is
    // reported and null returned.
    static WebWindows *forCommand();
};

// The program's main window wiring: its commands run here or in the plugin,
// which is loaded soon after the window has shown its tree.
void connectProgramCommands(TfmDocumentList *window);

} // namespace mv
